#pragma once
// A CP2102 USB-to-UART bridge, found among the attached devices by its USB
// product description and opened by its number through the USBXpress
// library (our own layer on Linux). Line: 8 data bits, no parity, one stop
// bit, no handshaking, DTR and RTS held inactive.

#include "transport/com.h"

namespace fwsend {

class ComCP2102 final : public Com {
public:
    // The line settings, as the DCB fields of the same names; only these six
    // are passed to the library.
    struct LineSettings {
        std::uint32_t BaudRate = 0;
        std::uint8_t ByteSize = 8;
        std::uint8_t Parity = 0;    // none
        std::uint8_t StopBits = 0;  // one
        unsigned fDtrControl : 2;
        unsigned fRtsControl : 2;
        LineSettings() : fDtrControl(0), fRtsControl(0) {}  // both disabled: held inactive
    };

    ComCP2102() = default;
    ~ComCP2102() override;
    ComCP2102(const ComCP2102&) = delete;
    ComCP2102& operator=(const ComCP2102&) = delete;

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
    // Finds the first device whose description is name and opens it.
    void OpenByDescription(const char* name);
    bool Configure(std::int32_t baud, std::uint32_t timeoutMs);

    // The library's device handle; -1 while closed.
    void* handle_ = reinterpret_cast<void*>(INVALID_HANDLE);
    LineSettings line_;
};

}  // namespace fwsend
