#pragma once
// How each transport's medium is scripted, for the tests the transports
// share: finding and opening a device, the setup steps after it, a read, a
// write, a purge and the release, each answering success or failure.

#include <cstdint>
#include <cstring>

#include "api_mocks.h"
#include "transport/com_cp2102.h"
#include "transport/com_ftdi.h"
#ifndef _WIN32
#include "transport/com_port.h"
#endif

namespace fwsend {

using testing::_;
using testing::DoAll;
using testing::Return;
using testing::SetArgPointee;
using testing::StrEq;

const HANDLE kHandle = reinterpret_cast<HANDLE>(0x1234);

MATCHER_P(SameBytes, expected, "") { return std::memcmp(&arg, &expected, sizeof expected) == 0; }

MATCHER_P(ReadTimeoutsOf, ms, "") {
    return arg.ReadIntervalTimeout == ms && arg.ReadTotalTimeoutMultiplier == ms &&
           arg.ReadTotalTimeoutConstant == ms && arg.WriteTotalTimeoutMultiplier == 0 &&
           arg.WriteTotalTimeoutConstant == 0;
}

ACTION_P(FillProduct, text) { std::strcpy(arg1, text); }

// 8 data bits, one stop bit, the given parity; every other field zero.
inline DCB ExpectedDcb(DWORD baud, BYTE parity) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    return dcb;
}

// The COM port and the FTDI converter: the Windows serial API's calls,
// differing only in the open flags and the parity.
template <typename T, DWORD OpenFlags, BYTE Parity>
struct Win32StyleTraits {
    using Transport = T;
    using Api = MockWin32Serial;
    static constexpr int kSetupSteps = 3;
    static constexpr bool kClosingClosedSucceeds = true;

    static void ExpectFound(Api& api, const char* name) {
        EXPECT_CALL(api, CreateFile(StrEq(name), GENERIC_READ | GENERIC_WRITE, 0u, nullptr, OPEN_EXISTING,
                                    OpenFlags, nullptr))
            .WillOnce(Return(kHandle));
    }
    static void ExpectNotFound(Api& api, const char* name) {
        EXPECT_CALL(api, CreateFile(StrEq(name), _, _, _, _, _, _)).WillOnce(Return(INVALID_HANDLE_VALUE));
    }
    // Any non-zero answer is success, except for the timeouts: exactly 1.
    static void ExpectSetupStep(Api& api, int step, DWORD baud, DWORD timeoutMs, bool ok) {
        if (step == 0) EXPECT_CALL(api, SetupComm(kHandle, 1024u, 1024u)).WillOnce(Return(ok ? 5 : FALSE));
        if (step == 1)
            EXPECT_CALL(api, SetCommState(kHandle, SameBytes(ExpectedDcb(baud, Parity))))
                .WillOnce(Return(ok ? 3 : FALSE));
        if (step == 2)
            EXPECT_CALL(api, SetCommTimeouts(kHandle, ReadTimeoutsOf(timeoutMs)))
                .WillOnce(Return(ok ? 1 : 2));
    }
    static void ExpectRelease(Api& api, bool ok) {
        EXPECT_CALL(api, CloseHandle(kHandle)).WillOnce(Return(ok ? TRUE : FALSE));
    }
    static void ExpectRead(Api& api, std::uint8_t* buffer, DWORD count, DWORD got, bool ok) {
        EXPECT_CALL(api, ReadFile(kHandle, buffer, count, _, nullptr))
            .WillOnce(DoAll(SetArgPointee<3>(got), Return(ok ? TRUE : FALSE)));
    }
    static void ExpectWrite(Api& api, const std::uint8_t* buffer, DWORD count, DWORD written, bool ok) {
        EXPECT_CALL(api, WriteFile(kHandle, buffer, count, _, nullptr))
            .WillOnce(DoAll(SetArgPointee<3>(written), Return(ok ? TRUE : FALSE)));
    }
    static void ExpectPurge(Api& api, bool ok) {
        EXPECT_CALL(api, PurgeComm(kHandle, 12u)).WillOnce(Return(ok ? TRUE : FALSE));
    }
};

#ifndef _WIN32
struct PortTraits : Win32StyleTraits<ComPort, 0x80, 2> {
    static constexpr const char* kName = "COM3";
};
#endif

