#include "gang/display.h"

#include <cstdio>
#include <cstdlib>

#include "gang/log_display.h"
#include "gang/terminal.h"
#include "gang/terminal_display.h"
#include "platform/printable_text.h"

namespace fwsend::gang {

namespace {

// Colour only where the user has not asked for none (no-color.org: set and
// not empty).
bool ColourWanted() {
    const char* noColour = std::getenv("NO_COLOR");
    return noColour == nullptr || noColour[0] == '\0';
}

}  // namespace

std::string SlotsSummary(const std::vector<SlotView>& slots) {
    int done = 0, failed = 0, running = 0;
    for (const SlotView& slot : slots) {
        done += slot.state == SlotState::Done;
        failed += slot.state == SlotState::Failed;
        running += slot.state == SlotState::Running;
    }
    return std::to_string(slots.size()) + (slots.size() == 1 ? " board: " : " boards: ") +
           std::to_string(done) + " done, " + std::to_string(failed) + " failed, " + std::to_string(running) +
           " running";
}

std::string EndText(const SlotView& slot) {
    if (slot.state == SlotState::Done) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", slot.seconds);
        return "done " + std::string(seconds);
    }
    if (slot.state != SlotState::Failed) return {};
    std::string text = "failed: " + PrintableText(slot.message);
    if (slot.message.empty()) return "failed: " + PrintableText(slot.reason);
    if (!slot.reason.empty()) text += " (" + PrintableText(slot.reason) + ")";
    return text;
}

std::unique_ptr<Display> MakeDisplay(std::size_t slots) {
    if (StandardOutputIsTerminal()) {
        const TerminalSize size = StandardOutputSize();
        if (static_cast<std::size_t>(size.rows) > slots + 1)
            return std::make_unique<TerminalDisplay>(size.columns, ColourWanted());
    }
    return std::make_unique<LogDisplay>();
}

}  // namespace fwsend::gang
