#pragma once
// What the technician sees: on a terminal, a line per board redrawn in
// place (terminal_display.h); anywhere else, a plain timestamped line per
// board and event (log_display.h).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "gang/report.h"
#include "gang/send_tally.h"

namespace fwsend::gang {

enum class SlotState { Idle, Running, Done, Failed };

// A slot as shown: its last board's state.
struct SlotView {
    std::string slot;
    std::string device;  // the options that name it: -T1 -D"Dual RS232-HS B"
    SlotState state = SlotState::Idle;
    int percent = 0;
    SendCount count;
    double seconds = 0;
    std::string message;  // a failed board's verdict line
    std::string reason;   // and its reason
};

class Display {
public:
    virtual ~Display() = default;
    virtual void BoardStarted(std::size_t index, const SlotView& slot) = 0;
    virtual void BoardMoved(std::size_t index, const SlotView& slot) = 0;
    virtual void BoardEnded(std::size_t index, const SlotView& slot) = 0;
    virtual void RoundEnded(const RoundSummary& round) = 0;
    // What the station waits for, with --repeat, once a round has ended.
    virtual void StationWaits(const std::string& what) = 0;
    // A problem of the gang's own, such as a report that cannot be written.
    virtual void Notice(const std::string& text) = 0;
    // A line was typed on standard input (Enter), which a terminal echoes.
    virtual void LineTyped() = 0;
    // Every turn of the main loop; the terminal redraws at most ten times a
    // second, or at once with final.
    virtual void Refresh(const std::vector<SlotView>& slots, const std::string& summary, bool final) = 0;
};

// "3 boards: 2 done, 1 failed, 0 running".
std::string SlotsSummary(const std::vector<SlotView>& slots);

// "failed: Failed: Target is not responding. (fwsend: frame 12 ...)", or
// "done 12.3 s"; device text in it shown safely.
std::string EndText(const SlotView& slot);

// The terminal display where standard output is a terminal tall enough for
// a line per board and the summary, else the log.
std::unique_ptr<Display> MakeDisplay(std::size_t slots);

}  // namespace fwsend::gang
