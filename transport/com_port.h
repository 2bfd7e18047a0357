#pragma once
// A serial port of the operating system, driven through the Windows serial
// API (our own POSIX layer provides it elsewhere). Line: 8 data bits, even
// parity, one stop bit, no flow control, DTR and RTS off.

#include "transport/com.h"

namespace fwsend {

class ComPort final : public Com {
public:
    ComPort() = default;
    ~ComPort() override;
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

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
    // The port's file handle; -1 while closed.
    void* handle_ = reinterpret_cast<void*>(INVALID_HANDLE);
};

}  // namespace fwsend
