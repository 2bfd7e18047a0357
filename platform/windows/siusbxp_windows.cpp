// The USBXpress calls that ComCP2102 makes, forwarded to SiUSBXp.dll. The DLL
// is loaded the first time one of them runs (the CP2102 transport's Open);
// when it or one of its functions is missing, every call answers "device not
// found", so Open fails.

#include "platform/siusbxp.h"
#include "platform/windows/late_library.h"

namespace fwsend {

namespace {

enum Export : std::size_t {
    kGetNumDevices,
    kGetProductString,
    kOpen,
    kClose,
    kSetBaudRate,
    kSetLineControl,
    kSetFlowControl,
    kSetTimeouts,
    kGetTimeouts,
    kFlushBuffers,
    kRead,
    kWrite,
    kExportCount
};

using SiUsbXp = LateLibrary<kExportCount>;

// The binding lives for the process once made: the DLL stays loaded while
// any handle from it may be open.
const SiUsbXp& Library() {
    static const SiUsbXp library("SiUSBXp.dll",
                                 {"SI_GetNumDevices", "SI_GetProductString", "SI_Open", "SI_Close",
                                  "SI_SetBaudRate", "SI_SetLineControl", "SI_SetFlowControl", "SI_SetTimeouts",
                                  "SI_GetTimeouts", "SI_FlushBuffers", "SI_Read", "SI_Write"},
                                 kExportCount);
    return library;
}

template <typename Declared, typename... Args>
SI_STATUS Call(Export index, Args... args) {
    return Forward<Declared>(Library(), index, SI_DEVICE_NOT_FOUND, args...);
}

}  // namespace

SI_STATUS SI_GetNumDevices(LPDWORD n) { return Call<decltype(SI_GetNumDevices)>(kGetNumDevices, n); }
SI_STATUS SI_GetProductString(DWORD device, char* product, DWORD options) {
    return Call<decltype(SI_GetProductString)>(kGetProductString, device, product, options);
}
SI_STATUS SI_Open(DWORD device, HANDLE* handle) { return Call<decltype(SI_Open)>(kOpen, device, handle); }
SI_STATUS SI_Close(HANDLE handle) { return Call<decltype(SI_Close)>(kClose, handle); }
SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD baud) {
    return Call<decltype(SI_SetBaudRate)>(kSetBaudRate, handle, baud);
}
SI_STATUS SI_SetLineControl(HANDLE handle, WORD lineControl) {
    return Call<decltype(SI_SetLineControl)>(kSetLineControl, handle, lineControl);
}
SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE cts, BYTE rts, BYTE dtr, BYTE dcd, BYTE dsr, BOOL xonXoff) {
    return Call<decltype(SI_SetFlowControl)>(kSetFlowControl, handle, cts, rts, dtr, dcd, dsr, xonXoff);
}
SI_STATUS SI_SetTimeouts(DWORD readMs, DWORD writeMs) {
    return Call<decltype(SI_SetTimeouts)>(kSetTimeouts, readMs, writeMs);
}
SI_STATUS SI_GetTimeouts(LPDWORD readMs, LPDWORD writeMs) {
    return Call<decltype(SI_GetTimeouts)>(kGetTimeouts, readMs, writeMs);
}
SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE transmit, BYTE receive) {
    return Call<decltype(SI_FlushBuffers)>(kFlushBuffers, handle, transmit, receive);
}
SI_STATUS SI_Read(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    return Call<decltype(SI_Read)>(kRead, handle, buffer, count, got, overlapped);
}
// The library's write takes a non-const buffer; it does not change it, and
// the call is the same either way.
SI_STATUS SI_Write(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED overlapped) {
    return Call<decltype(SI_Write)>(kWrite, handle, buffer, count, put, overlapped);
}

}  // namespace fwsend
