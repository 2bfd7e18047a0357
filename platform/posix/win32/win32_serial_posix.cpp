// The Windows serial calls that ComPort makes, over a POSIX terminal device.
// A HANDLE points to a PortObject created by CreateFileA and deleted by
// CloseHandle; each port carries its own timeouts.
#include "platform/win32_serial.h"

#include "platform/open_failure.h"
#include "platform/posix/win32/port_name.h"
#include "platform/posix/win32/win32_serial_posix.h"
#include "platform/posix/tty/tty_device.h"
#include "platform/posix/win32/win32_records.h"

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

PortObject* portFrom(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<PortObject*>(handle);
}

constexpr DWORD allPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/)
{
    // A port is always opened read-write and unshared; it can only be an
    // existing device.
    clearOpenFailure();
    if (fileName == nullptr || creationDisposition != OPEN_EXISTING)
        return INVALID_HANDLE_VALUE;
    auto const path = devicePathForPortName(fileName);
    if (!path) {
        noteOpenFailure(std::string("\"") + fileName + "\" names no serial port");
        return INVALID_HANDLE_VALUE;
    }
    auto device = TtyDevice::openExclusive(*path);
    if (!device)
        return INVALID_HANDLE_VALUE;
    return handleForOpenDevice(std::move(*device));
}

HANDLE posix::handleForOpenDevice(TtyDevice device)
{
    auto* port = new (std::nothrow) PortObject(std::move(device));
    return port != nullptr ? port : INVALID_HANDLE_VALUE;
}

BOOL SetupComm(HANDLE file, DWORD /*inQueue*/, DWORD /*outQueue*/)
{
    // The kernel sizes a terminal's queues itself; there is nothing to set.
    return portFrom(file) != nullptr ? TRUE : FALSE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    auto* port = portFrom(file);
    if (port == nullptr || dcb == nullptr)
        return FALSE;
    auto const settings = lineSettingsFromDcb(*dcb);
    if (!settings)
        return FALSE;
    return port->device.applyLineSettings(*settings) ? TRUE : FALSE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto* port = portFrom(file);
    if (port == nullptr || timeouts == nullptr)
        return FALSE;
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    auto* port = portFrom(file);
    if (port == nullptr || timeouts == nullptr)
        return FALSE;
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL PurgeComm(HANDLE file, DWORD flags)
{
    auto* port = portFrom(file);
    if (port == nullptr || (flags & ~allPurgeFlags) != 0)
        return FALSE;
    // Reads and writes are synchronous, so the abort flags find nothing
    // pending; only the clear flags have work to do.
    bool const received = (flags & PURGE_RXCLEAR) != 0;
    bool const transmitted = (flags & PURGE_TXCLEAR) != 0;
    return port->device.flush(received, transmitted) ? TRUE : FALSE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function)
{
    auto* port = portFrom(file);
    if (port == nullptr)
        return FALSE;
    bool done = false;
    switch (function) {
    case SETDTR: done = port->device.setDtr(true); break;
    case CLRDTR: done = port->device.setDtr(false); break;
    case SETRTS: done = port->device.setRts(true); break;
    case CLRRTS: done = port->device.setRts(false); break;
    case SETBREAK: done = port->device.setBreak(true); break;
    case CLRBREAK: done = port->device.setBreak(false); break;
    default: done = false; break;  // SETXON, SETXOFF, RESETDEV: no such thing here
    }
    return done ? TRUE : FALSE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped)
{
    if (bytesRead != nullptr)
        *bytesRead = 0;
    auto* port = portFrom(file);
    if (port == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToRead > 0))
        return FALSE;
    auto const received = port->device.read(static_cast<std::uint8_t*>(buffer), bytesToRead,
                                            readTimingFor(port->timeouts, bytesToRead));
    if (!received)
        return FALSE;
    if (bytesRead != nullptr)
        *bytesRead = static_cast<DWORD>(*received);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped)
{
    if (bytesWritten != nullptr)
        *bytesWritten = 0;
    auto* port = portFrom(file);
    if (port == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToWrite > 0))
        return FALSE;
    auto const written =
        port->device.writeAll(static_cast<const std::uint8_t*>(buffer), bytesToWrite,
                              writeTimeoutFor(port->timeouts, bytesToWrite));
    if (!written)
        return FALSE;
    if (bytesWritten != nullptr)
        *bytesWritten = static_cast<DWORD>(*written);
    return TRUE;
}

BOOL CloseHandle(HANDLE object)
{
    auto* port = portFrom(object);
    if (port == nullptr)
        return FALSE;
    delete port;  // the device closes its descriptor
    return TRUE;
}

}  // namespace fwsend
