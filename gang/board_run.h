#pragma once
// One board's upload in one round: its fwsend child, what the child said so
// far, and how it ended.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gang/board_device.h"
#include "gang/child_output.h"
#include "gang/child_runner.h"
#include "gang/send_tally.h"
#include "gang/utc_time.h"

namespace fwsend::gang {

// How long a child may take to end after its interrupt before it is killed:
// fwsend notices one within a tenth of a second on a serial port, and ends
// within its longest wait, 8 s, on a vendor library's.
constexpr std::chrono::seconds kInterruptGrace{20};

struct BoardOutcome {
    bool succeeded = false;
    std::optional<int> exitStatus;  // as scripts see it: fwsend's -1 is 255
    std::optional<int> signal;      // the signal that ended it
    std::string message;            // fwsend's verdict line
    std::string reason;             // its standard-error lines, and what the gang adds
};

class BoardRun {
public:
    using Clock = std::chrono::steady_clock;

    BoardRun(int round, const std::vector<std::int32_t>& frameSizes, DeviceLocation location);

    // Starts the child; false when it could not be, and the run has ended.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, std::size_t slot,
               const std::shared_ptr<EventQueue>& events);

    void TakeOutput(std::string_view bytes);
    void TakeErrors(std::string_view bytes);
    void End(const ChildEnd& end);

    // Passes one interrupt on; later calls do nothing.
    void Interrupt();
    // Kills a child that has not ended within kInterruptGrace of its interrupt.
    void KillWhenOverdue(Clock::time_point now);

    bool Running() const { return runner_ != nullptr && !ended_; }
    bool Ended() const { return ended_; }
    int Round() const { return round_; }
    int Percent() const { return percent_; }
    SendCount Count() const;
    const BoardOutcome& Outcome() const { return outcome_; }
    const DeviceLocation& Location() const { return location_; }
    WallTime StartTime() const { return startTime_; }
    WallTime EndTime() const { return endTime_; }
    double Seconds() const;

private:
    int round_;
    int frameCount_;
    DeviceLocation location_;
    ChildOutput output_;
    SendTally tally_;
    int percent_ = 0;
    std::unique_ptr<ChildRunner> runner_;
    bool ended_ = false;
    std::optional<Clock::time_point> interruptedAt_;
    bool killed_ = false;
    WallTime startTime_;
    WallTime endTime_;
    Clock::time_point startClock_;
    Clock::time_point endClock_;
    BoardOutcome outcome_;
};

}  // namespace fwsend::gang
