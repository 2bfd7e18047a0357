// A stand-in SiUSBXp.dll for the loader tests and the uploads under wine: two
// bridges, "Loopback A" and "Loopback B", each of which hands back what was
// written to it. Its exports have the WINAPI calling convention, as the real
// library's; a read that gets fewer bytes than asked answers "timed out", as
// the library does.
//
// It records the rate and line control each bridge was given; the tests read
// them through an export of its own.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <deque>

#define LOOPBACK_EXPORT extern "C" __declspec(dllexport)

namespace {

using SiStatus = int;
const SiStatus kSuccess = 0;
const SiStatus kInvalidHandle = 1;
const SiStatus kReadTimedOut = 13;
const SiStatus kDeviceNotFound = 0xFF;

const DWORD kDevices = 2;
const DWORD kReturnDescription = 1;
const INT_PTR kFirstHandle = 0x5100;

struct Bridge {
    bool open = false;
    DWORD baud = 0;
    WORD lineControl = 0;
    std::deque<BYTE> pending;
};

// The DLL's own devices and its one pair of timeouts, as the vendor library
// keeps them.
struct Library {
    Bridge bridges[kDevices];
    DWORD readTimeoutMs = 0;
    DWORD writeTimeoutMs = 0;
};

Library& Devices() {
    static Library library;
    return library;
}

// The open bridge behind a handle, or null.
Bridge* Find(HANDLE handle) {
    const INT_PTR index = reinterpret_cast<INT_PTR>(handle) - kFirstHandle;
    if (index < 0 || index >= static_cast<INT_PTR>(kDevices)) return nullptr;
    Bridge& bridge = Devices().bridges[index];
    return bridge.open ? &bridge : nullptr;
}

}  // namespace

// NOLINTBEGIN(readability-identifier-naming): the vendor library's own names

LOOPBACK_EXPORT SiStatus WINAPI SI_GetNumDevices(LPDWORD count) {
    *count = kDevices;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_GetProductString(DWORD device, LPVOID text, DWORD options) {
    if (device >= kDevices || options != kReturnDescription) return kDeviceNotFound;
    std::snprintf(static_cast<char*>(text), 256, "Loopback %c", static_cast<char>('A' + device));
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_Open(DWORD device, HANDLE* handle) {
    if (device >= kDevices || Devices().bridges[device].open) return kDeviceNotFound;
    Devices().bridges[device] = Bridge{};
    Devices().bridges[device].open = true;
    *handle = reinterpret_cast<HANDLE>(kFirstHandle + static_cast<INT_PTR>(device));
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_Close(HANDLE handle) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    bridge->open = false;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_SetBaudRate(HANDLE handle, DWORD baud) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    bridge->baud = baud;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_SetLineControl(HANDLE handle, WORD lineControl) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    bridge->lineControl = lineControl;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_SetFlowControl(HANDLE handle, BYTE, BYTE, BYTE, BYTE, BYTE, BOOL) {
    return Find(handle) ? kSuccess : kInvalidHandle;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs) {
    Devices().readTimeoutMs = readTimeoutMs;
    Devices().writeTimeoutMs = writeTimeoutMs;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_GetTimeouts(LPDWORD readTimeoutMs, LPDWORD writeTimeoutMs) {
    *readTimeoutMs = Devices().readTimeoutMs;
    *writeTimeoutMs = Devices().writeTimeoutMs;
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_FlushBuffers(HANDLE handle, BYTE flushTransmit, BYTE flushReceive) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    if (flushTransmit || flushReceive) bridge->pending.clear();
    return kSuccess;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_Read(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD got,
                                        LPOVERLAPPED) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    DWORD n = 0;
    for (; n < count && !bridge->pending.empty(); ++n) {
        static_cast<BYTE*>(buffer)[n] = bridge->pending.front();
        bridge->pending.pop_front();
    }
    *got = n;
    return n == count ? kSuccess : kReadTimedOut;
}
LOOPBACK_EXPORT SiStatus WINAPI SI_Write(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD written,
                                         LPOVERLAPPED) {
    Bridge* bridge = Find(handle);
    if (!bridge) return kInvalidHandle;
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    bridge->pending.insert(bridge->pending.end(), bytes, bytes + count);
    *written = count;
    return kSuccess;
}

// The tests' window on a bridge: the rate and line control it was last given.
LOOPBACK_EXPORT void LoopbackLineRecord(DWORD device, DWORD* baud, WORD* lineControl) {
    *baud = Devices().bridges[device].baud;
    *lineControl = Devices().bridges[device].lineControl;
}

// NOLINTEND(readability-identifier-naming)
