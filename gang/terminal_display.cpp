#include "gang/terminal_display.h"

#include <algorithm>
#include <cstdio>

#include "gang/terminal.h"
#include "platform/printable_text.h"

namespace fwsend::gang {

namespace {

constexpr int kBarWidth = 20;
constexpr std::chrono::milliseconds kRedrawInterval{100};

constexpr char kGreen[] = "\x1b[32m";
constexpr char kRed[] = "\x1b[31m";
constexpr char kPlain[] = "\x1b[0m";

// Characters, not bytes: a UTF-8 sequence takes one column.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& text, std::size_t width) {
    return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

// The first columns characters of text.
std::string Cut(const std::string& text, std::size_t columns) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (seen++ == columns) return text.substr(0, i);
    }
    return text;
}

std::string StateText(const SlotView& slot) {
    switch (slot.state) {
    case SlotState::Idle: return "waiting";
    case SlotState::Running: return "running";
    case SlotState::Done:
    case SlotState::Failed: return EndText(slot);
    }
    return {};
}

}  // namespace

std::string BoardLine(const SlotView& slot, const LineLayout& layout) {
    const int filled = std::clamp(slot.percent, 0, 100) * kBarWidth / 100;
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "] %3d%%  resends %d%s  ", slot.percent, slot.count.resends,
                  slot.count.exact ? "" : "+");
    const std::string lead = Padded(PrintableText(slot.slot), layout.slotWidth) + "  " +
                             Padded(PrintableText(slot.device), layout.deviceWidth) + "  [" +
                             std::string(static_cast<std::size_t>(filled), '#') +
                             std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + numbers;
    const std::size_t room = layout.columns > 1 ? static_cast<std::size_t>(layout.columns - 1) : 0;
    const std::string line = Cut(lead + StateText(slot), room);
    const bool coloured = layout.colour && (slot.state == SlotState::Done || slot.state == SlotState::Failed);
    if (!coloured || line.size() <= lead.size()) return line;
    return line.substr(0, lead.size()) + (slot.state == SlotState::Done ? kGreen : kRed) +
           line.substr(lead.size()) + kPlain;
}

void TerminalDisplay::Notice(const std::string& text) {
    // Said above the block, which is then drawn again below it.
    if (!drawn_.empty()) std::printf("\x1b[%zuA\r\x1b[J", drawn_.size());
    std::fflush(stdout);
    drawn_.clear();
    std::fprintf(stderr, "fwsend-gang: %s\n", PrintableText(text).c_str());
    std::fflush(stderr);
}

void TerminalDisplay::Refresh(const std::vector<SlotView>& slots, const std::string& summary, bool final) {
    const auto now = std::chrono::steady_clock::now();
    if (!final && !drawn_.empty() && now - lastDraw_ < kRedrawInterval) return;
    columns_ = StandardOutputSize().columns;

    LineLayout layout;
    layout.columns = columns_;
    layout.colour = colour_;
    for (const SlotView& slot : slots) {
        layout.slotWidth = std::max(layout.slotWidth, Width(PrintableText(slot.slot)));
        layout.deviceWidth = std::max(layout.deviceWidth, Width(PrintableText(slot.device)));
    }
    std::vector<std::string> lines;
    for (const SlotView& slot : slots) lines.push_back(BoardLine(slot, layout));
    const std::string status = waiting_.empty() ? summary : summary + "; " + waiting_;
    lines.push_back(Cut(status, static_cast<std::size_t>(std::max(columns_ - 1, 0))));
    if (lines == drawn_) return;

    std::string out;
    if (!drawn_.empty()) out += "\x1b[" + std::to_string(drawn_.size()) + "A";
    for (const std::string& line : lines) out += "\r\x1b[2K" + line + "\n";
    // Whatever was typed below the lines goes.
    out += "\x1b[J";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    drawn_ = std::move(lines);
    lastDraw_ = now;
}

}  // namespace fwsend::gang
