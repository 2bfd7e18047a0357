// The lock files of terminal programs, on a pseudo-terminal and the
// machine's own lock folder: a port whose lock a live process holds is not
// opened at all; a lock left by a dead process is taken over, and ours goes
// when the port is closed.
#include "platform/posix/tty/port_lock.h"
#include "platform/open_failure.h"
#include "platform/win32_serial.h"

#include "tools/pty_pair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fwsend::posix {

namespace
{

HANDLE openPort(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string contentsOf(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool exists(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

// The id of a process that has ended.
long deadPid()
{
    pid_t const child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class PortLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        if (::access(defaultLockFolder, W_OK) != 0)
            GTEST_SKIP() << "no writable " << defaultLockFolder << " here";
        lockFile = std::string(defaultLockFolder) + "/" + lockFileName(pty.SlavePath());
    }
    void TearDown() override
    {
        if (!lockFile.empty())
            ::unlink(lockFile.c_str());
    }
    void writeLock(long pid)
    {
        std::FILE* file = std::fopen(lockFile.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%10ld\n", pid);
        std::fclose(file);
    }

    PtyPair pty;
    std::string lockFile;
};

TEST_F(PortLockTest, APortLockedByALiveProcessIsNotOpened)
{
    EXPECT_EQ(lockFile.substr(0, lockFile.rfind('_')), std::string(defaultLockFolder) + "/LCK..pts");
    writeLock(1);  // init: always alive
    EXPECT_EQ(openPort(pty.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(DescribeOpenFailure().rfind(pty.SlavePath() + ": in use by process 1", 0), 0u)
        << DescribeOpenFailure();
    EXPECT_EQ(contentsOf(lockFile), "         1\n");
    EXPECT_EQ(portLockHolder(pty.SlavePath()), 1);
}

TEST_F(PortLockTest, AStaleLockIsTakenOverAndOursGoesWithThePort)
{
    writeLock(deadPid());
    EXPECT_EQ(portLockHolder(pty.SlavePath()), std::nullopt);
    HANDLE port = openPort(pty.SlavePath());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::stol(contentsOf(lockFile)), static_cast<long>(::getpid()));
    // This process too is kept out while it holds the port.
    EXPECT_EQ(openPort(pty.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_FALSE(exists(lockFile));
}

TEST(PortLock, WithoutALockFolderThePortIsStillOpened)
{
    PtyPair pty;
    auto const lock = PortLock::acquire(pty.SlavePath(), "/nonexistent-lock-folder");
    EXPECT_EQ(lock.outcome(), PortLock::Outcome::NotLocked);
    EXPECT_EQ(lockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
}

} // namespace

}  // namespace fwsend::posix
