#pragma once
// The calls of our USBXpress layer that find devices, with the device roots
// as a parameter so tests can use a fake sysfs tree. SI_GetNumDevices,
// SI_GetProductString and SI_Open use the system's roots.

#include "platform/posix/tty/line_settings.h"
#include "platform/posix/usb/usb_serial_lookup.h"
#include "platform/siusbxp.h"

#include <optional>

namespace fwsend::posix {

// The attached CP210x interfaces, numbered in the natural order of their
// tty names: the same numbers for as long as the same devices are attached.
SI_STATUS SiGetNumDevices(const DeviceRoots& roots, LPDWORD numDevices);
SI_STATUS SiGetProductString(const DeviceRoots& roots, DWORD deviceNum, char* productString, DWORD options);
// Opens the device exclusively: one that another process holds is not found.
SI_STATUS SiOpen(const DeviceRoots& roots, DWORD deviceNum, HANDLE* handle);

// Reads the USBXpress line-control word and flow-control masks as terminal
// line settings. Empty for what a terminal cannot do.

// Data bits 5..8 in bits 8-15, parity (0 none, 1 odd, 2 even, 3 mark,
// 4 space) in bits 4-7, stop bits (0 one, 2 two; a terminal has no 1.5) in
// bits 0-3. The rest of current is kept.
std::optional<LineSettings> WithLineControl(LineSettings current, WORD lineControl);

// CTS, DCD and DSR must be plain status inputs, RTS and DTR held inactive
// or active, and XON/XOFF off: this layer does no handshaking.
std::optional<LineSettings> WithFlowControl(LineSettings current, BYTE ctsMask, BYTE rtsMask, BYTE dtrMask,
                                            BYTE dcdMask, BYTE dsrMask, BOOL xonXoff);

}  // namespace fwsend::posix
