#pragma once
// The open step of our D2XX layer with the device roots as a parameter, so
// tests can open a converter of a fake sysfs tree. FT_W32_CreateFile uses
// the system's roots.

#include "platform/ftd2xx.h"
#include "platform/posix/usb/usb_serial_lookup.h"

namespace fwsend::posix {

// Opens, exclusively, the first attached FTDI interface with exactly this
// description that no one else holds, and asks its driver for low latency.
// INVALID_HANDLE_VALUE when there is none.
FT_HANDLE OpenFtdiByDescription(const char* description, const DeviceRoots& roots);

}  // namespace fwsend::posix
