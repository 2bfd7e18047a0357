// The Windows serial calls that ComPort makes, over a POSIX terminal device.
// A HANDLE points to a PortObject created by CreateFileA and deleted by
// CloseHandle; each port carries its own timeouts.
#include "platform/win32_serial.h"

#include "platform/open_failure.h"
#include "platform/posix/tty/tty_device.h"
#include "platform/posix/win32/port_name.h"
#include "platform/posix/win32/win32_records.h"
#include "platform/posix/win32/win32_serial_posix.h"

#include <new>
#include <utility>

namespace fwsend {

using namespace posix;

namespace {

struct PortObject {
    explicit PortObject(TtyDevice openDevice) : device(std::move(openDevice)) {}

    TtyDevice device;
    COMMTIMEOUTS timeouts{};  // all zero until SetCommTimeouts, as on Windows
};

PortObject* PortFrom(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<PortObject*>(handle);
}

constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    // A port is always opened read-write and unshared; it can only be an
    // existing device.
    ClearOpenFailure();
    if (fileName == nullptr || creationDisposition != OPEN_EXISTING) return INVALID_HANDLE_VALUE;
    const auto path = DevicePathForPortName(fileName);
    if (!path) {
        NoteOpenFailure(std::string("\"") + fileName + "\" names no serial port");
        return INVALID_HANDLE_VALUE;
    }
    auto device = TtyDevice::OpenExclusive(*path);
    if (!device) return INVALID_HANDLE_VALUE;
    return HandleForOpenDevice(std::move(*device));
}

HANDLE posix::HandleForOpenDevice(TtyDevice device) {
    auto* port = new (std::nothrow) PortObject(std::move(device));
    return port != nullptr ? port : INVALID_HANDLE_VALUE;
}

BOOL SetupComm(HANDLE file, DWORD /*inQueue*/, DWORD /*outQueue*/) {
    // The kernel sizes a terminal's queues itself; there is nothing to set.
    return PortFrom(file) != nullptr ? TRUE : FALSE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    auto* port = PortFrom(file);
    if (port == nullptr || dcb == nullptr) return FALSE;
    const auto settings = LineSettingsFromDcb(*dcb);
    if (!settings) return FALSE;
    return port->device.ApplyLineSettings(*settings) ? TRUE : FALSE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto* port = PortFrom(file);
    if (port == nullptr || timeouts == nullptr) return FALSE;
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto* port = PortFrom(file);
    if (port == nullptr || timeouts == nullptr) return FALSE;
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    auto* port = PortFrom(file);
    if (port == nullptr || (flags & ~kAllPurgeFlags) != 0) return FALSE;
    // Reads and writes are synchronous, so the abort flags find nothing
    // pending; only the clear flags have work to do.
    const bool received = (flags & PURGE_RXCLEAR) != 0;
    const bool transmitted = (flags & PURGE_TXCLEAR) != 0;
    return port->device.Flush(received, transmitted) ? TRUE : FALSE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
    auto* port = PortFrom(file);
    if (port == nullptr) return FALSE;
    bool done = false;
    switch (function) {
    case SETDTR: done = port->device.SetDtr(true); break;
    case CLRDTR: done = port->device.SetDtr(false); break;
    case SETRTS: done = port->device.SetRts(true); break;
    case CLRRTS: done = port->device.SetRts(false); break;
    case SETBREAK: done = port->device.SetBreak(true); break;
    case CLRBREAK: done = port->device.SetBreak(false); break;
    default: done = false; break;  // SETXON, SETXOFF, RESETDEV: no such thing here
    }
    return done ? TRUE : FALSE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    auto* port = PortFrom(file);
    if (port == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToRead > 0)) return FALSE;
    const auto received = port->device.Read(static_cast<std::uint8_t*>(buffer), bytesToRead,
                                            ReadTimingFor(port->timeouts, bytesToRead));
    if (!received) return FALSE;
    if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(*received);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    auto* port = PortFrom(file);
    if (port == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToWrite > 0)) return FALSE;
    const auto written = port->device.WriteAll(static_cast<const std::uint8_t*>(buffer), bytesToWrite,
                                               WriteTimeoutFor(port->timeouts, bytesToWrite));
    if (!written) return FALSE;
    if (bytesWritten != nullptr) *bytesWritten = static_cast<DWORD>(*written);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    auto* port = PortFrom(object);
    if (port == nullptr) return FALSE;
    delete port;  // the device closes its descriptor
    return TRUE;
}

}  // namespace fwsend
