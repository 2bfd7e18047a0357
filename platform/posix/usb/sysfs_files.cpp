#include "platform/posix/usb/sysfs_files.h"

#include <cstdio>
#include <memory>

#include <limits.h>
#include <unistd.h>

namespace fwsend::posix {

std::optional<std::string> CanonicalPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool PathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::optional<std::string> ReadSysfsAttribute(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return std::nullopt;
    char buffer[4096];
    std::size_t const n = std::fread(buffer, 1, sizeof buffer, file.get());
    std::string text(buffer, n);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::optional<std::string> LinkLeaf(const std::string& link) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return std::nullopt;
    std::string const text(target, static_cast<std::size_t>(n));
    return text.substr(text.rfind('/') + 1);
}

}  // namespace fwsend::posix
