// The D2XX library's Win32-style functions, forwarded to the installed mock.
#include "api_mocks.h"

namespace fwsend {

namespace {
MockWin32Serial& Library() { return MockWin32Serial::Current(); }
}  // namespace

// NOLINTBEGIN(readability-identifier-naming): the API's own names
FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD creation, DWORD flags, HANDLE templateFile) {
    return Library().CreateFile(name, access, share, security, creation, flags, templateFile);
}
BOOL FT_W32_SetupComm(FT_HANDLE h, DWORD in, DWORD out) { return Library().SetupComm(h, in, out); }
BOOL FT_W32_SetCommState(FT_HANDLE h, LPDCB dcb) { return Library().SetCommState(h, *dcb); }
BOOL FT_W32_SetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) { return Library().SetCommTimeouts(h, *t); }
BOOL FT_W32_GetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) { return Library().GetCommTimeouts(h, t); }
BOOL FT_W32_PurgeComm(FT_HANDLE h, DWORD flags) { return Library().PurgeComm(h, flags); }
BOOL FT_W32_EscapeCommFunction(FT_HANDLE h, DWORD f) { return Library().EscapeCommFunction(h, f); }
BOOL FT_W32_ReadFile(FT_HANDLE h, LPVOID b, DWORD n, LPDWORD got, LPOVERLAPPED o) {
    return Library().ReadFile(h, b, n, got, o);
}
BOOL FT_W32_WriteFile(FT_HANDLE h, LPCVOID b, DWORD n, LPDWORD put, LPOVERLAPPED o) {
    return Library().WriteFile(h, b, n, put, o);
}
BOOL FT_W32_CloseHandle(FT_HANDLE h) { return Library().CloseHandle(h); }
// NOLINTEND(readability-identifier-naming)

}  // namespace fwsend
