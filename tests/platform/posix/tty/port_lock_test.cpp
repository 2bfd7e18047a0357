// The lock files of terminal programs, on a pseudo-terminal and the
// machine's own lock folder: a port whose lock a live process holds is not
// opened at all; a lock left by a dead process is taken over, and ours goes
// when the port is closed.
#include "platform/posix/tty/port_lock.h"
#include "platform/open_failure.h"
#include "platform/win32_serial.h"

#include "tools/pty_pair.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fwsend::posix {

namespace {

HANDLE OpenPort(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ContentsOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The id of a process that has ended.
long DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class PortLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.IsOpen());
        if (::access(kDefaultLockFolder, W_OK) != 0)
            GTEST_SKIP() << "no writable " << kDefaultLockFolder << " here";
        lockFile_ = std::string(kDefaultLockFolder) + "/" + LockFileName(pty_.SlavePath());
    }
    void TearDown() override {
        if (!lockFile_.empty()) ::unlink(lockFile_.c_str());
    }
    void WriteLock(long pid) {
        std::FILE* file = std::fopen(lockFile_.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%10ld\n", pid);
        std::fclose(file);
    }

    PtyPair pty_;
    std::string lockFile_;
};

TEST_F(PortLockTest, APortLockedByALiveProcessIsNotOpened) {
    EXPECT_EQ(lockFile_.substr(0, lockFile_.rfind('_')), std::string(kDefaultLockFolder) + "/LCK..pts");
    WriteLock(1);  // init: always alive
    EXPECT_EQ(OpenPort(pty_.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(DescribeOpenFailure().rfind(pty_.SlavePath() + ": in use by process 1", 0), 0u)
        << DescribeOpenFailure();
    EXPECT_EQ(ContentsOf(lockFile_), "         1\n");
    EXPECT_EQ(PortLockHolder(pty_.SlavePath()), 1);
}

TEST_F(PortLockTest, AStaleLockIsTakenOverAndOursGoesWithThePort) {
    WriteLock(DeadPid());
    EXPECT_EQ(PortLockHolder(pty_.SlavePath()), std::nullopt);
    HANDLE port = OpenPort(pty_.SlavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::stol(ContentsOf(lockFile_)), static_cast<long>(::getpid()));
    // This process too is kept out while it holds the port.
    EXPECT_EQ(OpenPort(pty_.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_FALSE(Exists(lockFile_));
}

TEST(PortLock, WithoutALockFolderThePortIsStillOpened) {
    PtyPair pty;
    const auto lock = PortLock::Acquire(pty.SlavePath(), "/nonexistent-lock-folder");
    EXPECT_EQ(lock.Result(), PortLock::Outcome::NotLocked);
    EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
}

}  // namespace

}  // namespace fwsend::posix
