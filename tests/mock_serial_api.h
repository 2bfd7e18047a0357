#pragma once
// A scripted stand-in for the Windows serial API: the free functions that
// ComPort calls forward to the mock that the current test installs.

#include <gmock/gmock.h>

#include "platform/win32_serial.h"

namespace fwsend {

class MockSerialApi {
public:
    MockSerialApi();
    ~MockSerialApi();

    MOCK_METHOD(HANDLE, CreateFileA, (LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE));
    MOCK_METHOD(BOOL, SetupComm, (HANDLE, DWORD, DWORD));
    MOCK_METHOD(BOOL, SetCommState, (HANDLE, const DCB&));
    MOCK_METHOD(BOOL, SetCommTimeouts, (HANDLE, const COMMTIMEOUTS&));
    MOCK_METHOD(BOOL, GetCommTimeouts, (HANDLE, LPCOMMTIMEOUTS));
    MOCK_METHOD(BOOL, PurgeComm, (HANDLE, DWORD));
    MOCK_METHOD(BOOL, EscapeCommFunction, (HANDLE, DWORD));
    MOCK_METHOD(BOOL, ReadFile, (HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED));
    MOCK_METHOD(BOOL, WriteFile, (HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED));
    MOCK_METHOD(BOOL, CloseHandle, (HANDLE));
};

}  // namespace fwsend
