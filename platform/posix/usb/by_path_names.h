#pragma once
// The stable names udev gives serial devices in /dev/serial/by-path: they
// name the USB socket (or bus position) a device sits in rather than the
// device, so they keep to a fixture's slot whatever board is plugged in and
// whatever tty number it gets.

#include "platform/posix/usb/usb_serial_lookup.h"

#include <map>
#include <string>

namespace fwsend::posix {

// Each tty of <dev> that a link in <dev>/serial/by-path reaches, with the
// link's path: <dev>/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0. Of
// several links to one tty (udev may add a "usbv2-" form), the shortest.
std::map<std::string, std::string> ByPathNames(const DeviceRoots& roots);

}  // namespace fwsend::posix
