// The Win32-style D2XX calls that ComFTDI makes, over the kernel's FTDI
// serial driver: a converter is a terminal device found by its description
// in sysfs. An FT_HANDLE points to an FtdiPort created by FT_W32_CreateFile
// and deleted by FT_W32_CloseHandle; each port carries its own timeouts.
#ifndef _WIN32

#include "platform/posix/ftd2xx_posix.h"

#include "platform/posix/ftdi_devices.h"
#include "platform/posix/tty_device.h"
#include "platform/posix/win32_dcb.h"
#include "platform/posix/win32_timeouts.h"

#include <new>
#include <utility>

namespace {

struct FtdiPort {
    explicit FtdiPort(TtyDevice openDevice) : device(std::move(openDevice)) {}

    TtyDevice device;
    COMMTIMEOUTS timeouts{};  // all zero until FT_W32_SetCommTimeouts
};

FtdiPort* portFrom(FT_HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<FtdiPort*>(handle);
}

constexpr DWORD allPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

} // namespace

FT_HANDLE openFtdiByDescription(const char* description, const DeviceRoots& roots)
{
    if (description == nullptr)
        return INVALID_HANDLE_VALUE;
    for (auto const& candidate : listFtdiDevices(roots)) {
        if (candidate.description != description)
            continue;  // exact and case-sensitive, as the vendor library matches
        auto device = TtyDevice::openExclusive(candidate.devicePath);
        if (!device)
            continue;  // held by another program: another converter of that name may be free
        // The converter holds received bytes for its latency timer (16 ms
        // by default), which would delay every verdict; best effort.
        device->requestLowLatency();
        auto* port = new (std::nothrow) FtdiPort(std::move(*device));
        return port != nullptr ? port : INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                            LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                            DWORD flagsAndAttributes, HANDLE /*templateFile*/)
{
    // Only opening by description is offered: serial numbers and locations
    // are not how this tool names a converter.
    if (creationDisposition != OPEN_EXISTING || (flagsAndAttributes & FT_OPEN_BY_DESCRIPTION) == 0)
        return INVALID_HANDLE_VALUE;
    return openFtdiByDescription(name, DeviceRoots{});
}

BOOL FT_W32_SetupComm(FT_HANDLE handle, DWORD /*inQueue*/, DWORD /*outQueue*/)
{
    // The kernel driver sizes its queues itself.
    return portFrom(handle) != nullptr ? TRUE : FALSE;
}

BOOL FT_W32_SetCommState(FT_HANDLE handle, LPDCB dcb)
{
    auto* port = portFrom(handle);
    if (port == nullptr || dcb == nullptr)
        return FALSE;
    auto const settings = lineSettingsFromDcb(*dcb);
    if (!settings)
        return FALSE;
    return port->device.applyLineSettings(*settings) ? TRUE : FALSE;
}

BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    auto* port = portFrom(handle);
    if (port == nullptr || timeouts == nullptr)
        return FALSE;
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL FT_W32_GetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    auto* port = portFrom(handle);
    if (port == nullptr || timeouts == nullptr)
        return FALSE;
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD flags)
{
    auto* port = portFrom(handle);
    if (port == nullptr || (flags & ~allPurgeFlags) != 0)
        return FALSE;
    // Reads and writes are synchronous: the abort flags find nothing pending.
    bool const received = (flags & PURGE_RXCLEAR) != 0;
    bool const transmitted = (flags & PURGE_TXCLEAR) != 0;
    return port->device.flush(received, transmitted) ? TRUE : FALSE;
}

BOOL FT_W32_EscapeCommFunction(FT_HANDLE handle, DWORD function)
{
    auto* port = portFrom(handle);
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
    default: done = false; break;  // SETXON, SETXOFF, RESETDEV: nothing of the kind here
    }
    return done ? TRUE : FALSE;
}

BOOL FT_W32_ReadFile(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped)
{
    if (bytesRead != nullptr)
        *bytesRead = 0;
    auto* port = portFrom(handle);
    if (port == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToRead > 0))
        return FALSE;
    auto const received = port->device.read(static_cast<std::uint8_t*>(buffer), bytesToRead,
                                            readTimingFor(port->timeouts, bytesToRead));
    if (!received)
        return FALSE;  // an error, or the converter was unplugged
    if (bytesRead != nullptr)
        *bytesRead = static_cast<DWORD>(*received);
    return TRUE;
}

BOOL FT_W32_WriteFile(FT_HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped)
{
    if (bytesWritten != nullptr)
        *bytesWritten = 0;
    auto* port = portFrom(handle);
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

BOOL FT_W32_CloseHandle(FT_HANDLE handle)
{
    auto* port = portFrom(handle);
    if (port == nullptr)
        return FALSE;
    delete port;  // the device closes its descriptor
    return TRUE;
}

#endif
