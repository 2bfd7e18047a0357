#pragma once
// The read timeouts the serial layer's tests hand SetCommTimeouts; the
// device-control block they open with is the transports' own (SerialDcb).

#include "platform/win32_serial.h"

namespace fwsend {

inline COMMTIMEOUTS ReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = interval;
    timeouts.ReadTotalTimeoutMultiplier = multiplier;
    timeouts.ReadTotalTimeoutConstant = constant;
    return timeouts;
}

}  // namespace fwsend
