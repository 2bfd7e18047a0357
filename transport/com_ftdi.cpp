#include "transport/com_ftdi.h"

#include "platform/ftd2xx.h"
#include "transport/serial_dcb.h"

namespace fwsend {

namespace {

constexpr DWORD kQueueSize = 1024;

FT_HANDLE const kClosed = reinterpret_cast<FT_HANDLE>(INVALID_HANDLE);

}  // namespace

ComFTDI::~ComFTDI() {
    if (IsOpen()) FT_W32_CloseHandle(handle_);
}

bool ComFTDI::EscapeFunction(std::int32_t function) {
    return FT_W32_EscapeCommFunction(handle_, static_cast<DWORD>(function)) == 1;
}

bool ComFTDI::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (!IsOpen()) return false;
    DWORD received = 0;
    if (!FT_W32_ReadFile(handle_, buffer, count, &received, nullptr)) return false;
    if (bytesRead) *bytesRead = received;
    return true;
}

bool ComFTDI::Write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!IsOpen()) return false;
    DWORD written = 0;
    if (!FT_W32_WriteFile(handle_, buffer, count, &written, nullptr)) return false;
    return written == count;
}

bool ComFTDI::Close() {
    if (IsOpen()) FT_W32_CloseHandle(handle_);
    handle_ = kClosed;
    return true;
}

bool ComFTDI::Purge() {
    if (!IsOpen()) return false;
    return FT_W32_PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

bool ComFTDI::SetTimeout(std::uint32_t ms) {
    // The same read timing as the COM port: the library applies these
    // fields as the Windows serial API does. Writes have no timeout.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = ms;
    timeouts.ReadTotalTimeoutMultiplier = ms;
    timeouts.ReadTotalTimeoutConstant = ms;
    return FT_W32_SetCommTimeouts(handle_, &timeouts) == 1;
}

bool ComFTDI::GetTimeout(std::uint32_t* ms) {
    COMMTIMEOUTS timeouts{};
    const BOOL ok = FT_W32_GetCommTimeouts(handle_, &timeouts);
    *ms = timeouts.ReadIntervalTimeout;
    return ok == 1;
}

bool ComFTDI::Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) {
    if (IsOpen()) return false;
    // The name is the converter's USB product description, not a path.
    handle_ = FT_W32_CreateFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FT_OPEN_BY_DESCRIPTION, nullptr);
    if (!IsOpen()) return false;

    DCB dcb = SerialDcb(baud, NOPARITY);
    if (FT_W32_SetupComm(handle_, kQueueSize, kQueueSize) && FT_W32_SetCommState(handle_, &dcb) &&
        SetTimeout(timeoutMs))
        return true;

    FT_W32_CloseHandle(handle_);
    handle_ = kClosed;
    return false;
}

bool ComFTDI::IsOpen() { return handle_ != kClosed; }

}  // namespace fwsend
