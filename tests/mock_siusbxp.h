#pragma once
// A scripted stand-in for the USBXpress library: the free functions that
// ComCP2102 calls forward to the mock the current test installs.

#include <gmock/gmock.h>

#include "platform/siusbxp.h"

namespace fwsend {

class MockSiUsbXp {
public:
    MockSiUsbXp();
    ~MockSiUsbXp();

    MOCK_METHOD(SI_STATUS, GetNumDevices, (LPDWORD));
    MOCK_METHOD(SI_STATUS, GetProductString, (DWORD, char*, DWORD));
    MOCK_METHOD(SI_STATUS, Open, (DWORD, HANDLE*));
    MOCK_METHOD(SI_STATUS, Close, (HANDLE));
    MOCK_METHOD(SI_STATUS, SetBaudRate, (HANDLE, DWORD));
    MOCK_METHOD(SI_STATUS, SetLineControl, (HANDLE, WORD));
    MOCK_METHOD(SI_STATUS, SetFlowControl, (HANDLE, BYTE, BYTE, BYTE, BYTE, BYTE, BOOL));
    MOCK_METHOD(SI_STATUS, SetTimeouts, (DWORD, DWORD));
    MOCK_METHOD(SI_STATUS, GetTimeouts, (LPDWORD, LPDWORD));
    MOCK_METHOD(SI_STATUS, FlushBuffers, (HANDLE, BYTE, BYTE));
    MOCK_METHOD(SI_STATUS, Read, (HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED));
    MOCK_METHOD(SI_STATUS, Write, (HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED));
};

}  // namespace fwsend
