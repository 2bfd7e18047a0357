#include "platform/posix/usb/by_path_names.h"

#include <filesystem>
#include <system_error>

namespace fwsend::posix {

namespace fs = std::filesystem;

namespace {

bool Shorter(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

std::map<std::string, std::string> ByPathNames(const DeviceRoots& roots) {
    std::map<std::string, std::string> names;
    const fs::path devRoot = fs::path(roots.dev).lexically_normal();
    const fs::path folder = devRoot / "serial" / "by-path";
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code unreadable;
        const fs::path target = fs::read_symlink(it->path(), unreadable);
        if (unreadable) continue;  // not a link: not udev's
        // By the link's own text: udev's links are relative and end at the
        // node, which may itself be a link that must not be followed.
        const fs::path reached = (target.is_absolute() ? target : folder / target).lexically_normal();
        if (reached.parent_path() != devRoot) continue;
        const std::string tty = reached.filename().string();
        const std::string link = it->path().string();
        const auto known = names.find(tty);
        if (known == names.end())
            names.emplace(tty, link);
        else if (Shorter(link, known->second))
            known->second = link;
    }
    return names;
}

}  // namespace fwsend::posix
