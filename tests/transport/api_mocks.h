#pragma once
// Scripted stand-ins for the media the transports drive. The API functions
// (defined in the *_shim.cpp files) forward to the mock the current test has
// installed: constructing a mock installs it, destroying it removes it.

#include <cstdlib>

#include <gmock/gmock.h>

#include "platform/ftd2xx.h"
#include "platform/siusbxp.h"
#include "platform/win32_serial.h"

namespace fwsend {

template <typename Mock>
class InstalledMock {
public:
    InstalledMock(const InstalledMock&) = delete;
    InstalledMock& operator=(const InstalledMock&) = delete;

    // The installed mock; a call with none installed fails the test.
    static Mock& Current() {
        if (!Slot()) {
            ADD_FAILURE() << "API function called with no mock installed";
            std::abort();
        }
        return static_cast<Mock&>(*Slot());
    }

protected:
    InstalledMock() { Slot() = this; }
    ~InstalledMock() { Slot() = nullptr; }

private:
    static InstalledMock*& Slot() {
        static InstalledMock* installed = nullptr;
        return installed;
    }
};

// The Windows serial API and the D2XX library's Win32-style functions: one
// mock for both, as they take and answer the same.
class MockWin32Serial : public InstalledMock<MockWin32Serial> {
public:
    MOCK_METHOD(HANDLE, CreateFile, (LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE));
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

// The USBXpress library.
class MockSiUsbXp : public InstalledMock<MockSiUsbXp> {
public:
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
