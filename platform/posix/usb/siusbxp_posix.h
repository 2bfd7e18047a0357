#pragma once
// The calls of our USBXpress layer that find and open bridges, with the
// device roots as a parameter so tests can use a fake sysfs tree.
// SI_GetNumDevices, SI_GetProductString and SI_Open use the system's roots.

#include "platform/posix/tty/line_settings.h"
#include "platform/posix/usb/usb_serial_lookup.h"
#include "platform/siusbxp.h"

#include <optional>

namespace fwsend::posix {

// Opens, exclusively and raw, the bridge that the CP2102 link takes for
// this description: the first so described (see ListCp2102Bridges), free or
// not. INVALID_HANDLE_VALUE when there is none or it cannot be opened (held
// by another program, gone); the reason is noted for DescribeOpenFailure.
HANDLE OpenCp2102ByDescription(const char* description, const DeviceRoots& roots);

// The attached CP210x interfaces, numbered as ListCp2102Bridges lists them:
// the same numbers for as long as the same devices are attached. Counting
// notes why a search that opens none of them failed.
SI_STATUS SiGetNumDevices(const DeviceRoots& roots, LPDWORD numDevices);
SI_STATUS SiGetProductString(const DeviceRoots& roots, DWORD deviceNum, char* productString, DWORD options);
// Opens bridge deviceNum by its description: a bridge that an earlier one
// of the same description hides is refused, never another opened instead.
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
