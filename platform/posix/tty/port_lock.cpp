#include "platform/posix/tty/port_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace fwsend::posix {

namespace {

constexpr std::string_view kDeviceFolder = "/dev/";

// A file this young with no process id in it is being written by its owner.
constexpr time_t kNewFileSeconds = 2;

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Programs write the id as ten right-aligned digits and a line end; some
// write it as a binary int, which no one has done for decades.
std::optional<long> PidIn(const std::string& text) {
    char* end = nullptr;
    const long pid = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || pid <= 0) return std::nullopt;
    return pid;
}

bool ProcessExists(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool IsNew(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && ::time(nullptr) - info.st_mtime < kNewFileSeconds;
}

// The live holder of an existing lock file; none when the file is stale.
std::optional<long> LiveHolder(const std::string& file) {
    const auto text = ReadSmallFile(file);
    if (!text) return std::nullopt;
    const auto pid = PidIn(*text);
    if (!pid) return IsNew(file) ? std::optional<long>(0) : std::nullopt;
    if (ProcessExists(*pid)) return pid;
    return std::nullopt;
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
    // Two tries: a stale file is removed once, and if another program takes
    // the lock in between, that program wins.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = WriteOwnPid(fd);
            ::close(fd);
            if (!written) {
                ::unlink(file.c_str());
                return lock;  // a full disk: go on without
            }
            lock.outcome_ = Outcome::Locked;
            lock.file_ = file;
            return lock;
        }
        if (errno != EEXIST) return lock;  // no folder, no right to write there
        if (const auto holder = LiveHolder(file)) {
            lock.outcome_ = Outcome::HeldByOther;
            lock.holder_ = *holder;
            return lock;
        }
        ::unlink(file.c_str());
    }
    lock.outcome_ = Outcome::HeldByOther;
    return lock;
}

PortLock::PortLock(PortLock&& other) noexcept
    : outcome_(other.outcome_), holder_(other.holder_), file_(std::exchange(other.file_, {})) {}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
    if (this != &other) {
        Release();
        outcome_ = other.outcome_;
        holder_ = other.holder_;
        file_ = std::exchange(other.file_, {});
    }
    return *this;
}

PortLock::~PortLock() { Release(); }

void PortLock::Release() {
    if (file_.empty()) return;
    // Only our own file: one that holds another id is no longer ours.
    const auto text = ReadSmallFile(file_);
    if (text && PidIn(*text) == static_cast<long>(::getpid())) ::unlink(file_.c_str());
    file_.clear();
}

std::optional<long> PortLockHolder(const std::string& devicePath, const std::string& folder) {
    return LiveHolder(folder + "/" + LockFileName(devicePath));
}

std::string DescribeProcess(long pid) {
    if (pid <= 0) return "another process";
    std::string text = "process " + std::to_string(pid);
    if (auto name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm")) {
        while (!name->empty() && name->back() == '\n') name->pop_back();
        if (!name->empty()) text += " (" + *name + ")";
    }
    return text;
}

}  // namespace fwsend::posix
