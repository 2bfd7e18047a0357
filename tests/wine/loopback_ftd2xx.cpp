// A stand-in FTD2XX.dll for the loader tests under wine: one converter whose
// description is "Loopback", which hands back what was written to it. Built
// once complete and once without FT_W32_PurgeComm. Its exports have the
// WINAPI calling convention, as the real library's.
//
// It records the latency timer it was given; the tests read that record and
// can make the converter refuse the setting through two exports of its own.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstring>
#include <deque>

#define LOOPBACK_EXPORT extern "C" __declspec(dllexport)

namespace {

struct Loopback {
    bool open = false;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    std::deque<BYTE> pending;
};

// How often FT_SetLatencyTimer was called, with any handle, and the last
// value it was given for the open converter.
struct LatencyRecord {
    int calls = 0;
    int lastMs = -1;
    bool refuse = false;
};

LatencyRecord& Latency() {
    static LatencyRecord record;
    return record;
}

// The DLL's own device, as a vendor library keeps its devices.
Loopback& Device() {
    static Loopback device;
    return device;
}

// Statuses of the library's classic calls.
const ULONG kOk = 0;
const ULONG kInvalidHandle = 1;
const ULONG kIoError = 4;

HANDLE const kHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5a5a));

bool Valid(HANDLE handle) { return handle == kHandle && Device().open; }

}  // namespace

// NOLINTBEGIN(readability-identifier-naming): the vendor library's own names

LOOPBACK_EXPORT HANDLE WINAPI FT_W32_CreateFile(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                                DWORD flags, HANDLE) {
    const DWORD openByDescription = 0x2;
    if (!(flags & openByDescription) || std::strcmp(name, "Loopback") != 0 || Device().open)
        return INVALID_HANDLE_VALUE;
    Device() = Loopback{};
    Device().open = true;
    return kHandle;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_SetupComm(HANDLE handle, DWORD in, DWORD out) {
    return Valid(handle) && in == 1024 && out == 1024;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_SetCommState(HANDLE handle, LPDCB dcb) {
    if (!Valid(handle)) return FALSE;
    Device().dcb = *dcb;
    return TRUE;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    if (!Valid(handle)) return FALSE;
    Device().timeouts = *timeouts;
    return TRUE;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    if (!Valid(handle)) return FALSE;
    *timeouts = Device().timeouts;
    return TRUE;
}
#ifndef LOOPBACK_WITHOUT_PURGE
LOOPBACK_EXPORT BOOL WINAPI FT_W32_PurgeComm(HANDLE handle, DWORD) {
    if (!Valid(handle)) return FALSE;
    Device().pending.clear();
    return TRUE;
}
#endif
LOOPBACK_EXPORT BOOL WINAPI FT_W32_EscapeCommFunction(HANDLE handle, DWORD) { return Valid(handle); }
LOOPBACK_EXPORT BOOL WINAPI FT_W32_ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got,
                                            LPOVERLAPPED) {
    if (!Valid(handle)) return FALSE;
    auto& pending = Device().pending;
    DWORD n = 0;
    for (; n < count && !pending.empty(); ++n) {
        static_cast<BYTE*>(buffer)[n] = pending.front();
        pending.pop_front();
    }
    *got = n;
    return TRUE;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written,
                                             LPOVERLAPPED) {
    if (!Valid(handle)) return FALSE;
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    Device().pending.insert(Device().pending.end(), bytes, bytes + count);
    *written = count;
    return TRUE;
}
LOOPBACK_EXPORT BOOL WINAPI FT_W32_CloseHandle(HANDLE handle) {
    if (!Valid(handle)) return FALSE;
    Device().open = false;
    return TRUE;
}

LOOPBACK_EXPORT ULONG WINAPI FT_SetLatencyTimer(HANDLE handle, UCHAR ms) {
    ++Latency().calls;
    if (!Valid(handle)) return kInvalidHandle;
    Latency().lastMs = ms;
    return Latency().refuse ? kIoError : kOk;
}

// The tests' window on the record: the calls so far, and the last value
// (-1 before any).
LOOPBACK_EXPORT void LoopbackLatencyRecord(int* calls, int* lastMs) {
    *calls = Latency().calls;
    *lastMs = Latency().lastMs;
}
LOOPBACK_EXPORT void LoopbackRefuseLatencyTimer(BOOL refuse) { Latency().refuse = refuse != FALSE; }

// NOLINTEND(readability-identifier-naming)
