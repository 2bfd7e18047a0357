#pragma once
// The Windows serial records read as what the terminal core takes: a
// device-control block as line settings, and COMMTIMEOUTS as the timing of
// one read or write.

#include <chrono>
#include <optional>

#include "platform/posix/tty/line_settings.h"
#include "platform/posix/tty/tty_device.h"
#include "platform/win32_serial.h"

namespace fwsend::posix {

// Empty for a record the terminal layer cannot honour: wrong DCBlength, baud
// 0, ByteSize outside 5..8, 1.5 or unknown stop bits, unknown parity,
// handshake or toggle modes of DTR/RTS, CTS/DSR/XON-XOFF flow control, or
// the discarding of null bytes.
std::optional<LineSettings> LineSettingsFromDcb(const DCB& dcb);

// A read of count bytes ends when count bytes have arrived, when more than
// ReadIntervalTimeout ms pass between two bytes (0: no interval limit), or
// when ReadTotalTimeoutMultiplier * count + ReadTotalTimeoutConstant ms
// have passed (both 0: no total limit). Special cases:
//   MAXDWORD, 0, 0              return at once with what is there;
//   MAXDWORD, MAXDWORD, c       return as soon as anything arrived, waiting
//                               up to c ms (0 < c < MAXDWORD) for it.
ReadTiming ReadTimingFor(const COMMTIMEOUTS& timeouts, DWORD count);

// WriteTotalTimeoutMultiplier * count + WriteTotalTimeoutConstant ms; none
// when both are 0.
std::optional<std::chrono::milliseconds> WriteTimeoutFor(const COMMTIMEOUTS& timeouts, DWORD count);

}  // namespace fwsend::posix
