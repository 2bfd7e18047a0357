#pragma once
// The Win32-style functions of FTDI's D2XX library that ComFTDI calls. They
// take and return what the Windows serial API does (DCB, COMMTIMEOUTS,
// BOOL results, a byte count from reads and writes); only the open call
// differs: with FT_OPEN_BY_DESCRIPTION among its flags, the name is the
// USB product description of the converter to open.
//
// Where they come from:
//   Linux and other POSIX systems: our own layer, platform/posix/usb/ftd2xx_posix.cpp,
//     over the kernel's FTDI serial driver (no vendor library).
//   Windows: FTD2XX.dll, looked up by platform/windows/ftd2xx_windows.cpp the
//     first time the FTDI transport opens, so that a COM-port run never needs
//     the DLL.

#include "platform/win32_serial.h"

namespace fwsend {

using FT_HANDLE = void*;

// Added to the flags argument of FT_W32_CreateFile: name is a description.
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 0x2;

FT_HANDLE FT_W32_CreateFile(LPCSTR name, DWORD desiredAccess, DWORD shareMode,
                            LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                            DWORD flagsAndAttributes, HANDLE templateFile);
BOOL FT_W32_SetupComm(FT_HANDLE handle, DWORD inQueue, DWORD outQueue);
BOOL FT_W32_SetCommState(FT_HANDLE handle, LPDCB dcb);
BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL FT_W32_GetCommTimeouts(FT_HANDLE handle, LPCOMMTIMEOUTS timeouts);
BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD flags);
BOOL FT_W32_EscapeCommFunction(FT_HANDLE handle, DWORD function);
BOOL FT_W32_ReadFile(FT_HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped);
BOOL FT_W32_WriteFile(FT_HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped);
BOOL FT_W32_CloseHandle(FT_HANDLE handle);

}  // namespace fwsend
