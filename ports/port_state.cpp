#include "ports/port_state.h"

#include "platform/posix/tty/port_lock.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace fwsend {

using namespace posix;

namespace {

using DirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

DirHandle OpenDirectory(const std::string& path) { return DirHandle(::opendir(path.c_str()), ::closedir); }

std::optional<long> ProcessId(const char* name) {
    long pid = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || pid > 100000000L) return std::nullopt;
        pid = pid * 10 + (*c - '0');
    }
    return pid > 0 ? std::optional<long>(pid) : std::nullopt;
}

// Which process has each character device open: the lowest process id
// among those this user may look into.
std::map<dev_t, long> OpenCharacterDevices(const std::string& procRoot) {
    std::map<dev_t, long> holders;
    auto processes = OpenDirectory(procRoot);
    if (!processes) return holders;
    while (const dirent* process = ::readdir(processes.get())) {
        const auto pid = ProcessId(process->d_name);
        if (!pid) continue;
        std::string const fdDir = procRoot + "/" + process->d_name + "/fd";
        auto fds = OpenDirectory(fdDir);
        if (!fds) continue;  // not ours to see, or gone
        while (const dirent* fd = ::readdir(fds.get())) {
            struct stat target {};
            if (fd->d_name[0] == '.' || ::stat((fdDir + "/" + fd->d_name).c_str(), &target) != 0 ||
                !S_ISCHR(target.st_mode))
                continue;
            const auto known = holders.find(target.st_rdev);
            if (known == holders.end() || known->second > *pid) holders[target.st_rdev] = *pid;
        }
    }
    return holders;
}

std::string CommandName(const std::string& procRoot, long pid) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen((procRoot + "/" + std::to_string(pid) + "/comm").c_str(), "rb"), std::fclose);
    if (!file) return {};
    char name[64] = {};
    if (std::fgets(name, sizeof name, file.get()) == nullptr) return {};
    std::string text(name);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string GroupName(gid_t gid) {
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

std::string UserName(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

}  // namespace

void FindPortStates(std::vector<PortEntry>& entries, const std::string& procRoot,
                    const std::string& lockFolder) {
    const auto holders = OpenCharacterDevices(procRoot);
    for (auto& entry : entries) {
        entry.state = PortState::Free;
        entry.holderPid = PortLockHolder(entry.device, lockFolder);
        struct stat node {};
        if (!entry.holderPid && ::stat(entry.device.c_str(), &node) == 0 && S_ISCHR(node.st_mode)) {
            const auto holder = holders.find(node.st_rdev);
            if (holder != holders.end()) entry.holderPid = holder->second;
        }
        if (entry.holderPid) {
            entry.state = PortState::InUse;
            entry.holderName = CommandName(procRoot, *entry.holderPid);
        } else if (::access(entry.device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
            entry.state = PortState::NoPermission;
            if ((node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && node.st_gid != 0)
                entry.group = GroupName(node.st_gid);
            else
                entry.owner = UserName(node.st_uid);
        }
    }
}

}  // namespace fwsend
