// The one wait behind every timed read and write of the terminal core: it
// must never report a timeout early, must wake for input and for a hang-up,
// and must end for an interrupt even when the signal wakes another thread.
#include "platform/posix/tty/poll_until.h"

#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Pipe {
public:
    Pipe() {
        int ends[2] = {-1, -1};
        if (::pipe(ends) == 0) {
            readEnd_ = ends[0];
            writeEnd_ = ends[1];
        }
    }
    ~Pipe() {
        CloseWriteEnd();
        if (readEnd_ >= 0) ::close(readEnd_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int ReadEnd() const { return readEnd_; }
    bool Put(char c) { return ::write(writeEnd_, &c, 1) == 1; }
    void CloseWriteEnd() {
        if (writeEnd_ >= 0) ::close(writeEnd_);
        writeEnd_ = -1;
    }

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

TEST(PollUntil, NeverTimesOutBeforeTheDeadline) {
    Pipe pipe;
    ASSERT_GE(pipe.ReadEnd(), 0);
    UseSmallestTimerSlack();
    // The drain's 2 ms, and lengths that are no whole number of microseconds
    // or milliseconds: a wait rounded down anywhere would end early.
    for (const auto wait : {std::chrono::nanoseconds(2000000), std::chrono::nanoseconds(1500001),
                            std::chrono::nanoseconds(999), std::chrono::nanoseconds(0)}) {
        for (int i = 0; i < 50; ++i) {
            const auto deadline = Clock::now() + wait;
            ASSERT_EQ(PollUntil(pipe.ReadEnd(), POLLIN, deadline), PollResult::TimedOut);
            ASSERT_GE(Clock::now(), deadline) << wait.count() << " ns, wait " << i;
        }
    }
}

TEST(PollUntil, InputAndAHangUpWakeAWaitLongBeforeTheDeadline) {
    Pipe pipe;
    const auto start = Clock::now();
    std::thread sender([&] {
        std::this_thread::sleep_for(milliseconds(20));
        pipe.Put('x');
    });
    EXPECT_EQ(PollUntil(pipe.ReadEnd(), POLLIN, start + std::chrono::seconds(20)), PollResult::Ready);
    sender.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    char c = 0;
    ASSERT_EQ(::read(pipe.ReadEnd(), &c, 1), 1);

    std::thread closer([&] {
        std::this_thread::sleep_for(milliseconds(20));
        pipe.CloseWriteEnd();
    });
    EXPECT_EQ(PollUntil(pipe.ReadEnd(), POLLIN, std::nullopt), PollResult::Gone);
    closer.join();
}

// The interrupt flag is the process's and cannot be cleared, so this runs in
// a child process of its own. The signal is raised in another thread, so the
// waiting thread's poll is not cut short by it: only the wait's own look at
// the flag can end the wait before its deadline, 20 s away.
TEST(PollUntilDeathTest, AnInterruptEndsAWaitThatTheSignalDidNotWake) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto waitInterrupted = [] {
        Pipe pipe;
        CatchInterrupts();
        const auto start = Clock::now();
        std::thread interrupter([] {
            std::this_thread::sleep_for(milliseconds(50));
            std::raise(SIGINT);
        });
        const PollResult result = PollUntil(pipe.ReadEnd(), POLLIN, start + std::chrono::seconds(20));
        interrupter.join();
        const bool soon = Clock::now() - start < std::chrono::seconds(10);
        std::_Exit(result == PollResult::Interrupted && soon ? 0 : 1);
    };
    EXPECT_EXIT(waitInterrupted(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

}  // namespace fwsend::posix
