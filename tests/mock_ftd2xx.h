#pragma once
// A scripted stand-in for the D2XX library's Win32-style functions: the
// free functions that ComFTDI calls forward to the mock the current test
// installs.

#include <gmock/gmock.h>

#include "platform/ftd2xx.h"

namespace fwsend {

class MockFtd2xx {
public:
    MockFtd2xx();
    ~MockFtd2xx();

    MOCK_METHOD(FT_HANDLE, CreateFile, (LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE));
    MOCK_METHOD(BOOL, SetupComm, (FT_HANDLE, DWORD, DWORD));
    MOCK_METHOD(BOOL, SetCommState, (FT_HANDLE, const DCB&));
    MOCK_METHOD(BOOL, SetCommTimeouts, (FT_HANDLE, const COMMTIMEOUTS&));
    MOCK_METHOD(BOOL, GetCommTimeouts, (FT_HANDLE, LPCOMMTIMEOUTS));
    MOCK_METHOD(BOOL, PurgeComm, (FT_HANDLE, DWORD));
    MOCK_METHOD(BOOL, EscapeCommFunction, (FT_HANDLE, DWORD));
    MOCK_METHOD(BOOL, ReadFile, (FT_HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED));
    MOCK_METHOD(BOOL, WriteFile, (FT_HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED));
    MOCK_METHOD(BOOL, CloseHandle, (FT_HANDLE));
};

}  // namespace fwsend
