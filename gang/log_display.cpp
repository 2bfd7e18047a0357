#include "gang/log_display.h"

#include <cstdio>

#include "gang/utc_time.h"
#include "platform/printable_text.h"

namespace fwsend::gang {

namespace {

void Line(const std::string& text) {
    const std::string stamp = UtcText(std::chrono::system_clock::now());
    std::printf("%s %s\n", stamp.c_str(), text.c_str());
    std::fflush(stdout);
}

}  // namespace

void LogDisplay::BoardLine(const SlotView& slot, const std::string& what) {
    Line(PrintableText(slot.slot) + " " + PrintableText(slot.device) + " " + what);
}

void LogDisplay::BoardStarted(std::size_t index, const SlotView& slot) {
    if (quarterShown_.size() <= index) quarterShown_.resize(index + 1);
    quarterShown_[index] = 0;
    BoardLine(slot, "started");
}

void LogDisplay::BoardMoved(std::size_t index, const SlotView& slot) {
    if (quarterShown_.size() <= index) quarterShown_.resize(index + 1);
    const int quarter = slot.percent >= 75 ? 3 : slot.percent / 25;
    if (quarter <= quarterShown_[index]) return;
    quarterShown_[index] = quarter;
    BoardLine(slot, std::to_string(slot.percent) + "%");
}

void LogDisplay::BoardEnded(std::size_t, const SlotView& slot) {
    std::string text = EndText(slot);
    const SendCount& count = slot.count;
    if (slot.state == SlotState::Done && count.resends > 0)
        text += ", " + std::to_string(count.resends) + (count.exact ? "" : "+") +
                (count.resends == 1 && count.exact ? " resend" : " resends");
    BoardLine(slot, text);
}

void LogDisplay::RoundEnded(const RoundSummary& round) {
    std::string text = "round " + std::to_string(round.round) + ": " + std::to_string(round.boards) +
                       (round.boards == 1 ? " board: " : " boards: ") + std::to_string(round.done) +
                       " done, " + std::to_string(round.failed) + " failed";
    if (round.interrupted) text += ", interrupted";
    Line(text);
}

void LogDisplay::StationWaits(const std::string& what) {
    if (!what.empty()) Line(what);
}

void LogDisplay::Notice(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "fwsend-gang: %s\n", PrintableText(text).c_str());
    std::fflush(stderr);
}

}  // namespace fwsend::gang
