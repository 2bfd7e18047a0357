#pragma once
// The Windows COMMTIMEOUTS rules, as timing for one read or write.

#include "platform/posix/tty_device.h"
#include "platform/win32_serial.h"

#include <chrono>
#include <optional>

// A read of count bytes ends when count bytes have arrived, when more than
// ReadIntervalTimeout ms pass between two bytes (0: no interval limit), or
// when ReadTotalTimeoutMultiplier * count + ReadTotalTimeoutConstant ms
// have passed (both 0: no total limit). Special cases:
//   MAXDWORD, 0, 0              return at once with what is there;
//   MAXDWORD, MAXDWORD, c       return as soon as anything arrived, waiting
//                               up to c ms (0 < c < MAXDWORD) for it.
ReadTiming readTimingFor(const COMMTIMEOUTS& timeouts, DWORD count);

// WriteTotalTimeoutMultiplier * count + WriteTotalTimeoutConstant ms; none
// when both are 0.
std::optional<std::chrono::milliseconds> writeTimeoutFor(const COMMTIMEOUTS& timeouts,
                                                         DWORD count);
