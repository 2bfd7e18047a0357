#pragma once
// Waits until a descriptor is ready or a steady-clock deadline has passed.
// The upload waits 2 ms before every frame, so the deadline is kept to the
// microsecond, neither early nor late:
// - on Linux the sleep ends on an absolute timerfd, which the kernel fires
//   without the 50 us slack it allows poll timeouts; elsewhere a poll timeout;
// - a sleeping thread still wakes some tens of microseconds after its timer
//   fires (more on a virtual machine whose idle CPU halts). The waiter learns
//   that lateness from its own wakes, sleeps until that much before the
//   deadline, and watches the descriptor for the short rest of the wait.

#include <chrono>
#include <optional>

namespace fwsend::posix {

class DeadlineWaiter {
public:
    using Clock = std::chrono::steady_clock;
    enum class Result { Ready, TimedOut, Gone, Failed };

    // The most the waiter will stay awake before a deadline, however late
    // the wakes come: a bound on the CPU time it spends per wait.
    static constexpr std::chrono::microseconds longestLead{100};

    DeadlineWaiter();
    DeadlineWaiter(DeadlineWaiter&& other) noexcept;
    DeadlineWaiter& operator=(DeadlineWaiter&& other) noexcept;
    DeadlineWaiter(const DeadlineWaiter&) = delete;
    DeadlineWaiter& operator=(const DeadlineWaiter&) = delete;
    ~DeadlineWaiter();

    // Gone: the descriptor reports a hang-up or an error instead of events.
    // Failed: the wait itself failed, or the run was interrupted.
    // No deadline: wait as long as it takes. TimedOut is never reported
    // before the deadline.
    Result waitFor(int fd, short events, std::optional<Clock::time_point> deadline);

    // How long before a deadline the waiter sets its wake-up: what it has
    // learnt of this machine's wake-up lateness, at most longestLead.
    Clock::duration lead() const { return lead_; }

private:
    Result sleepUntil(int fd, short events, std::optional<Clock::time_point> wakeAt);
    bool armTimer(Clock::time_point wakeAt);
    void learnLateness(Clock::duration lateness);
    void release();

    int timer_ = -1;  // timerfd; -1 where there is none
    Clock::duration lead_{0};
};

}  // namespace fwsend::posix
