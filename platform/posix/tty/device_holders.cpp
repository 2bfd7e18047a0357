#include "platform/posix/tty/device_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix/folder_listing.h"
#include "platform/posix/unique_fd.h"

namespace fwsend::posix {

namespace {

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

// Pseudo-terminals: masters are opened through the multiplexer (5,2), and
// slave n is a device of majors 136 to 143.
const dev_t kPtyMultiplexer = makedev(5, 2);
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kPtySlaveMajors = 8;

std::optional<unsigned> PtySlaveIndex(dev_t device) {
    const unsigned major = ::major(device);
    if (major < kFirstPtySlaveMajor || major >= kFirstPtySlaveMajor + kPtySlaveMajors) return std::nullopt;
    return (major - kFirstPtySlaveMajor) * 256 + ::minor(device);
}

std::optional<long> ProcessId(const char* name) {
    long pid = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || pid > 100000000L) return std::nullopt;
        pid = pid * 10 + (*c - '0');
    }
    return pid > 0 ? std::optional<long>(pid) : std::nullopt;
}

// The character device an entry of a process's fd folder leads to.
std::optional<dev_t> CharacterDeviceAt(int fdDir, const char* name) {
#ifdef STATX_TYPE
    // Cached attributes only: a file on a network share whose server is
    // gone must not hang the look.
    struct statx found {};
    if (::statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_TYPE, &found) == 0) {
        if (!S_ISCHR(found.stx_mode)) return std::nullopt;
        return makedev(found.stx_rdev_major, found.stx_rdev_minor);
    }
    if (errno != ENOSYS && errno != EPERM) return std::nullopt;  // else a filter refuses statx
#endif
    struct stat info {};
    if (::fstatat(fdDir, name, &info, 0) != 0 || !S_ISCHR(info.st_mode)) return std::nullopt;
    return info.st_rdev;
}

// Which pseudo-terminal a master descriptor serves: its fdinfo says.
std::optional<unsigned> MasterIndex(int procDir, const char* pid, const char* fdName) {
    char path[2 * sizeof(dirent::d_name) + 16];
    std::snprintf(path, sizeof path, "%s/fdinfo/%s", pid, fdName);
    const UniqueFd info(::openat(procDir, path, O_RDONLY | O_CLOEXEC));
    if (!info.Valid()) return std::nullopt;
    char text[512];
    const ssize_t n = ::read(info.Get(), text, sizeof text - 1);
    if (n <= 0) return std::nullopt;
    text[n] = '\0';
    const char* field = std::strstr(text, "tty-index:");
    if (field == nullptr) return std::nullopt;
    return static_cast<unsigned>(std::strtoul(field + std::strlen("tty-index:"), nullptr, 10));
}

// The character devices one process holds, pseudo-terminal slaves whose
// master it holds too left out. Every name is taken relative to an open
// folder: building paths would cost more than the look itself.
std::vector<dev_t> DevicesHeldBy(int procDir, const char* pid) {
    std::vector<dev_t> held;
    char path[sizeof(dirent::d_name) + 8];
    std::snprintf(path, sizeof path, "%s/fd", pid);
    const int fdDir = ::openat(procDir, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir < 0) return held;  // not ours to see, or gone
    DirHandle fds(::fdopendir(fdDir), ::closedir);
    if (!fds) {
        ::close(fdDir);
        return held;
    }
    std::vector<unsigned> masters;
    while (const dirent* entry = ::readdir(fds.get())) {
        if (entry->d_name[0] == '.') continue;
        const auto device = CharacterDeviceAt(fdDir, entry->d_name);
        if (!device) continue;
        if (*device != kPtyMultiplexer) {
            held.push_back(*device);
        } else if (const auto index = MasterIndex(procDir, pid, entry->d_name)) {
            masters.push_back(*index);
        }
    }
    const auto farEnd = [&](dev_t device) {
        const auto index = PtySlaveIndex(device);
        return index && std::find(masters.begin(), masters.end(), *index) != masters.end();
    };
    held.erase(std::remove_if(held.begin(), held.end(), farEnd), held.end());
    return held;
}

// Calls visit(pid, devices held) for each process but ignoredPid. The
// failure when the list of processes could not be read to its end; a
// process that ends meanwhile simply holds nothing.
template <typename Visit>
std::string ForEachProcess(const std::string& procRoot, long ignoredPid, Visit visit) {
    DirHandle processes(::opendir(procRoot.c_str()), ::closedir);
    if (!processes) return ListingFailure(procRoot, errno);
    const int procDir = ::dirfd(processes.get());
    const int error = ForEachEntry(processes.get(), [&](const char* name) {
        const auto pid = ProcessId(name);
        if (pid && *pid != ignoredPid) visit(*pid, DevicesHeldBy(procDir, name));
    });
    return error == 0 ? std::string() : ListingFailure(procRoot, error);
}

}  // namespace

Listing<std::optional<long>> FindDeviceHolder(dev_t device, long ignoredPid, const std::string& procRoot) {
    Listing<std::optional<long>> look;
    auto& holder = look.found;
    look.failure = ForEachProcess(procRoot, ignoredPid, [&](long pid, const std::vector<dev_t>& held) {
        if (std::find(held.begin(), held.end(), device) == held.end()) return;
        if (!holder || pid < *holder) holder = pid;
    });
    return look;
}

Listing<std::map<dev_t, long>> FindHeldDevices(const std::string& procRoot) {
    Listing<std::map<dev_t, long>> look;
    auto& holders = look.found;
    look.failure = ForEachProcess(procRoot, 0, [&](long pid, const std::vector<dev_t>& held) {
        for (const dev_t device : held) {
            const auto known = holders.find(device);
            if (known == holders.end() || known->second > pid) holders[device] = pid;
        }
    });
    return look;
}

}  // namespace fwsend::posix
