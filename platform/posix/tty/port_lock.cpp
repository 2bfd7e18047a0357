#include "platform/posix/tty/port_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <utility>

#include "platform/posix/unique_fd.h"

namespace fwsend::posix {

namespace {

constexpr std::string_view kDeviceFolder = "/dev/";

// A file this young with no process id in it is being written by its owner.
constexpr time_t kNewFileSeconds = 2;

// How often Acquire looks again when the file changes under it (another
// fwsend taking over the same stale file), and how long it lets such a
// fwsend finish first.
constexpr int kAttempts = 20;
constexpr auto kOtherRemoverPause = std::chrono::milliseconds(1);

// Whatever is at a lock file's path. Anyone may write in the lock folder:
// what is there may be a link to a device, a FIFO or a folder. Only a
// regular file, a folder or a FIFO is ever opened, never through a link,
// never blocking.
struct Entry {
    struct stat info {};  // as lstat saw it
    UniqueFd fd;          // open when it could be opened so
};

enum class Look { Found, Missing, Changed, Failed };

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Openable(const struct stat& info) {
    return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode);
}

Look LookAt(const std::string& path, Entry& entry) {
    if (::lstat(path.c_str(), &entry.info) != 0) return errno == ENOENT ? Look::Missing : Look::Failed;
    if (!Openable(entry.info)) return Look::Found;
    entry.fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!entry.fd.Valid()) {
        if (errno == ENOENT || errno == ELOOP) return Look::Changed;
        // A regular file we may not read: whose it is cannot be told.
        return S_ISREG(entry.info.st_mode) ? Look::Failed : Look::Found;
    }
    struct stat opened {};
    if (::fstat(entry.fd.Get(), &opened) != 0 || !SameFile(opened, entry.info)) return Look::Changed;
    return Look::Found;
}

bool IsLockFile(const Entry& entry) { return S_ISREG(entry.info.st_mode) && entry.fd.Valid(); }

// Programs write the id as ten right-aligned digits and a line end; some
// write it as a binary int, which no one has done for decades.
std::optional<long> PidIn(const Entry& entry) {
    char text[64];
    const ssize_t n = ::pread(entry.fd.Get(), text, sizeof text - 1, 0);
    if (n <= 0) return std::nullopt;
    text[n] = '\0';
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0) return std::nullopt;
    return pid;
}

