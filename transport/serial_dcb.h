#pragma once
// The device-control block that the COM port and the FTDI converter are
// opened with: binary mode at the given rate, 8 data bits, one stop bit, no
// parity checking, no flow control of any kind, DTR and RTS held off. They
// differ only in the parity sent on the wire.

#include <cstdint>

#include "platform/win32_serial.h"

namespace fwsend {

inline DCB SerialDcb(std::int32_t baud, BYTE parity) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

}  // namespace fwsend
