#pragma once
// An FTDI USB serial converter, opened by its USB product description
// through the Win32-style functions of the D2XX library (our own layer on
// Linux). Line: 8 data bits, no parity, one stop bit, no flow control, DTR
// and RTS off.

#include "transport/com.h"

namespace fwsend {

class ComFTDI final : public Com {
public:
    ComFTDI() = default;
    ~ComFTDI() override;
    ComFTDI(const ComFTDI&) = delete;
    ComFTDI& operator=(const ComFTDI&) = delete;

    bool EscapeFunction(std::int32_t function) override;
    bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    bool Write(const std::uint8_t* buffer, std::uint32_t count) override;
    bool Close() override;
    bool Purge() override;
    bool SetTimeout(std::uint32_t ms) override;
    bool GetTimeout(std::uint32_t* ms) override;
    bool Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) override;
    bool IsOpen() override;

private:
    // The library's device handle (an FT_HANDLE); -1 while closed.
    void* handle_ = reinterpret_cast<void*>(INVALID_HANDLE);
};

}  // namespace fwsend
