// The Win32-style D2XX calls that ComFTDI makes, over the kernel's FTDI
// serial driver: a converter is a terminal device found by its description
// in sysfs. Once open it is driven exactly like a COM port, so every call
// but the open one is our Windows serial call of the same name.
#include "platform/posix/usb/ftd2xx_posix.h"

#include "platform/open_failure.h"
#include "platform/posix/usb/described_open.h"
#include "platform/posix/win32/win32_serial_posix.h"

#include <string>
#include <utility>

namespace fwsend {

using namespace posix;

namespace {

// The slowest rate an FTDI chip can run: 3 MHz over its largest divisor,
// 16383.875. The kernel driver takes a slower one and programs a divisor
// that wraps around, so the line would run at some other speed.
constexpr DWORD kSlowestFtdiBaud = 183;

}  // namespace

FT_HANDLE posix::OpenFtdiByDescription(const char* description, const DeviceRoots& roots) {
    ClearOpenFailure();
    if (description == nullptr) return INVALID_HANDLE_VALUE;
    const auto listing = ListFtdiDevices(roots);
    if (!listing.Complete()) {
        NoteOpenFailure(UnreadableTreeReason(listing.failure));
        return INVALID_HANDLE_VALUE;
    }
    const auto& devices = listing.found;
    // One held by another program is passed over: another converter of
    // that name may be free.
    auto opened = OpenByDescription(devices, description, kFtdiSameDescription);
    if (!opened.described)
        NoteOpenFailure(std::string("no FTDI converter is described as \"") + description + "\"; " +
                        FoundDescriptions(devices));
    if (!opened.device) return INVALID_HANDLE_VALUE;
    // The converter holds received bytes for its latency timer (16 ms by
    // default), which would delay every verdict; best effort.
    opened.device->RequestLowLatency();
    return HandleForOpenDevice(std::move(*opened.device));
}

FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                            LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                            DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    // Only opening by description is offered: serial numbers and locations
    // are not how this tool names a converter.
    if (creationDisposition != OPEN_EXISTING || (flagsAndAttributes & FT_OPEN_BY_DESCRIPTION) == 0)
        return INVALID_HANDLE_VALUE;
    return OpenFtdiByDescription(name, DeviceRoots{});
}

BOOL FT_W32_SetupComm(FT_HANDLE handle, DWORD inQueue, DWORD outQueue) {
    return SetupComm(handle, inQueue, outQueue);
}

BOOL FT_W32_SetCommState(FT_HANDLE handle, LPDCB dcb) {
    if (dcb != nullptr && dcb->BaudRate < kSlowestFtdiBaud) {
        NoteOpenFailure("an FTDI converter cannot run below " + std::to_string(kSlowestFtdiBaud) + " baud");
        return FALSE;
    }
    return SetCommState(handle, dcb);
}

BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    return SetCommTimeouts(handle, timeouts);
}

BOOL FT_W32_GetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    return GetCommTimeouts(handle, timeouts);
}

BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD flags) { return PurgeComm(handle, flags); }

BOOL FT_W32_EscapeCommFunction(FT_HANDLE handle, DWORD function) {
    return EscapeCommFunction(handle, function);
}

BOOL FT_W32_ReadFile(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped) {
    return ReadFile(handle, buffer, bytesToRead, bytesRead, overlapped);
}

BOOL FT_W32_WriteFile(FT_HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
    return WriteFile(handle, buffer, bytesToWrite, bytesWritten, overlapped);
}

BOOL FT_W32_CloseHandle(FT_HANDLE handle) { return CloseHandle(handle); }

}  // namespace fwsend
