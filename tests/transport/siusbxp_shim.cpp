// The USBXpress library, forwarded to the installed mock.
#include "api_mocks.h"

namespace fwsend {

namespace {
MockSiUsbXp& Library() { return MockSiUsbXp::Current(); }
}  // namespace

// NOLINTBEGIN(readability-identifier-naming): the API's own names
SI_STATUS SI_GetNumDevices(LPDWORD count) { return Library().GetNumDevices(count); }
SI_STATUS SI_GetProductString(DWORD device, char* text, DWORD options) {
    return Library().GetProductString(device, text, options);
}
SI_STATUS SI_Open(DWORD device, HANDLE* handle) { return Library().Open(device, handle); }
SI_STATUS SI_Close(HANDLE h) { return Library().Close(h); }
SI_STATUS SI_SetBaudRate(HANDLE h, DWORD baud) { return Library().SetBaudRate(h, baud); }
SI_STATUS SI_SetLineControl(HANDLE h, WORD word) { return Library().SetLineControl(h, word); }
SI_STATUS SI_SetFlowControl(HANDLE h, BYTE cts, BYTE rts, BYTE dtr, BYTE dcd, BYTE dsr, BOOL xonXoff) {
    return Library().SetFlowControl(h, cts, rts, dtr, dcd, dsr, xonXoff);
}
SI_STATUS SI_SetTimeouts(DWORD read, DWORD write) { return Library().SetTimeouts(read, write); }
SI_STATUS SI_GetTimeouts(LPDWORD read, LPDWORD write) { return Library().GetTimeouts(read, write); }
SI_STATUS SI_FlushBuffers(HANDLE h, BYTE tx, BYTE rx) { return Library().FlushBuffers(h, tx, rx); }
SI_STATUS SI_Read(HANDLE h, LPVOID b, DWORD n, LPDWORD got, LPOVERLAPPED o) {
    return Library().Read(h, b, n, got, o);
}
SI_STATUS SI_Write(HANDLE h, LPCVOID b, DWORD n, LPDWORD put, LPOVERLAPPED o) {
    return Library().Write(h, b, n, put, o);
}
// NOLINTEND(readability-identifier-naming)

}  // namespace fwsend
