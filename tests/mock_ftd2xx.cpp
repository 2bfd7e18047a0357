#include "mock_ftd2xx.h"

#include <cstdlib>

namespace fwsend {

namespace {
MockFtd2xx* current = nullptr;

MockFtd2xx& Library() {
    if (!current) {
        ADD_FAILURE() << "D2XX function called with no mock installed";
        std::abort();
    }
    return *current;
}
}  // namespace

MockFtd2xx::MockFtd2xx() { current = this; }
MockFtd2xx::~MockFtd2xx() { current = nullptr; }

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

}  // namespace fwsend
