// The lock files of terminal programs, on a pseudo-terminal and the
// machine's own lock folder: a port whose lock a live process holds is not
// opened at all; a lock left by a dead process is taken over, and ours goes
// when the port is closed. In a folder of our own: what others may plant
// in a lock folder everyone writes to, and fwsends racing for a stale lock.
#include "platform/posix/tty/port_lock.h"
#include "platform/open_failure.h"
#include "platform/win32_serial.h"

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"
#include "tools/pty_pair.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

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

class PlantedLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        lockFile_ = folder_.File(LockFileName(kDevice));
    }
    static void WriteFile(const std::string& path, long pid) {
        std::ofstream(path) << "      " << pid << "\n";
    }

    static constexpr char kDevice[] = "/dev/ttyUSB7";
    ScratchDir folder_;
    std::string lockFile_;
};

// Not a lock file, and taking the lock removes it, whatever it leads to.
TEST_F(PlantedLockTest, ALinkAFifoOrAFolderIsNoLockAndNeverFollowedOrWaitedOn) {
    const std::string elsewhere = folder_.File("elsewhere");
    WriteFile(elsewhere, 1);  // init: a live holder, were the link followed
    const std::vector<std::function<int()>> plants = {
        [&] { return ::symlink(elsewhere.c_str(), lockFile_.c_str()); },
        [&] { return ::mkfifo(lockFile_.c_str(), 0644); },
        [&] { return ::mkdir(lockFile_.c_str(), 0755); },
    };
    for (std::size_t i = 0; i < plants.size(); ++i) {
        ASSERT_EQ(plants[i](), 0) << i;
        // In a child: a lock that waits on a FIFO ends it instead of this test.
        const int status = RunInChild(
            [&] {
                if (PortLockHolder(kDevice, folder_.Path())) return 1;
                const auto lock = PortLock::Acquire(kDevice, folder_.Path());
                if (lock.Result() != PortLock::Outcome::Locked) return 2;
                return std::stol(ContentsOf(lockFile_)) == static_cast<long>(::getpid()) ? 0 : 3;
            },
            10);
        EXPECT_EQ(status, 0) << "plant " << i;
        EXPECT_FALSE(Exists(lockFile_)) << "plant " << i;
    }
    EXPECT_EQ(ContentsOf(elsewhere), "      1\n");
}

TEST_F(PlantedLockTest, AStaleLockAnotherUserLeftInTheStickyFolderLocksNoOneOut) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to leave a file as another user";
    ASSERT_EQ(::chmod(folder_.Path().c_str(), 01777), 0);
    WriteFile(lockFile_, DeadPid());
    const int status = RunInChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 2;
        const auto lock = PortLock::Acquire(kDevice, folder_.Path());
        return lock.Result() == PortLock::Outcome::NotLocked ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(Exists(lockFile_));
}

// Many fwsends take over one stale lock at once, round after round: one
// gets it, and the file on disk is that one's while it holds it.
TEST_F(PlantedLockTest, OfFwsendsTakingOverOneStaleLockOneWinsAndKeepsItsFile) {
    constexpr int kRounds = 600;
    constexpr int kRacers = 4;
    const long dead = DeadPid();
    int faults = 0;
    for (int round = 0; round < kRounds; ++round) {
        WriteFile(lockFile_, dead);
        int start[2], results[2];
        ASSERT_EQ(::pipe(start) | ::pipe(results), 0);
        std::vector<pid_t> racers;
        for (int r = 0; r < kRacers; ++r) {
            const pid_t racer = ::fork();
            ASSERT_GE(racer, 0);
            if (racer == 0) {
                char go = 0;
                ::close(start[1]);
                ::read(start[0], &go, 1);  // all start at once, when the pipe closes
                const auto lock = PortLock::Acquire(kDevice, folder_.Path());
                const long won = lock.Result() == PortLock::Outcome::Locked ? ::getpid() : 0;
                ::write(results[1], &won, sizeof won);
                ::pause();  // holds the lock until the round is judged
            }
            racers.push_back(racer);
        }
        ::close(start[0]);
        ::close(start[1]);
        std::vector<long> winners;
        for (int r = 0; r < kRacers; ++r) {
            long won = 0;
            if (::read(results[0], &won, sizeof won) == sizeof won && won != 0) winners.push_back(won);
        }
        const std::string onDisk = ContentsOf(lockFile_);
        if (winners.size() != 1 || onDisk.empty() || std::stol(onDisk) != winners[0]) ++faults;
        for (const pid_t racer : racers) {
            ::kill(racer, SIGKILL);
            ::waitpid(racer, nullptr, 0);
        }
        ::close(results[0]);
        ::close(results[1]);
    }
    EXPECT_EQ(faults, 0) << "of " << kRounds << " rounds";
}

TEST(PortLock, WithoutALockFolderThePortIsStillOpened) {
    PtyPair pty;
    const auto lock = PortLock::Acquire(pty.SlavePath(), "/nonexistent-lock-folder");
    EXPECT_EQ(lock.Result(), PortLock::Outcome::NotLocked);
    EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
}

}  // namespace

}  // namespace fwsend::posix
