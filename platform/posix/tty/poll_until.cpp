#include "platform/posix/tty/poll_until.h"

#include "platform/interrupt.h"

#include <poll.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;

// A signal that lands just before a wait begins holds the run up no longer.
constexpr std::chrono::nanoseconds kInterruptCheck = std::chrono::milliseconds(100);

}  // namespace

PollResult PollUntil(int fd, short events, std::optional<Clock::time_point> deadline) {
    for (;;) {
        if (InterruptRequested()) return PollResult::Interrupted;
        auto wait = kInterruptCheck;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) return PollResult::TimedOut;
            // Rounded up: a wait never ends before the deadline.
            wait = std::min(wait, std::chrono::ceil<std::chrono::nanoseconds>(left));
        }
        const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                               static_cast<long>(wait.count() % 1000000000)};
        pollfd entry{fd, events, 0};
        const int result = ::ppoll(&entry, 1, &timeout, nullptr);
        if (result < 0 && errno != EINTR) return PollResult::Failed;
        if (result > 0) return (entry.revents & events) ? PollResult::Ready : PollResult::Gone;
    }
}

void UseSmallestTimerSlack() {
#ifdef __linux__
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace fwsend::posix
