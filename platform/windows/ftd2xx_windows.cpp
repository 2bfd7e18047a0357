// The D2XX calls that ComFTDI makes, forwarded to FTD2XX.dll. The DLL is
// loaded the first time one of them runs (the FTDI transport's Open); when it
// or one of its functions is missing, every call fails, so Open fails.
//
// A converter holds what it receives for its latency timer (16 ms unless set)
// before it passes it on, which would make every verdict late. Each converter
// opened here is set to 1 ms through FT_SetLatencyTimer, given the handle of
// the W32 open (the library has one kind of handle for both sets of calls);
// where the library lacks it or refuses, the open goes on at the converter's
// own setting.

#include "platform/ftd2xx.h"
#include "platform/windows/late_library.h"

namespace fwsend {

namespace {

enum Export : std::size_t {
    kCreateFile,
    kSetupComm,
    kSetCommState,
    kSetCommTimeouts,
    kGetCommTimeouts,
    kPurgeComm,
    kEscapeCommFunction,
    kReadFile,
    kWriteFile,
    kCloseHandle,
    kRequiredCount,
    // Not needed for a run: missing, it is not called.
    kSetLatencyTimer = kRequiredCount,
    kExportCount
};

using Ftd2xx = LateLibrary<kExportCount>;

// The binding lives for the process once made: the DLL stays loaded while
// any handle from it may be open.
const Ftd2xx& Library() {
    static const Ftd2xx library("FTD2XX.dll",
                                {"FT_W32_CreateFile", "FT_W32_SetupComm", "FT_W32_SetCommState",
                                 "FT_W32_SetCommTimeouts", "FT_W32_GetCommTimeouts", "FT_W32_PurgeComm",
                                 "FT_W32_EscapeCommFunction", "FT_W32_ReadFile", "FT_W32_WriteFile",
                                 "FT_W32_CloseHandle", "FT_SetLatencyTimer"},
                                kRequiredCount);
    return library;
}

template <typename Declared, typename... Args>
BOOL Call(Export index, Args... args) {
    return Forward<Declared>(Library(), index, BOOL{FALSE}, args...);
}

using SetLatencyTimer = ULONG(FT_HANDLE, UCHAR);
constexpr UCHAR kLatencyTimerMs = 1;

}  // namespace

FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD creation, DWORD flags, HANDLE templateFile) {
    const Ftd2xx& dll = Library();
    const FT_HANDLE handle = Forward<decltype(FT_W32_CreateFile)>(
        dll, kCreateFile, INVALID_HANDLE_VALUE, name, access, share, security, creation, flags, templateFile);
    // Its answer does not matter: a converter left at 16 ms still works.
    const auto setLatencyTimer = dll.Export<SetLatencyTimer>(kSetLatencyTimer);
    if (handle != INVALID_HANDLE_VALUE && setLatencyTimer) setLatencyTimer(handle, kLatencyTimerMs);
    return handle;
}
BOOL FT_W32_SetupComm(FT_HANDLE h, DWORD in, DWORD out) {
    return Call<decltype(FT_W32_SetupComm)>(kSetupComm, h, in, out);
}
BOOL FT_W32_SetCommState(FT_HANDLE h, LPDCB dcb) { return Call<decltype(FT_W32_SetCommState)>(kSetCommState, h, dcb); }
BOOL FT_W32_SetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) {
    return Call<decltype(FT_W32_SetCommTimeouts)>(kSetCommTimeouts, h, t);
}
BOOL FT_W32_GetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) {
    return Call<decltype(FT_W32_GetCommTimeouts)>(kGetCommTimeouts, h, t);
}
BOOL FT_W32_PurgeComm(FT_HANDLE h, DWORD flags) { return Call<decltype(FT_W32_PurgeComm)>(kPurgeComm, h, flags); }
BOOL FT_W32_EscapeCommFunction(FT_HANDLE h, DWORD function) {
    return Call<decltype(FT_W32_EscapeCommFunction)>(kEscapeCommFunction, h, function);
}
BOOL FT_W32_ReadFile(FT_HANDLE h, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    return Call<decltype(FT_W32_ReadFile)>(kReadFile, h, buffer, count, got, overlapped);
}
BOOL FT_W32_WriteFile(FT_HANDLE h, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED overlapped) {
    return Call<decltype(FT_W32_WriteFile)>(kWriteFile, h, buffer, count, put, overlapped);
}
BOOL FT_W32_CloseHandle(FT_HANDLE h) { return Call<decltype(FT_W32_CloseHandle)>(kCloseHandle, h); }

}  // namespace fwsend