bool ProcessExists(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// The live holder of a lock file last written at modified (0: one that is
// still writing it); none when it is stale.
std::optional<long> LiveHolder(const Entry& entry, time_t modified) {
    const auto pid = PidIn(entry);
    if (!pid) {
        const bool isNew = ::time(nullptr) - modified < kNewFileSeconds;
        return isNew ? std::optional<long>(0) : std::nullopt;
    }
    if (ProcessExists(*pid)) return pid;
    return std::nullopt;
}

enum class Removal { Removed, Changed, OtherRemoving, Refused };

// Removes a stale lock file or something that is no lock file. The entry is
// flocked first and looked at again: a fwsend that reaches the same entry
// later waits, then finds the path names another file (the lock of the one
// that got there first) and judges that instead of removing it.
Removal Remove(const std::string& path, const Entry& entry) {
    if (entry.fd.Valid() && ::flock(entry.fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? Removal::OtherRemoving : Removal::Refused;
    struct stat now {};
    if (::lstat(path.c_str(), &now) != 0 || !SameFile(now, entry.info)) return Removal::Changed;
    if (IsLockFile(entry) && LiveHolder(entry, now.st_mtime)) return Removal::Changed;  // rewritten in place
    if (::unlinkat(AT_FDCWD, path.c_str(), S_ISDIR(entry.info.st_mode) ? AT_REMOVEDIR : 0) == 0)
        return Removal::Removed;
    return errno == ENOENT ? Removal::Changed : Removal::Refused;
}

bool WriteOwnPid(int fd) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    return ::write(fd, text, static_cast<std::size_t>(length)) == length;
}

}  // namespace

std::string LockFileName(const std::string& devicePath) {
    char resolved[PATH_MAX];
    std::string path = ::realpath(devicePath.c_str(), resolved) != nullptr ? resolved : devicePath;
    if (path.compare(0, kDeviceFolder.size(), kDeviceFolder) == 0)
        path.erase(0, kDeviceFolder.size());
    else
        path.erase(0, path.rfind('/') + 1);
    for (char& c : path) {
        if (c == '/') c = '_';
    }
    return "LCK.." + path;
}

PortLock PortLock::Acquire(const std::string& devicePath, const std::string& folder) {
    PortLock lock;
    std::string const file = folder + "/" + LockFileName(devicePath);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const UniqueFd created(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (created.Valid()) {
            // Readable by every program that checks it, whatever our umask.
            const bool written = ::fchmod(created.Get(), 0644) == 0 && WriteOwnPid(created.Get()) &&
                                 ::fstat(created.Get(), &lock.ours_) == 0;
            if (!written) {
                ::unlink(file.c_str());
                return lock;  // a full disk: go on without
            }
            lock.outcome_ = Outcome::Locked;
            lock.file_ = file;
            return lock;
        }
        if (errno != EEXIST) return lock;  // no folder, no right to write there

        Entry entry;
        switch (LookAt(file, entry)) {
        case Look::Missing:
        case Look::Changed: continue;
        case Look::Failed: lock.outcome_ = Outcome::HeldByOther; return lock;
        case Look::Found: break;
        }
        if (IsLockFile(entry)) {
            if (const auto holder = LiveHolder(entry, entry.info.st_mtime)) {
                lock.outcome_ = Outcome::HeldByOther;
                lock.holder_ = *holder;
                return lock;
            }
        }
        switch (Remove(file, entry)) {
        case Removal::Removed:
        case Removal::Changed: continue;
        case Removal::OtherRemoving: std::this_thread::sleep_for(kOtherRemoverPause); continue;
        // Left by another user in the sticky folder: no live process holds
        // it, so it keeps no one out; we go on without a lock file.
        case Removal::Refused: return lock;
        }
    }
    lock.outcome_ = Outcome::HeldByOther;
    return lock;
}

PortLock::PortLock(PortLock&& other) noexcept
    : outcome_(other.outcome_),
      holder_(other.holder_),
      file_(std::exchange(other.file_, {})),
      ours_(other.ours_) {}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
    if (this != &other) {
        Release();
        outcome_ = other.outcome_;
        holder_ = other.holder_;
        file_ = std::exchange(other.file_, {});
        ours_ = other.ours_;
    }
    return *this;
}

PortLock::~PortLock() { Release(); }

void PortLock::Release() {
    if (file_.empty()) return;
    // Only our own file: one that holds another id is no longer ours.
    Entry entry;
    if (LookAt(file_, entry) == Look::Found && IsLockFile(entry) && SameFile(entry.info, ours_) &&
        PidIn(entry) == static_cast<long>(::getpid()))
        ::unlink(file_.c_str());
    file_.clear();
}

std::optional<long> PortLockHolder(const std::string& devicePath, const std::string& folder) {
    Entry entry;
    const std::string file = folder + "/" + LockFileName(devicePath);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        switch (LookAt(file, entry)) {
        case Look::Missing: return std::nullopt;
        case Look::Changed: continue;
        case Look::Failed: return 0;
        case Look::Found: return IsLockFile(entry) ? LiveHolder(entry, entry.info.st_mtime) : std::nullopt;
        }
    }
    return 0;
}

std::string DescribeProcess(long pid) {
    if (pid <= 0) return "another process";
    std::string text = "process " + std::to_string(pid);
    const UniqueFd comm(::open(("/proc/" + std::to_string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
    char name[64];
    const ssize_t n = comm.Valid() ? ::read(comm.Get(), name, sizeof name) : -1;
    std::string command = n > 0 ? std::string(name, static_cast<std::size_t>(n)) : std::string();
    while (!command.empty() && command.back() == '\n') command.pop_back();
    if (!command.empty()) text += " (" + command + ")";
    return text;
}

}  // namespace fwsend::posix
