#include "platform/posix/win32/port_name.h"

#include <cstdint>

namespace fwsend::posix {

namespace {

constexpr std::string_view comPrefix = "COM";
constexpr std::string_view windowsDevicePrefix = "\\\\.\\";
constexpr std::string_view deviceDirectory = "/dev/";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool allDigits(std::string_view text)
{
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.empty();
}

// COM1 is the first serial port, /dev/ttyS0.
std::optional<std::string> serialPortPath(std::string_view digits)
{
    std::uint32_t number = 0;
    for (char c : digits) {
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
        if (number > 1000000)
            return std::nullopt;
    }
    if (number == 0)
        return std::nullopt;
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string inDeviceDirectory(std::string_view name)
{
    return std::string(deviceDirectory) + std::string(name);
}

} // namespace

std::optional<std::string> devicePathForPortName(std::string_view name)
{
    if (startsWith(name, windowsDevicePrefix))
        name.remove_prefix(windowsDevicePrefix.size());
    if (name.empty())
        return std::nullopt;
    if (name.front() == '/')
        return std::string(name);
    if (!startsWith(name, comPrefix))
        return inDeviceDirectory(name);

    auto const rest = name.substr(comPrefix.size());
    if (rest.empty())
        return std::nullopt;
    if (rest.front() == '/')
        return std::string(rest);
    if (allDigits(rest))
        return serialPortPath(rest);
    return inDeviceDirectory(rest);
}

}  // namespace fwsend::posix
