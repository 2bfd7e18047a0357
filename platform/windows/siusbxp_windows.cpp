// The USBXpress calls that ComCP2102 makes, forwarded to SiUSBXp.dll. The DLL
// is loaded the first time one of them runs (the CP2102 transport's Open);
// when it or one of its functions is missing, every call answers "device not
// found", so Open fails.

#include "platform/siusbxp.h"
#include "platform/windows/late_library.h"

namespace {

struct SiUsbXp {
    using GetNumDevicesFn = SI_STATUS(WINAPI*)(LPDWORD);
    using GetProductStringFn = SI_STATUS(WINAPI*)(DWORD, LPVOID, DWORD);
    using OpenFn = SI_STATUS(WINAPI*)(DWORD, HANDLE*);
    using CloseFn = SI_STATUS(WINAPI*)(HANDLE);
    using SetBaudRateFn = SI_STATUS(WINAPI*)(HANDLE, DWORD);
    using SetLineControlFn = SI_STATUS(WINAPI*)(HANDLE, WORD);
    using SetFlowControlFn = SI_STATUS(WINAPI*)(HANDLE, BYTE, BYTE, BYTE, BYTE, BYTE, BOOL);
    using SetTimeoutsFn = SI_STATUS(WINAPI*)(DWORD, DWORD);
    using GetTimeoutsFn = SI_STATUS(WINAPI*)(LPDWORD, LPDWORD);
    using FlushBuffersFn = SI_STATUS(WINAPI*)(HANDLE, BYTE, BYTE);
    using ReadFn = SI_STATUS(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    using WriteFn = SI_STATUS(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

    LateLibrary dll{"SiUSBXp.dll"};
    GetNumDevicesFn getNumDevices = dll.Find<GetNumDevicesFn>("SI_GetNumDevices");
    GetProductStringFn getProductString = dll.Find<GetProductStringFn>("SI_GetProductString");
    OpenFn open = dll.Find<OpenFn>("SI_Open");
    CloseFn close = dll.Find<CloseFn>("SI_Close");
    SetBaudRateFn setBaudRate = dll.Find<SetBaudRateFn>("SI_SetBaudRate");
    SetLineControlFn setLineControl = dll.Find<SetLineControlFn>("SI_SetLineControl");
    SetFlowControlFn setFlowControl = dll.Find<SetFlowControlFn>("SI_SetFlowControl");
    SetTimeoutsFn setTimeouts = dll.Find<SetTimeoutsFn>("SI_SetTimeouts");
    GetTimeoutsFn getTimeouts = dll.Find<GetTimeoutsFn>("SI_GetTimeouts");
    FlushBuffersFn flushBuffers = dll.Find<FlushBuffersFn>("SI_FlushBuffers");
    ReadFn read = dll.Find<ReadFn>("SI_Read");
    WriteFn write = dll.Find<WriteFn>("SI_Write");

    bool Complete() const {
        return getNumDevices && getProductString && open && close && setBaudRate && setLineControl &&
               setFlowControl && setTimeouts && getTimeouts && flushBuffers && read && write;
    }
};

// The binding lives for the process once made: the DLL stays loaded while
// any handle from it may be open.
const SiUsbXp* Library() {
    static const SiUsbXp library;
    return library.Complete() ? &library : nullptr;
}

}  // namespace

SI_STATUS SI_GetNumDevices(LPDWORD numDevices) {
    const SiUsbXp* s = Library();
    return s ? s->getNumDevices(numDevices) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_GetProductString(DWORD deviceNum, char* productString, DWORD options) {
    const SiUsbXp* s = Library();
    return s ? s->getProductString(deviceNum, productString, options) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_Open(DWORD deviceNum, HANDLE* handle) {
    const SiUsbXp* s = Library();
    return s ? s->open(deviceNum, handle) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_Close(HANDLE handle) {
    const SiUsbXp* s = Library();
    return s ? s->close(handle) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD baudRate) {
    const SiUsbXp* s = Library();
    return s ? s->setBaudRate(handle, baudRate) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_SetLineControl(HANDLE handle, WORD lineControl) {
    const SiUsbXp* s = Library();
    return s ? s->setLineControl(handle, lineControl) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE ctsMask, BYTE rtsMask, BYTE dtrMask, BYTE dcdMask, BYTE dsrMask,
                            BOOL xonXoff) {
    const SiUsbXp* s = Library();
    return s ? s->setFlowControl(handle, ctsMask, rtsMask, dtrMask, dcdMask, dsrMask, xonXoff) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs) {
    const SiUsbXp* s = Library();
    return s ? s->setTimeouts(readTimeoutMs, writeTimeoutMs) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_GetTimeouts(LPDWORD readTimeoutMs, LPDWORD writeTimeoutMs) {
    const SiUsbXp* s = Library();
    return s ? s->getTimeouts(readTimeoutMs, writeTimeoutMs) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE flushTransmit, BYTE flushReceive) {
    const SiUsbXp* s = Library();
    return s ? s->flushBuffers(handle, flushTransmit, flushReceive) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    const SiUsbXp* s = Library();
    return s ? s->read(handle, buffer, bytesToRead, bytesRead, overlapped) : SI_DEVICE_NOT_FOUND;
}
SI_STATUS SI_Write(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) {
    const SiUsbXp* s = Library();
    // The library's write takes a non-const buffer; it does not change it.
    return s ? s->write(handle, const_cast<LPVOID>(buffer), bytesToWrite, bytesWritten, overlapped)
             : SI_DEVICE_NOT_FOUND;
}
