#pragma once
// Turns an open terminal device into a handle of our Windows serial calls, so
// that other Win32-style layers (the D2XX one) open their devices their own
// way and then share every other call with the COM port.

#include "platform/posix/tty/tty_device.h"
#include "platform/win32_serial.h"

namespace fwsend::posix {

// The handle owns the device until CloseHandle; INVALID_HANDLE_VALUE when no
// memory is left.
HANDLE HandleForOpenDevice(TtyDevice device);

}  // namespace fwsend::posix
