#pragma once
// The functions of the USBXpress library that ComCP2102 calls. Devices are
// numbered 0 .. count-1; every call answers with a status, 0 for success.
// The read and write timeouts are one setting for all devices.
//
// Where they come from:
//   Linux and other POSIX systems: our own layer, platform/posix/usb/siusbxp_posix.cpp,
//     over the kernel's CP210x serial driver (no vendor library).
//   Windows: SiUSBXp.dll, looked up by platform/windows/siusbxp_windows.cpp
//     the first time the CP2102 transport opens, so that a COM-port run never
//     needs the DLL.

#include "platform/win32_serial.h"

namespace fwsend {

using SI_STATUS = int;

// Statuses. Success and the two "fewer bytes than asked" answers of a read
// are fixed; the others are this layer's own.
constexpr SI_STATUS SI_SUCCESS = 0;
constexpr SI_STATUS SI_INVALID_HANDLE = 1;
constexpr SI_STATUS SI_READ_ERROR = 2;
constexpr SI_STATUS SI_RX_QUEUE_NOT_READY = 3;
constexpr SI_STATUS SI_WRITE_ERROR = 4;
constexpr SI_STATUS SI_INVALID_PARAMETER = 6;
constexpr SI_STATUS SI_READ_TIMED_OUT = 13;
constexpr SI_STATUS SI_WRITE_TIMED_OUT = 14;
constexpr SI_STATUS SI_DEVICE_NOT_FOUND = 0xFF;

// Options of SI_GetProductString.
constexpr DWORD SI_RETURN_DESCRIPTION = 1;

// The buffer SI_GetProductString fills: at most 255 characters and a zero.
constexpr DWORD SI_MAX_DEVICE_STRLEN = 256;

// Codes of the flow-control masks: inputs (CTS, DSR, DCD) and outputs
// (RTS, DTR) as the DCB's control fields use them.
constexpr BYTE SI_STATUS_INPUT = 0;
constexpr BYTE SI_HELD_INACTIVE = 0;
constexpr BYTE SI_HELD_ACTIVE = 1;

SI_STATUS SI_GetNumDevices(LPDWORD numDevices);
SI_STATUS SI_GetProductString(DWORD deviceNum, char* productString, DWORD options);
SI_STATUS SI_Open(DWORD deviceNum, HANDLE* handle);
SI_STATUS SI_Close(HANDLE handle);
SI_STATUS SI_SetBaudRate(HANDLE handle, DWORD baudRate);
// Data bits in bits 8-15, parity in bits 4-7, stop bits in bits 0-3, in the
// codes of the DCB's ByteSize, Parity and StopBits.
SI_STATUS SI_SetLineControl(HANDLE handle, WORD lineControl);
SI_STATUS SI_SetFlowControl(HANDLE handle, BYTE ctsMask, BYTE rtsMask, BYTE dtrMask, BYTE dcdMask,
                            BYTE dsrMask, BOOL xonXoff);
SI_STATUS SI_SetTimeouts(DWORD readTimeoutMs, DWORD writeTimeoutMs);
SI_STATUS SI_GetTimeouts(LPDWORD readTimeoutMs, LPDWORD writeTimeoutMs);
SI_STATUS SI_FlushBuffers(HANDLE handle, BYTE flushTransmit, BYTE flushReceive);
SI_STATUS SI_Read(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped);
SI_STATUS SI_Write(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped);

}  // namespace fwsend
