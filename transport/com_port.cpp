#include "transport/com_port.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/win32_serial.h"
#include "transport/serial_dcb.h"

namespace fwsend {

namespace {

constexpr DWORD kQueueSize = 1024;

// Windows opens COM10 and above only through the device namespace, so COMn
// with n >= 10 goes to CreateFileA as \\.\COMn; every other name goes as
// typed. The POSIX layer takes both forms.
std::string DeviceName(const char* name) {
    const std::string typed = name;
    if (typed.size() < 5 || typed.compare(0, 3, "COM") != 0) return typed;
    for (std::size_t i = 3; i < typed.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(typed[i]))) return typed;
    return std::strtoul(typed.c_str() + 3, nullptr, 10) >= 10 ? "\\\\.\\" + typed : typed;
}

}  // namespace

ComPort::~ComPort() {
    if (IsOpen()) CloseHandle(handle_);
}

bool ComPort::EscapeFunction(std::int32_t function) {
    return EscapeCommFunction(handle_, static_cast<DWORD>(function)) == 1;
}

bool ComPort::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (!IsOpen()) return false;
    DWORD received = 0;
    if (!ReadFile(handle_, buffer, count, &received, nullptr)) return false;
    if (bytesRead) *bytesRead = received;
    return true;
}

bool ComPort::Write(const std::uint8_t* buffer, std::uint32_t count) {
    if (!IsOpen()) return false;
    DWORD written = 0;
    if (!WriteFile(handle_, buffer, count, &written, nullptr)) return false;
    return written == count;
}

bool ComPort::Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return true;
}

bool ComPort::Purge() {
    if (!IsOpen()) return false;
    return PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

bool ComPort::SetTimeout(std::uint32_t ms) {
    // A read returns when its bytes are in, after ms between two bytes, or
    // after ms per byte plus ms in all. Writes have no timeout.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = ms;
    timeouts.ReadTotalTimeoutMultiplier = ms;
    timeouts.ReadTotalTimeoutConstant = ms;
    return SetCommTimeouts(handle_, &timeouts) == 1;
}

bool ComPort::GetTimeout(std::uint32_t* ms) {
    COMMTIMEOUTS timeouts{};
    const BOOL ok = GetCommTimeouts(handle_, &timeouts);
    *ms = timeouts.ReadIntervalTimeout;
    return ok == 1;
}

bool ComPort::Open(const char* name, std::int32_t baud, std::uint32_t timeoutMs) {
    if (IsOpen()) return false;
    handle_ = CreateFileA(DeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsOpen()) return false;

    DCB dcb = SerialDcb(baud, EVENPARITY);
    if (SetupComm(handle_, kQueueSize, kQueueSize) && SetCommState(handle_, &dcb) && SetTimeout(timeoutMs))
        return true;

    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return false;
}

bool ComPort::IsOpen() { return handle_ != INVALID_HANDLE_VALUE; }

}  // namespace fwsend
