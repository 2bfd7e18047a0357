// Which terminals the open refuses, before it touches them, and what the
// terminal holds once it is released. The ports are pseudo-terminals whose
// master we hold.
#include "platform/posix/tty/tty_device.h"

#include "platform/open_failure.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_target_process.h"
#include "tests/support/termios2_refusal.h"
#include "tools/pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <termios.h>
#include <unistd.h>
#include <string>

namespace fwsend::posix {

namespace {

constexpr int kSkipped = 77;

bool RefusedWith(const std::optional<TtyDevice>& device, const std::string& reason) {
    return !device && DescribeOpenFailure() == reason;
}

TEST(TtyDeviceOpen, TheTerminalThisProcessRunsInIsRefused) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string& slave = pty.SlavePath();
    // A session whose controlling terminal is the pseudo-terminal; its
    // standard streams are elsewhere.
    const int status = RunInChild([&] {
        if (::setsid() < 0) return 2;
        const int fd = ::open(slave.c_str(), O_RDWR);
        if (fd < 0) return 3;
        ::close(fd);
        const bool byName =
            RefusedWith(TtyDevice::OpenExclusive(slave), slave + ": the terminal fwsend runs in, not a port");
        const bool asDevTty = RefusedWith(TtyDevice::OpenExclusive("/dev/tty"),
                                          "/dev/tty: the terminal fwsend runs in, not a port");
        return byName && asDevTty ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(TtyDeviceOpen, APortAnotherProcessHoldsIsRefusedButTheFarEndOfAPtyIsNoHolder) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    {
        const ChildProcess holder = HoldingSleep(pty.SlavePath());
        ASSERT_TRUE(holder.WaitUntilRunning("sleep", 10000));
        EXPECT_TRUE(
            RefusedWith(TtyDevice::OpenExclusive(pty.SlavePath()),
                        pty.SlavePath() + ": in use by process " + std::to_string(holder.Pid()) + " (sleep)"))
            << DescribeOpenFailure();
    }
    EXPECT_TRUE(TtyDevice::OpenExclusive(pty.SlavePath())) << DescribeOpenFailure();

    // The simulated target holds both sides of its pseudo-terminal.
    SimTarget target;
    ASSERT_TRUE(target.Start({"--silent"}));
    EXPECT_TRUE(TtyDevice::OpenExclusive(target.SlavePath())) << DescribeOpenFailure();
}

TEST(TtyDeviceOpen, ASecondOpenIsRefusedBeforeItTouchesThePortWhereNoLockFolderExists) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string& slave = pty.SlavePath();
    const int status = RunInChild([&] {
        // A private mount namespace in which /run, and so /run/lock, is empty.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("fwsend-test-run", "/run", "tmpfs", 0, nullptr) != 0)
            return kSkipped;
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (opens < 0 || ::inotify_add_watch(opens, slave.c_str(), IN_OPEN) < 0) return 2;
        const auto first = TtyDevice::OpenExclusive(slave);
        if (!first) return 3;
        char events[4096];
        while (::read(opens, events, sizeof events) > 0) {}
        const auto second = TtyDevice::OpenExclusive(slave);
        const std::string holder = slave + ": in use by process " + std::to_string(::getpid()) + " (";
        const bool refused = !second && DescribeOpenFailure().rfind(holder, 0) == 0;
        const bool untouched = ::read(opens, events, sizeof events) < 0;
        return refused && untouched ? 0 : 1;
    });
    if (status == kSkipped) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(status, 0);
}

TEST(TtyDeviceRelease, TheTerminalsSettingsAreAsTheyWereFound) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &before), 0);  // the slave's: canonical, echoing
    ASSERT_NE(before.c_lflag & ICANON, 0u);
    {
        auto device = TtyDevice::OpenExclusive(pty.SlavePath());
        ASSERT_TRUE(device) << DescribeOpenFailure();
        LineSettings raw;
        raw.baud = 115200;
        ASSERT_TRUE(device->ApplyLineSettings(raw));  // raw, not echoing
    }
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
}

TEST(TtyDeviceWithoutTermios2, StandardRatesAreSetAndTheRestRefusedWithTheReason) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string& slave = pty.SlavePath();
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &before), 0);
    const int status = RunInChild([&] {
        if (!RefuseTermios2()) return kSkipped;
        {
            auto device = TtyDevice::OpenExclusive(slave);
            if (!device) return 2;
            LineSettings line;
            line.baud = 115200;
            line.parity = LineParity::Even;
            if (!device->ApplyLineSettings(line)) return 3;
            termios held{};
            if (::tcgetattr(pty.Master(), &held) != 0 || ::cfgetospeed(&held) != B115200 ||
                (held.c_lflag & ICANON) != 0)
                return 4;
            line.baud = 14400;  // no B14400
            if (device->ApplyLineSettings(line) ||
                DescribeOpenFailure() != slave +
                                             ": this system sets only standard rates, and 14400 baud is "
                                             "not one: choose another")
                return 5;
        }
        termios after{};
        if (::tcgetattr(pty.Master(), &after) != 0 || after.c_lflag != before.c_lflag ||
            ::cfgetospeed(&after) != ::cfgetospeed(&before))
            return 6;  // not left as found
        return 0;
    });
    if (status == kSkipped) GTEST_SKIP() << "no seccomp filter here";
    EXPECT_EQ(status, 0) << "2: not opened, 3: 115200 refused, 4: not set, 5: 14400 not refused so, 6: not "
                            "restored";
}

}  // namespace

}  // namespace fwsend::posix
