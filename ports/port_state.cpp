#include "ports/port_state.h"

#include "platform/posix/tty/device_holders.h"
#include "platform/posix/tty/port_lock.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace fwsend {

using namespace posix;

namespace {

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

std::string FindPortStates(std::vector<PortEntry>& entries, const std::string& procRoot,
                           const std::string& lockFolder) {
    const auto look = FindHeldDevices(procRoot);
    if (!look.Complete()) return look.failure;
    const auto& holders = look.found;
    for (auto& entry : entries) {
        entry.state = PortState::Free;
        // 0: a lock file still being written, or one we may not read.
        const auto locker = PortLockHolder(entry.device, lockFolder);
        if (locker && *locker > 0) entry.holderPid = locker;
        struct stat node {};
        const bool isDevice = ::stat(entry.device.c_str(), &node) == 0 && S_ISCHR(node.st_mode);
        if (!entry.holderPid && isDevice) {
            const auto holder = holders.find(node.st_rdev);
            if (holder != holders.end()) entry.holderPid = holder->second;
        }
        if (entry.holderPid || locker) {
            entry.state = PortState::InUse;
            if (entry.holderPid) entry.holderName = CommandName(procRoot, *entry.holderPid);
        } else if (::access(entry.device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
            entry.state = PortState::NoPermission;
            if ((node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && node.st_gid != 0)
                entry.group = GroupName(node.st_gid);
            else
                entry.owner = UserName(node.st_uid);
        }
    }
    return {};
}

}  // namespace fwsend
