#pragma once
// The one wait of the terminal core: until a descriptor is ready, or a
// steady-clock deadline has passed, or the run is interrupted.

#include <chrono>
#include <optional>

namespace fwsend::posix {

enum class PollResult { Ready, TimedOut, Gone, Interrupted, Failed };

// Ready: the events are there. TimedOut: the deadline has passed, never
// sooner (no deadline: wait as long as it takes). Gone: the descriptor
// reports a hang-up or an error instead. Interrupted: InterruptRequested(),
// looked at least every 100 ms. Failed: the wait itself failed.
PollResult PollUntil(int fd, short events, std::optional<std::chrono::steady_clock::time_point> deadline);

// Lets the kernel end this thread's timed waits as close to their time as it
// can, instead of up to 50 us late (its default timer slack), which a 2 ms
// wait before every frame would add up. Linux only; elsewhere nothing.
void UseSmallestTimerSlack();

}  // namespace fwsend::posix
