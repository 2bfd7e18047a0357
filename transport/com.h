#pragma once
// The byte link to the target: opened by name at a baud rate, read and
// written with a timeout. The upload talks to the target only through this.

#include <cstdint>

namespace fwsend {

// A transport's device handle when nothing is open.
constexpr std::intptr_t INVALID_HANDLE = -1;

// The kind of link chosen with -T: 0 COM port, 1 FTDI, 2 CP2102.
using TransportType = std::int32_t;

class Com {
public:
    virtual ~Com() = default;

    // Extended modem-line function; codes as the Windows EscapeCommFunction.
    virtual bool EscapeFunction(std::int32_t function) = 0;
    // Up to count bytes, waiting no longer than the timeout allows; a timeout
    // is success with a smaller count. bytesRead may be null.
    virtual bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;
    // True only when the medium took all count bytes.
    virtual bool Write(const std::uint8_t* buffer, std::uint32_t count) = 0;
    virtual bool Close() = 0;
    virtual bool Purge() = 0;
    virtual bool SetTimeout(std::uint32_t ms) = 0;
    virtual bool GetTimeout(std::uint32_t* ms) = 0;
    virtual bool Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) = 0;
    virtual bool IsOpen() = 0;
};

}  // namespace fwsend
