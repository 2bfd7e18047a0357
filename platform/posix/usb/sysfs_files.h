#pragma once
// Reading the kernel's device tree: paths, links and small attribute files.
// Shared by the USB lookup that opens devices and the port finder that
// lists them, so that both see the same tree the same way.

#include <optional>
#include <string>

namespace fwsend::posix {

// The path with every link resolved; empty when it does not exist.
std::optional<std::string> CanonicalPath(const std::string& path);

// The folder that holds path ("/" at the top).
std::string ParentOf(const std::string& path);

bool PathExists(const std::string& path);

// A small attribute file, whole, without the line end the kernel ends it in.
std::optional<std::string> ReadSysfsAttribute(const std::string& path);

// The last part of a symbolic link's target: a driver's or a bus's name.
std::optional<std::string> LinkLeaf(const std::string& link);

}  // namespace fwsend::posix
