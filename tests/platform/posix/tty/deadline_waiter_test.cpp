// The waiter behind every timed read and write of the serial layers: it may
// wake before a deadline to make up for late wake-ups, but must never report
// a timeout early, nor miss a descriptor that becomes ready meanwhile.
#include "platform/posix/tty/deadline_waiter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace fwsend::posix {

namespace {

using Clock = DeadlineWaiter::Clock;
using Result = DeadlineWaiter::Result;
using std::chrono::milliseconds;

class Pipe {
public:
    Pipe()
    {
        int ends[2] = {-1, -1};
        if (::pipe(ends) == 0) {
            read_ = ends[0];
            write_ = ends[1];
        }
    }
    ~Pipe()
    {
        closeWriteEnd();
        if (read_ >= 0)
            ::close(read_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return read_; }
    bool put(char c) { return ::write(write_, &c, 1) == 1; }
    void closeWriteEnd()
    {
        if (write_ >= 0)
            ::close(write_);
        write_ = -1;
    }

private:
    int read_ = -1;
    int write_ = -1;
};

// Silent waits of the drain's length, until the waiter has learnt how late
// this machine wakes it; returns false as soon as one ended before its deadline.
bool learnOnSilentWaits(DeadlineWaiter& waiter, int fd, int waits)
{
    for (int i = 0; i < waits; ++i) {
        auto const deadline = Clock::now() + milliseconds(2);
        if (waiter.waitFor(fd, POLLIN, deadline) != Result::TimedOut || Clock::now() < deadline)
            return false;
    }
    return true;
}

TEST(DeadlineWaiter, TimesOutNeverBeforeTheDeadline)
{
    Pipe pipe;
    DeadlineWaiter waiter;
    EXPECT_EQ(waiter.lead(), Clock::duration::zero());
    EXPECT_TRUE(learnOnSilentWaits(waiter, pipe.readEnd(), 200));
    // Every real wake is a little late, so the waiter now wakes early, but
    // never by more than its bound.
    EXPECT_GT(waiter.lead(), Clock::duration::zero());
    EXPECT_LE(waiter.lead(), DeadlineWaiter::longestLead);
}

TEST(DeadlineWaiter, ReportsWhatHappensWhileAwakeBeforeTheDeadline)
{
    Pipe pipe;
    DeadlineWaiter waiter;
    ASSERT_TRUE(learnOnSilentWaits(waiter, pipe.readEnd(), 50));
    ASSERT_GT(waiter.lead(), Clock::duration::zero());
    // A deadline closer than the lead: the waiter does not sleep at all and
    // only watches the descriptor.
    auto const soon = [&] { return Clock::now() + waiter.lead() / 2; };

    auto deadline = soon();
    EXPECT_EQ(waiter.waitFor(pipe.readEnd(), POLLIN, deadline), Result::TimedOut);
    EXPECT_GE(Clock::now(), deadline);

    ASSERT_TRUE(pipe.put('x'));
    EXPECT_EQ(waiter.waitFor(pipe.readEnd(), POLLIN, soon()), Result::Ready);
    char c = 0;
    ASSERT_EQ(::read(pipe.readEnd(), &c, 1), 1);

    pipe.closeWriteEnd();
    EXPECT_EQ(waiter.waitFor(pipe.readEnd(), POLLIN, soon()), Result::Gone);
}

TEST(DeadlineWaiter, WakesForInputAndHangUpLongBeforeTheDeadline)
{
    Pipe pipe;
    DeadlineWaiter waiter;
    auto const start = Clock::now();
    std::thread sender([&] {
        std::this_thread::sleep_for(milliseconds(20));
        pipe.put('x');
    });
    EXPECT_EQ(waiter.waitFor(pipe.readEnd(), POLLIN, start + std::chrono::seconds(20)), Result::Ready);
    sender.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    char c = 0;
    ASSERT_EQ(::read(pipe.readEnd(), &c, 1), 1);

    std::thread closer([&] {
        std::this_thread::sleep_for(milliseconds(20));
        pipe.closeWriteEnd();
    });
    EXPECT_EQ(waiter.waitFor(pipe.readEnd(), POLLIN, std::nullopt), Result::Gone);
    closer.join();
}

TEST(DeadlineWaiter, AMovedWaiterKeepsWhatItLearnt)
{
    Pipe pipe;
    DeadlineWaiter waiter;
    ASSERT_TRUE(learnOnSilentWaits(waiter, pipe.readEnd(), 20));
    auto const lead = waiter.lead();
    DeadlineWaiter moved(std::move(waiter));
    EXPECT_EQ(moved.lead(), lead);
    EXPECT_TRUE(learnOnSilentWaits(moved, pipe.readEnd(), 5));
}

} // namespace

}  // namespace fwsend::posix
