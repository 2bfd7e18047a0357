#pragma once
// The lock files of Linux terminal programs (minicom, picocom, the uucp
// tools): /run/lock/LCK..<name> holds the owner's process id. Checking it
// before opening a port matters: every open of a Linux tty raises DTR and
// RTS, and on many boards those lines reset the target or pick its boot
// mode, so even a failed open can wreck an upload in progress.
//
// The lock folder is writable by everyone, so what is found there is data,
// never a device: it is never followed through a link nor waited on, and
// anything but a regular file naming a live process is no lock.

#include <sys/stat.h>

#include <optional>
#include <string>

namespace fwsend::posix {

constexpr char kDefaultLockFolder[] = "/run/lock";

class PortLock {
public:
    enum class Outcome {
        Locked,       // the file is ours until this object goes
        HeldByOther,  // a live process holds it: see Holder()
        NotLocked,    // no folder, not writable, or a stale file we may not remove: go on without
    };

    // Takes the lock of the device at devicePath. A file left by a process
    // that no longer exists, or anything at its name that is no lock file,
    // is removed first; of several fwsends doing so at once one wins, and
    // none removes the winner's new file.
    static PortLock Acquire(const std::string& devicePath, const std::string& folder = kDefaultLockFolder);

    PortLock() = default;
    PortLock(PortLock&& other) noexcept;
    PortLock& operator=(PortLock&& other) noexcept;
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;
    ~PortLock();

    Outcome Result() const { return outcome_; }
    long Holder() const { return holder_; }

private:
    void Release();

    Outcome outcome_ = Outcome::NotLocked;
    long holder_ = 0;
    std::string file_;     // set while the file is ours
    struct stat ours_ {};  // our file, told apart from one put in its place
};

// The lock file's name for a device: LCK..ttyUSB0 for /dev/ttyUSB0 (links
// resolved, so every name of one device shares one lock), LCK..pts_3 for
// /dev/pts/3.
std::string LockFileName(const std::string& devicePath);

// The live process that holds the device's lock file, if any.
std::optional<long> PortLockHolder(const std::string& devicePath,
                                   const std::string& folder = kDefaultLockFolder);

// "process 1234 (minicom)", for messages.
std::string DescribeProcess(long pid);

}  // namespace fwsend::posix
