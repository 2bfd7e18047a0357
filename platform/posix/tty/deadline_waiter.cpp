#include "platform/posix/tty/deadline_waiter.h"

#include "platform/interrupt.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <unistd.h>
#include <utility>

#ifdef __linux__
#include <sys/timerfd.h>
#endif

namespace fwsend::posix {

namespace {

using Result = DeadlineWaiter::Result;
using Clock = DeadlineWaiter::Clock;

// A long sleep looks at the interrupt flag this often: a signal that lands
// just before the sleep begins cannot hold the run up for longer.
constexpr int interruptCheckMs = 100;

Result resultOf(const pollfd& entry, short events)
{
    if (entry.revents & events)
        return Result::Ready;
    return Result::Gone;  // POLLHUP, POLLERR or POLLNVAL without the events
}

// Without a timer: a poll timeout, to the nanosecond where ppoll exists.
int pollUntil(pollfd& entry, Clock::time_point wakeAt)
{
    auto const left = std::min<Clock::duration>(wakeAt - Clock::now(),
                                                std::chrono::milliseconds(interruptCheckMs));
    if (left <= Clock::duration::zero())
        return 0;
#ifdef __linux__
    auto const ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec const timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    return ::ppoll(&entry, 1, &timeout, nullptr);
#else
    auto const ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ::poll(&entry, 1, static_cast<int>(ms));
#endif
}

// Awake for the last moments before the deadline: the descriptor is asked
// without sleeping until it is ready or the deadline has passed.
Result watchUntil(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        int const result = ::poll(&entry, 1, 0);
        if (result < 0 && errno != EINTR)
            return Result::Failed;
        if (result > 0)
            return resultOf(entry, events);
        if (Clock::now() >= deadline)
            return Result::TimedOut;
    }
}

} // namespace

DeadlineWaiter::DeadlineWaiter()
{
#ifdef __linux__
    timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
#endif
}

DeadlineWaiter::DeadlineWaiter(DeadlineWaiter&& other) noexcept
    : timer_(std::exchange(other.timer_, -1)), lead_(other.lead_)
{
}

DeadlineWaiter& DeadlineWaiter::operator=(DeadlineWaiter&& other) noexcept
{
    if (this != &other) {
        release();
        timer_ = std::exchange(other.timer_, -1);
        lead_ = other.lead_;
    }
    return *this;
}

DeadlineWaiter::~DeadlineWaiter()
{
    release();
}

void DeadlineWaiter::release()
{
    if (timer_ >= 0)
        ::close(timer_);
    timer_ = -1;
}

bool DeadlineWaiter::armTimer(Clock::time_point wakeAt)
{
#ifdef __linux__
    // steady_clock is CLOCK_MONOTONIC. A zero value would disarm the timer.
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wakeAt.time_since_epoch()).count();
    if (ns <= 0)
        ns = 1;
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    return ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &when, nullptr) == 0;
#else
    (void)wakeAt;
    return false;
#endif
}

// A moving average over about the last eight timed wakes; a single wake
// delayed by a busy machine moves it by at most an eighth of longestLead.
void DeadlineWaiter::learnLateness(Clock::duration lateness)
{
    auto const sample = std::clamp<Clock::duration>(lateness, Clock::duration::zero(), longestLead);
    lead_ += (sample - lead_) / 8;
}

DeadlineWaiter::Result DeadlineWaiter::waitFor(int fd, short events,
                                               std::optional<Clock::time_point> deadline)
{
    if (!deadline)
        return sleepUntil(fd, events, std::nullopt);
    auto const now = Clock::now();
    if (now >= *deadline)
        return Result::TimedOut;
    auto const wakeAt = *deadline - lead_;
    if (now < wakeAt) {
        Result const result = sleepUntil(fd, events, wakeAt);
        if (result != Result::TimedOut)
            return result;
        learnLateness(Clock::now() - wakeAt);
    }
    return watchUntil(fd, events, *deadline);
}

// Until the descriptor is ready or wakeAt (none: for ever) has passed.
DeadlineWaiter::Result DeadlineWaiter::sleepUntil(int fd, short events,
                                                  std::optional<Clock::time_point> wakeAt)
{
    bool const timed = wakeAt && timer_ >= 0 && armTimer(*wakeAt);
    for (;;) {
        if (InterruptRequested())
            return Result::Failed;
        pollfd entries[2] = {{fd, events, 0}, {timer_, POLLIN, 0}};
        int result = 0;
        if (timed)
            result = ::poll(entries, 2, interruptCheckMs);
        else if (wakeAt)
            result = pollUntil(entries[0], *wakeAt);
        else
            result = ::poll(entries, 1, interruptCheckMs);
        if (result < 0) {
            if (errno == EINTR)
                continue;
            return Result::Failed;
        }
        if (entries[0].revents != 0)
            return resultOf(entries[0], events);
        if (timed ? entries[1].revents != 0 : (wakeAt && Clock::now() >= *wakeAt))
            return Result::TimedOut;
    }
}

}  // namespace fwsend::posix
