#pragma once
// Reads a Windows device-control block as terminal line settings.

#include "platform/posix/line_settings.h"
#include "platform/win32_serial.h"

#include <optional>

// Empty for a record the terminal layer cannot honour: wrong DCBlength, baud
// 0, ByteSize outside 5..8, 1.5 or unknown stop bits, unknown parity,
// handshake or toggle modes of DTR/RTS, CTS/DSR/XON-XOFF flow control, or
// the discarding of null bytes.
std::optional<LineSettings> lineSettingsFromDcb(const DCB& dcb);
