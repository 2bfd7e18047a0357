#include <climits>
#include <cstdlib>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "gang/fwsend_location.h"

namespace fwsend::gang {

namespace {

constexpr char kProgramName[] = "fwsend";

bool IsRunnable(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The folder of this program's own file (the kernel's record of it, not
// argv[0], which the caller chose).
std::string OwnFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    const std::string_view own(path, static_cast<std::size_t>(length));
    const std::size_t slash = own.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(own.substr(0, slash + 1));
}

}  // namespace

std::optional<std::string> FindFwsend() {
    const std::string folder = OwnFolder();
    if (!folder.empty() && IsRunnable(folder + kProgramName)) return folder + kProgramName;

    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string entry(rest.substr(0, colon));
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
        // Relative entries (an empty one means the current folder) are
        // skipped: where the gang is started from is no place to pick up
        // the program that flashes the boards.
        if (entry.empty() || entry.front() != '/') continue;
        const std::string candidate = entry + "/" + kProgramName;
        if (IsRunnable(candidate)) return candidate;
    }
    return std::nullopt;
}

}  // namespace fwsend::gang
