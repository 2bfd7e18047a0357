#pragma once
// Reads the USBXpress line-control word and flow-control masks as terminal
// line settings. Empty for what a terminal cannot do.

#include "platform/posix/line_settings.h"
#include "platform/siusbxp.h"

#include <optional>

// Data bits 5..8 in bits 8-15, parity (0 none, 1 odd, 2 even, 3 mark,
// 4 space) in bits 4-7, stop bits (0 one, 2 two; a terminal has no 1.5) in
// bits 0-3. The rest of current is kept.
std::optional<LineSettings> withLineControl(LineSettings current, WORD lineControl);

// CTS, DCD and DSR must be plain status inputs, RTS and DTR held inactive
// or active, and XON/XOFF off: this layer does no handshaking.
std::optional<LineSettings> withFlowControl(LineSettings current, BYTE ctsMask, BYTE rtsMask,
                                            BYTE dtrMask, BYTE dcdMask, BYTE dsrMask, BOOL xonXoff);
