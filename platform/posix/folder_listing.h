#pragma once
// A folder of the kernel's (sysfs, /proc) read to its end, or the reason it
// could not be. readdir() tells an error from the end of a folder only
// through errno: a look that takes one for the other reports no device
// attached, or no process holding a port, where it merely could not read.

#include <dirent.h>

#include <cerrno>
#include <memory>
#include <string>

namespace fwsend::posix {

// What a look found, or why it could not look.
template <typename Found>
struct Listing {
    Found found{};
    // "<folder>: <the system's reason>"; empty when the look read every
    // folder it needed to its end.
    std::string failure;
    bool Complete() const { return failure.empty(); }
};

// "<folder>: <strerror(error)>".
std::string ListingFailure(const std::string& folder, int error);

// Calls visit(name) for each entry of an open folder but "." and "..".
// 0 at the end of the folder, else the errno of the read that failed.
template <typename Visit>
int ForEachEntry(DIR* folder, Visit visit) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) return errno;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        visit(name);
    }
}

// The same for the folder at path: empty when every entry was visited,
// else the failure, the open's or a read's.
template <typename Visit>
std::string ForEachEntryOf(const std::string& path, Visit visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.c_str()), ::closedir);
    if (!folder) return ListingFailure(path, errno);
    const int error = ForEachEntry(folder.get(), visit);
    return error == 0 ? std::string() : ListingFailure(path, error);
}

}  // namespace fwsend::posix
