#include "gang/device_lookup.h"

#include <climits>
#include <cstdlib>
#include <utility>

#include "platform/posix/usb/usb_serial_lookup.h"
#include "platform/posix/win32/port_name.h"
#include "ports/linux_ports.h"
#include "ports/port_state.h"

namespace fwsend::gang {

std::vector<PortEntry> AttachedPorts(bool withStates, std::string* failure) {
    auto listing = ListLinuxPorts(posix::DeviceRoots{});
    std::string problem = listing.failure;
    if (problem.empty() && withStates) problem = FindPortStates(listing.found);
    if (!problem.empty()) listing.found.clear();
    if (failure) *failure = problem;
    return std::move(listing.found);
}

std::string ResolvedDevice(const std::string& device) {
    char resolved[PATH_MAX];
    if (::realpath(device.c_str(), resolved) == nullptr) return {};
    return resolved;
}

std::optional<ComPortPath> LocateComPort(const std::string& comPortName) {
    const auto path = posix::DevicePathForPortName(comPortName);
    if (!path) return std::nullopt;
    return ComPortPath{*path, ResolvedDevice(*path)};
}

}  // namespace fwsend::gang
