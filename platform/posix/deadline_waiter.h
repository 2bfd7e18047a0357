#pragma once
// Waits until a descriptor is ready or a steady-clock deadline has passed.
// The upload waits 2 ms before every frame, so the deadline is kept to the
// microsecond: on Linux it is an absolute timerfd, which the kernel fires
// without the 50 us slack it allows poll timeouts; elsewhere a poll timeout.

#include <chrono>
#include <optional>

class DeadlineWaiter {
public:
    using Clock = std::chrono::steady_clock;
    enum class Result { Ready, TimedOut, Gone, Failed };

    DeadlineWaiter();
    DeadlineWaiter(DeadlineWaiter&& other) noexcept;
    DeadlineWaiter& operator=(DeadlineWaiter&& other) noexcept;
    DeadlineWaiter(const DeadlineWaiter&) = delete;
    DeadlineWaiter& operator=(const DeadlineWaiter&) = delete;
    ~DeadlineWaiter();

    // Gone: the descriptor reports a hang-up or an error instead of events.
    // No deadline: wait as long as it takes.
    Result waitFor(int fd, short events, std::optional<Clock::time_point> deadline);

private:
    bool armTimer(Clock::time_point deadline);
    void release();

    int timer_ = -1;  // timerfd; -1 where there is none
};
