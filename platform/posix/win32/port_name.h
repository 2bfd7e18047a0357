#pragma once
// Maps the name of a COM port, as the user typed it, to a device path:
//   /dev/ttyUSB0      a path, used as it is
//   COM/dev/ttyUSB0   "COM" before a path: the path
//   COM3              "COM" and a number n >= 1: /dev/ttyS(n-1)
//   COMttyACM0        "COM" and any other text X: /dev/X
//   ttyUSB0           any other name X: /dev/X
// A leading Windows device prefix \\.\ is dropped first (\\.\COM10 = COM10).
// Empty for names that designate nothing: "", "COM", "COM0", a number too
// large for a device.

#include <optional>
#include <string>
#include <string_view>

namespace fwsend::posix {

std::optional<std::string> DevicePathForPortName(std::string_view name);

}  // namespace fwsend::posix
