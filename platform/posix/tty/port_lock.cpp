#include "platform/posix/tty/port_lock.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fwsend::posix {

namespace
{

constexpr std::string_view deviceFolder = "/dev/";

// A file this young with no process id in it is being written by its owner.
constexpr time_t newFileSeconds = 2;

std::optional<std::string> readSmallFile(const std::string& path)
{
    int const fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[64];
    ssize_t const n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Programs write the id as ten right-aligned digits and a line end; some
// write it as a binary int, which no one has done for decades.
std::optional<long> pidIn(const std::string& text)
{
    char* end = nullptr;
    long const pid = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || pid <= 0)
        return std::nullopt;
    return pid;
}

bool processExists(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool isNew(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && ::time(nullptr) - info.st_mtime < newFileSeconds;
}

// The live holder of an existing lock file; none when the file is stale.
std::optional<long> liveHolder(const std::string& file)
{
    auto const text = readSmallFile(file);
    if (!text)
        return std::nullopt;
    auto const pid = pidIn(*text);
    if (!pid)
        return isNew(file) ? std::optional<long>(0) : std::nullopt;
    if (processExists(*pid))
        return pid;
    return std::nullopt;
}

bool writeOwnPid(int fd)
{
    char text[16];
    int const length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    return ::write(fd, text, static_cast<std::size_t>(length)) == length;
}

} // namespace

std::string lockFileName(const std::string& devicePath)
{
    char resolved[PATH_MAX];
    std::string path = ::realpath(devicePath.c_str(), resolved) != nullptr ? resolved : devicePath;
    if (path.compare(0, deviceFolder.size(), deviceFolder) == 0)
        path.erase(0, deviceFolder.size());
    else
        path.erase(0, path.rfind('/') + 1);
    for (char& c : path) {
        if (c == '/')
            c = '_';
    }
    return "LCK.." + path;
}

PortLock PortLock::acquire(const std::string& devicePath, const std::string& folder)
{
    PortLock lock;
    std::string const file = folder + "/" + lockFileName(devicePath);
    // Two tries: a stale file is removed once, and if another program takes
    // the lock in between, that program wins.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int const fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            bool const written = writeOwnPid(fd);
            ::close(fd);
            if (!written) {
                ::unlink(file.c_str());
                return lock;  // a full disk: go on without
            }
            lock.outcome_ = Outcome::Locked;
            lock.file_ = file;
            return lock;
        }
        if (errno != EEXIST)
            return lock;  // no folder, no right to write there
        if (auto const holder = liveHolder(file)) {
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
    : outcome_(other.outcome_), holder_(other.holder_), file_(std::exchange(other.file_, {}))
{
}

PortLock& PortLock::operator=(PortLock&& other) noexcept
{
    if (this != &other) {
        release();
        outcome_ = other.outcome_;
        holder_ = other.holder_;
        file_ = std::exchange(other.file_, {});
    }
    return *this;
}

PortLock::~PortLock()
{
    release();
}

void PortLock::release()
{
    if (file_.empty())
        return;
    // Only our own file: one that holds another id is no longer ours.
    auto const text = readSmallFile(file_);
    if (text && pidIn(*text) == static_cast<long>(::getpid()))
        ::unlink(file_.c_str());
    file_.clear();
}

std::optional<long> portLockHolder(const std::string& devicePath, const std::string& folder)
{
    return liveHolder(folder + "/" + lockFileName(devicePath));
}

std::string describeProcess(long pid)
{
    if (pid <= 0)
        return "another process";
    std::string text = "process " + std::to_string(pid);
    if (auto name = readSmallFile("/proc/" + std::to_string(pid) + "/comm")) {
        while (!name->empty() && name->back() == '\n')
            name->pop_back();
        if (!name->empty())
            text += " (" + *name + ")";
    }
    return text;
}

}  // namespace fwsend::posix