// The name is the converter's description: opened with FT_OPEN_BY_DESCRIPTION.
struct FtdiTraits : Win32StyleTraits<ComFTDI, 0x82, 0> {
    static constexpr const char* kName = "USB <-> Serial";
};

struct Cp2102Traits {
    using Transport = ComCP2102;
    using Api = MockSiUsbXp;
    static constexpr const char* kName = "Target";
    static constexpr int kSetupSteps = 4;
    static constexpr bool kClosingClosedSucceeds = false;

    // Attached devices with these descriptions, queried in order.
    static void ExpectDevices(Api& api, std::initializer_list<const char*> products) {
        EXPECT_CALL(api, GetNumDevices(_))
            .WillOnce(DoAll(SetArgPointee<0>(static_cast<DWORD>(products.size())), Return(SI_SUCCESS)));
        DWORD number = 0;
        for (const char* product : products)
            EXPECT_CALL(api, GetProductString(number++, _, SI_RETURN_DESCRIPTION))
                .WillOnce(DoAll(FillProduct(product), Return(SI_SUCCESS)));
    }
    static void ExpectFound(Api& api, const char* name) {
        ExpectDevices(api, {name});
        EXPECT_CALL(api, Open(0u, _)).WillOnce(DoAll(SetArgPointee<1>(kHandle), Return(SI_SUCCESS)));
    }
    static void ExpectNotFound(Api& api, const char*) { ExpectDevices(api, {"Other bridge"}); }
    // 8N1 without handshaking; the timeouts are the library's one setting.
    static void ExpectSetupStep(Api& api, int step, DWORD baud, DWORD timeoutMs, bool ok) {
        const SI_STATUS status = ok ? SI_SUCCESS : SI_INVALID_PARAMETER;
        if (step == 0) EXPECT_CALL(api, SetBaudRate(kHandle, baud)).WillOnce(Return(status));
        if (step == 1) EXPECT_CALL(api, SetLineControl(kHandle, 0x0800)).WillOnce(Return(status));
        if (step == 2)
            EXPECT_CALL(api, SetFlowControl(kHandle, 0, 0, 0, 0, 0, FALSE)).WillOnce(Return(status));
        if (step == 3) EXPECT_CALL(api, SetTimeouts(timeoutMs, timeoutMs)).WillOnce(Return(status));
    }
    static void ExpectRelease(Api& api, bool ok) {
        EXPECT_CALL(api, Close(kHandle)).WillOnce(Return(ok ? SI_SUCCESS : SI_INVALID_HANDLE));
    }
    static void ExpectRead(Api& api, std::uint8_t* buffer, DWORD count, DWORD got, bool ok) {
        EXPECT_CALL(api, Read(kHandle, buffer, count, _, nullptr))
            .WillOnce(DoAll(SetArgPointee<3>(got), Return(ok ? SI_SUCCESS : SI_READ_ERROR)));
    }
    static void ExpectWrite(Api& api, const std::uint8_t* buffer, DWORD count, DWORD written, bool ok) {
        EXPECT_CALL(api, Write(kHandle, buffer, count, _, nullptr))
            .WillOnce(DoAll(SetArgPointee<3>(written), Return(ok ? SI_SUCCESS : SI_WRITE_TIMED_OUT)));
    }
    static void ExpectPurge(Api& api, bool ok) {
        EXPECT_CALL(api, FlushBuffers(kHandle, 1, 1)).WillOnce(Return(ok ? SI_SUCCESS : SI_READ_ERROR));
    }
};

// A transport under test with its medium's mock; Open() opens it with every
// call answering success.
template <typename Traits>
class TransportTest : public testing::Test {
protected:
    using Transport = typename Traits::Transport;

    void ExpectOpen(const char* name, DWORD baud, DWORD timeoutMs) {
        testing::InSequence order;
        Traits::ExpectFound(api_, name);
        for (int step = 0; step < Traits::kSetupSteps; ++step)
            Traits::ExpectSetupStep(api_, step, baud, timeoutMs, true);
    }
    void Open(Transport& transport) {
        ExpectOpen(Traits::kName, 115200, 2000);
        ASSERT_TRUE(transport.Open(Traits::kName, 115200, 2000));
        testing::Mock::VerifyAndClearExpectations(&api_);
    }

    testing::StrictMock<typename Traits::Api> api_;
};

}  // namespace fwsend
