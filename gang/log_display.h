#pragma once
// The display where standard output is no terminal (CI, a log file): no
// carriage returns, no colour, one line per board and event, each with the
// time in UTC:
//   2026-12-09T10:04:05Z slot1 -COMttyUSB0 started
//   2026-12-09T10:04:08Z slot1 -COMttyUSB0 25%
//   2026-12-09T10:04:17Z slot1 -COMttyUSB0 done 12.3 s
// and a summary line per round.

#include <vector>

#include "gang/display.h"

namespace fwsend::gang {

class LogDisplay : public Display {
public:
    void BoardStarted(std::size_t index, const SlotView& slot) override;
    void BoardMoved(std::size_t index, const SlotView& slot) override;
    void BoardEnded(std::size_t index, const SlotView& slot) override;
    void RoundEnded(const RoundSummary& round) override;
    void StationWaits(const std::string& what) override;
    void Notice(const std::string& text) override;
    void LineTyped() override {}
    void Refresh(const std::vector<SlotView>&, const std::string&, bool) override {}

private:
    void BoardLine(const SlotView& slot, const std::string& what);
    std::vector<int> quarterShown_;  // per slot: 0 to 3, the last quarter logged
};

}  // namespace fwsend::gang
