// Windows: the Windows port finder, and a COM port name looked up among the
// system's DOS device names, which tells where it leads without opening it:
// an open would raise the modem lines, and fail on a port a child holds.
#include <string_view>

#include "gang/device_lookup.h"
#include "platform/windows/windows_api.h"
#include "ports/windows_ports.h"

namespace fwsend::gang {

namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";

// COM12 or \\.\COM12 -> COM12; nothing for a path, which fwsend's open
// takes for a file.
std::optional<std::string> DosDeviceName(std::string_view name) {
    if (name.substr(0, kDeviceNamespace.size()) == kDeviceNamespace)
        name.remove_prefix(kDeviceNamespace.size());
    if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return std::nullopt;
    return std::string(name);
}

// COM3 -> \Device\Serial2; empty when no such device is there now.
std::string DosDeviceTarget(const std::string& name) {
    char targets[4096] = {};
    if (QueryDosDeviceA(name.c_str(), targets, sizeof targets) == 0) return {};
    return targets;  // the first of the names it holds, the one in use
}

}  // namespace

std::vector<PortEntry> AttachedPorts(bool, std::string* failure) {
    // Whether a port is free only an open would tell: the states stay
    // unknown. A registry that cannot be read lists no port, as the port
    // finder shows it.
    if (failure) failure->clear();
    return ListWindowsPorts();
}

std::string ResolvedDevice(const std::string& device) {
    const auto name = DosDeviceName(device);
    return name ? DosDeviceTarget(*name) : std::string();
}

std::optional<ComPortPath> LocateComPort(const std::string& comPortName) {
    const auto name = DosDeviceName(comPortName);
    if (!name) return std::nullopt;
    return ComPortPath{comPortName, DosDeviceTarget(*name)};
}

}  // namespace fwsend::gang
