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

namespace {

struct Ftd2xx {
    using CreateFileFn = FT_HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    using SetupCommFn = BOOL(WINAPI*)(FT_HANDLE, DWORD, DWORD);
    using SetCommStateFn = BOOL(WINAPI*)(FT_HANDLE, LPDCB);
    using CommTimeoutsFn = BOOL(WINAPI*)(FT_HANDLE, LPCOMMTIMEOUTS);
    using DwordFn = BOOL(WINAPI*)(FT_HANDLE, DWORD);
    using ReadFileFn = BOOL(WINAPI*)(FT_HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    using WriteFileFn = BOOL(WINAPI*)(FT_HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    using CloseHandleFn = BOOL(WINAPI*)(FT_HANDLE);
    using SetLatencyTimerFn = ULONG(WINAPI*)(FT_HANDLE, UCHAR);

    LateLibrary dll{"FTD2XX.dll"};
    CreateFileFn createFile = dll.Find<CreateFileFn>("FT_W32_CreateFile");
    SetupCommFn setupComm = dll.Find<SetupCommFn>("FT_W32_SetupComm");
    SetCommStateFn setCommState = dll.Find<SetCommStateFn>("FT_W32_SetCommState");
    CommTimeoutsFn setCommTimeouts = dll.Find<CommTimeoutsFn>("FT_W32_SetCommTimeouts");
    CommTimeoutsFn getCommTimeouts = dll.Find<CommTimeoutsFn>("FT_W32_GetCommTimeouts");
    DwordFn purgeComm = dll.Find<DwordFn>("FT_W32_PurgeComm");
    DwordFn escapeCommFunction = dll.Find<DwordFn>("FT_W32_EscapeCommFunction");
    ReadFileFn readFile = dll.Find<ReadFileFn>("FT_W32_ReadFile");
    WriteFileFn writeFile = dll.Find<WriteFileFn>("FT_W32_WriteFile");
    CloseHandleFn closeHandle = dll.Find<CloseHandleFn>("FT_W32_CloseHandle");
    // Not needed for a run: missing, it is not called.
    SetLatencyTimerFn setLatencyTimer = dll.Find<SetLatencyTimerFn>("FT_SetLatencyTimer");

    bool Complete() const {
        return createFile && setupComm && setCommState && setCommTimeouts && getCommTimeouts && purgeComm &&
               escapeCommFunction && readFile && writeFile && closeHandle;
    }
};

// The binding lives for the process once made: the DLL stays loaded while
// any handle from it may be open.
const Ftd2xx* Library() {
    static const Ftd2xx library;
    return library.Complete() ? &library : nullptr;
}

constexpr UCHAR kLatencyTimerMs = 1;

}  // namespace

FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD creation, DWORD flags, HANDLE templateFile) {
    const Ftd2xx* d = Library();
    if (!d) return INVALID_HANDLE_VALUE;
    const FT_HANDLE handle = d->createFile(name, access, share, security, creation, flags, templateFile);
    // Its answer does not matter: a converter left at 16 ms still works.
    if (handle != INVALID_HANDLE_VALUE && d->setLatencyTimer) d->setLatencyTimer(handle, kLatencyTimerMs);
    return handle;
}
BOOL FT_W32_SetupComm(FT_HANDLE h, DWORD in, DWORD out) {
    const Ftd2xx* d = Library();
    return d ? d->setupComm(h, in, out) : FALSE;
}
BOOL FT_W32_SetCommState(FT_HANDLE h, LPDCB dcb) {
    const Ftd2xx* d = Library();
    return d ? d->setCommState(h, dcb) : FALSE;
}
BOOL FT_W32_SetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) {
    const Ftd2xx* d = Library();
    return d ? d->setCommTimeouts(h, t) : FALSE;
}
BOOL FT_W32_GetCommTimeouts(FT_HANDLE h, LPCOMMTIMEOUTS t) {
    const Ftd2xx* d = Library();
    return d ? d->getCommTimeouts(h, t) : FALSE;
}
BOOL FT_W32_PurgeComm(FT_HANDLE h, DWORD flags) {
    const Ftd2xx* d = Library();
    return d ? d->purgeComm(h, flags) : FALSE;
}
BOOL FT_W32_EscapeCommFunction(FT_HANDLE h, DWORD function) {
    const Ftd2xx* d = Library();
    return d ? d->escapeCommFunction(h, function) : FALSE;
}
BOOL FT_W32_ReadFile(FT_HANDLE h, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    const Ftd2xx* d = Library();
    return d ? d->readFile(h, buffer, count, got, overlapped) : FALSE;
}
BOOL FT_W32_WriteFile(FT_HANDLE h, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED overlapped) {
    const Ftd2xx* d = Library();
    return d ? d->writeFile(h, buffer, count, put, overlapped) : FALSE;
}
BOOL FT_W32_CloseHandle(FT_HANDLE h) {
    const Ftd2xx* d = Library();
    return d ? d->closeHandle(h) : FALSE;
}
