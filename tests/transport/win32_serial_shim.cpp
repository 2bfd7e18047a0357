// The Windows serial API, forwarded to the installed mock (not on Windows,
// where the API is the system's).
#include "api_mocks.h"

namespace fwsend {

namespace {
MockWin32Serial& Api() { return MockWin32Serial::Current(); }
}  // namespace

// NOLINTBEGIN(readability-identifier-naming): the API's own names
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile) {
    return Api().CreateFile(name, access, share, security, creation, flags, templateFile);
}
BOOL SetupComm(HANDLE h, DWORD in, DWORD out) { return Api().SetupComm(h, in, out); }
BOOL SetCommState(HANDLE h, LPDCB dcb) { return Api().SetCommState(h, *dcb); }
BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) { return Api().SetCommTimeouts(h, *t); }
BOOL GetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) { return Api().GetCommTimeouts(h, t); }
BOOL PurgeComm(HANDLE h, DWORD flags) { return Api().PurgeComm(h, flags); }
BOOL EscapeCommFunction(HANDLE h, DWORD f) { return Api().EscapeCommFunction(h, f); }
BOOL ReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD got, LPOVERLAPPED o) {
    return Api().ReadFile(h, b, n, got, o);
}
BOOL WriteFile(HANDLE h, LPCVOID b, DWORD n, LPDWORD put, LPOVERLAPPED o) {
    return Api().WriteFile(h, b, n, put, o);
}
BOOL CloseHandle(HANDLE h) { return Api().CloseHandle(h); }
// NOLINTEND(readability-identifier-naming)

}  // namespace fwsend
