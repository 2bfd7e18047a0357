// Windows: fwsend.exe beside fwsend-gang.exe, else in a folder of PATH.
#include <cstdlib>
#include <string_view>

#include "gang/fwsend_location.h"
#include "platform/windows/windows_api.h"

namespace fwsend::gang {

namespace {

constexpr char kProgramName[] = "fwsend.exe";
// The longest path the system's wide functions take.
constexpr DWORD kLongestPath = 32768;

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The folder of this program's own file, with its separator.
std::string OwnFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestPath) return {};
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// C:\tools, C:/tools or \\server\share\tools; not tools, \tools or C:tools,
// which lead from wherever the gang was started.
bool IsAbsolute(const std::string& folder) {
    if (folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) return true;
    return folder.size() >= 2 && (folder[0] == '\\' || folder[0] == '/') && folder[0] == folder[1];
}

}  // namespace

std::optional<std::string> FindFwsend() {
    const std::string folder = OwnFolder();
    if (!folder.empty() && IsFile(folder + kProgramName)) return folder + kProgramName;

    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        std::string entry(rest.substr(0, semicolon));
        rest.remove_prefix(semicolon == std::string_view::npos ? rest.size() : semicolon + 1);
        // A folder may be written in quotes.
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
        if (!IsAbsolute(entry)) continue;
        if (entry.back() != '\\' && entry.back() != '/') entry += '\\';
        if (IsFile(entry + kProgramName)) return entry + kProgramName;
    }
    return std::nullopt;
}

}  // namespace fwsend::gang
