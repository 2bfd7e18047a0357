#include "platform/posix/win32/port_name.h"

#include <cstdint>

namespace fwsend::posix {

namespace {

constexpr std::string_view kComPrefix = "COM";
constexpr std::string_view kWindowsDevicePrefix = "\\\\.\\";
constexpr std::string_view kDeviceDirectory = "/dev/";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return !text.empty();
}

// COM1 is the first serial port, /dev/ttyS0.
std::optional<std::string> SerialPortPath(std::string_view digits) {
    std::uint32_t number = 0;
    for (char c : digits) {
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
        if (number > 1000000) return std::nullopt;
    }
    if (number == 0) return std::nullopt;
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string InDeviceDirectory(std::string_view name) {
    return std::string(kDeviceDirectory) + std::string(name);
}

}  // namespace

std::optional<std::string> DevicePathForPortName(std::string_view name) {
    if (StartsWith(name, kWindowsDevicePrefix)) name.remove_prefix(kWindowsDevicePrefix.size());
    if (name.empty()) return std::nullopt;
    if (name.front() == '/') return std::string(name);
    if (!StartsWith(name, kComPrefix)) return InDeviceDirectory(name);

    const auto rest = name.substr(kComPrefix.size());
    if (rest.empty()) return std::nullopt;
    if (rest.front() == '/') return std::string(rest);
    if (AllDigits(rest)) return SerialPortPath(rest);
    return InDeviceDirectory(rest);
}

}  // namespace fwsend::posix
