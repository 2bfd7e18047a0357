#pragma once
// The display on a terminal: a line per board, redrawn in place with the
// cursor movements every terminal takes (ESC [ n A, ESC [ 2 K), each cut to
// the terminal's width, and a summary line below them; at most ten redraws
// a second. Done in green and failed in red, unless colour is off.

#include <chrono>
#include <string>
#include <vector>

#include "gang/display.h"

namespace fwsend::gang {

struct LineLayout {
    std::size_t slotWidth = 0;
    std::size_t deviceWidth = 0;
    int columns = 80;
    bool colour = false;
};

// "slot1  -COMttyUSB0  [##########··········]  50%  resends 0  running",
// at most columns - 1 characters, so that no terminal wraps it.
std::string BoardLine(const SlotView& slot, const LineLayout& layout);

class TerminalDisplay : public Display {
public:
    TerminalDisplay(int columns, bool colour) : columns_(columns), colour_(colour) {}

    void BoardStarted(std::size_t, const SlotView&) override {}
    void BoardMoved(std::size_t, const SlotView&) override {}
    void BoardEnded(std::size_t, const SlotView&) override {}
    void RoundEnded(const RoundSummary&) override {}
    void StationWaits(const std::string& what) override { waiting_ = what; }
    void Notice(const std::string& text) override;
    // The echoed line end moved the cursor: the next round's lines start
    // afresh below it, and the last round's stay above as they ended.
    void LineTyped() override { drawn_.clear(); }
    void Refresh(const std::vector<SlotView>& slots, const std::string& summary, bool final) override;

private:
    int columns_;
    bool colour_;
    std::string waiting_;
    std::vector<std::string> drawn_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace fwsend::gang
