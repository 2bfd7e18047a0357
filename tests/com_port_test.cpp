#include "transport/com_port.h"

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mock_serial_api.h"

namespace fwsend {

namespace {

using testing::_;
using testing::DoAll;
using testing::InSequence;
using testing::Return;
using testing::SetArgPointee;
using testing::StrictMock;

HANDLE const kPort = reinterpret_cast<HANDLE>(0x1234);

DCB ExpectedDcb(DWORD baud) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = 2;
    dcb.StopBits = 0;
    return dcb;
}

MATCHER_P(SameBytes, expected, "") { return std::memcmp(&arg, &expected, sizeof expected) == 0; }

MATCHER_P(ReadTimeoutsOf, ms, "") {
    return arg.ReadIntervalTimeout == ms && arg.ReadTotalTimeoutMultiplier == ms &&
           arg.ReadTotalTimeoutConstant == ms && arg.WriteTotalTimeoutMultiplier == 0 &&
           arg.WriteTotalTimeoutConstant == 0;
}

class ComPortTest : public testing::Test {
protected:
    // Opens port "COM3" at 115200 with every call succeeding.
    void OpenPort(ComPort& port) {
        EXPECT_CALL(api, CreateFileA(_, _, _, _, _, _, _)).WillOnce(Return(kPort));
        EXPECT_CALL(api, SetupComm(kPort, _, _)).WillOnce(Return(TRUE));
        EXPECT_CALL(api, SetCommState(kPort, _)).WillOnce(Return(TRUE));
        EXPECT_CALL(api, SetCommTimeouts(kPort, _)).WillOnce(Return(TRUE));
        ASSERT_TRUE(port.Open("COM3", 115200, 2000));
        testing::Mock::VerifyAndClearExpectations(&api);
    }

    StrictMock<MockSerialApi> api;
};

TEST_F(ComPortTest, OpenMakesTheCallsInOrderWithTheFixedLineSettings) {
    ComPort port;
    {
        InSequence order;
        EXPECT_CALL(api, CreateFileA(testing::StrEq("COM3"), GENERIC_READ | GENERIC_WRITE, 0u, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
            .WillOnce(Return(kPort));
        EXPECT_CALL(api, SetupComm(kPort, 1024u, 1024u)).WillOnce(Return(7));  // any non-zero is success
        EXPECT_CALL(api, SetCommState(kPort, SameBytes(ExpectedDcb(115200)))).WillOnce(Return(TRUE));
        EXPECT_CALL(api, SetCommTimeouts(kPort, ReadTimeoutsOf(2000u))).WillOnce(Return(TRUE));
    }
    EXPECT_TRUE(port.Open("COM3", 115200, 2000));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, PortsFromCom10OnGoThroughTheDeviceNamespace) {
    const struct {
        const char* typed;
        const char* opened;
    } cases[] = {{"COM10", "\\\\.\\COM10"}, {"COM256", "\\\\.\\COM256"}, {"COM9", "COM9"},
                 {"COM09", "COM09"},         {"COM10x", "COM10x"},            {"COM/dev/ttyS10", "COM/dev/ttyS10"},
                 {"\\\\.\\COM12", "\\\\.\\COM12"}};
    for (const auto& c : cases) {
        ComPort port;
        EXPECT_CALL(api, CreateFileA(testing::StrEq(c.opened), _, _, _, _, _, _)).WillOnce(Return(INVALID_HANDLE_VALUE));
        EXPECT_FALSE(port.Open(c.typed, 9600, 2000)) << c.typed;
        testing::Mock::VerifyAndClearExpectations(&api);
    }
}

TEST_F(ComPortTest, NameThatCannotBeOpenedLeavesThePortClosed) {
    ComPort port;
    EXPECT_CALL(api, CreateFileA(_, _, _, _, _, _, _)).WillOnce(Return(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(port.Open("COM9", 9600, 2000));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortTest, EachFailingSetupStepReleasesTheHandle) {
    for (int failing = 0; failing < 3; ++failing) {
        ComPort port;
        {
            InSequence order;
            EXPECT_CALL(api, CreateFileA(_, _, _, _, _, _, _)).WillOnce(Return(kPort));
            EXPECT_CALL(api, SetupComm(kPort, _, _)).WillOnce(Return(failing == 0 ? FALSE : TRUE));
            if (failing >= 1) EXPECT_CALL(api, SetCommState(kPort, _)).WillOnce(Return(failing == 1 ? FALSE : TRUE));
            // SetCommTimeouts succeeds only with exactly 1.
            if (failing >= 2) EXPECT_CALL(api, SetCommTimeouts(kPort, _)).WillOnce(Return(2));
            EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
        }
        EXPECT_FALSE(port.Open("COM3", 9600, 2000)) << failing;
        EXPECT_FALSE(port.IsOpen());
        testing::Mock::VerifyAndClearExpectations(&api);
    }
}

TEST_F(ComPortTest, OpenOnAnOpenPortFailsWithoutTouchingIt) {
    ComPort port;
    OpenPort(port);
    EXPECT_FALSE(port.Open("COM4", 9600, 2000));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, ClosedPortCallsNothingForReadWritePurgeCloseOrDestruction) {
    ComPort port;
    std::uint8_t buffer[4] = {};
    std::uint32_t got = 99;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Read(buffer, 1, &got));
    EXPECT_EQ(got, 99u);
    EXPECT_FALSE(port.Write(buffer, 1));
    EXPECT_FALSE(port.Purge());
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());
}

TEST_F(ComPortTest, CloseReleasesOnceAndTheDestructorReleasesAnOpenPort) {
    {
        ComPort port;
        OpenPort(port);
        EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
        EXPECT_TRUE(port.Close());
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(port.Close());
    }
    testing::Mock::VerifyAndClearExpectations(&api);
    ComPort port;
    OpenPort(port);
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, ReadReportsTheCountAndATimeoutIsSuccessWithNothing) {
    ComPort port;
    OpenPort(port);
    std::uint8_t buffer[8];
    std::uint32_t got = 99;
    EXPECT_CALL(api, ReadFile(kPort, buffer, 8u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(3u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(0u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(TRUE)))
        .WillOnce(Return(FALSE));
    EXPECT_TRUE(port.Read(buffer, 8, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_TRUE(port.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(port.Read(buffer, 8, nullptr));
    got = 42;
    EXPECT_FALSE(port.Read(buffer, 8, &got));
    EXPECT_EQ(got, 42u);
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, WriteSucceedsOnlyWhenEveryByteWasTaken) {
    ComPort port;
    OpenPort(port);
    const std::uint8_t frame[5] = {0, 3, 1, 2, 3};
    EXPECT_CALL(api, WriteFile(kPort, frame, 5u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(4u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(FALSE)));
    EXPECT_TRUE(port.Write(frame, 5));
    EXPECT_FALSE(port.Write(frame, 5));
    EXPECT_FALSE(port.Write(frame, 5));
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, PurgeClearsBothDirections) {
    ComPort port;
    OpenPort(port);
    EXPECT_CALL(api, PurgeComm(kPort, 12u)).WillOnce(Return(TRUE)).WillOnce(Return(FALSE));
    EXPECT_TRUE(port.Purge());
    EXPECT_FALSE(port.Purge());
    EXPECT_CALL(api, CloseHandle(kPort)).WillOnce(Return(TRUE));
}

TEST_F(ComPortTest, TimeoutAndEscapeCallsGoToTheMediumEvenWhenClosed) {
    ComPort port;
    EXPECT_CALL(api, SetCommTimeouts(INVALID_HANDLE_VALUE, ReadTimeoutsOf(4000u))).WillOnce(Return(FALSE));
    EXPECT_FALSE(port.SetTimeout(4000));

    COMMTIMEOUTS reported{};
    reported.ReadIntervalTimeout = 4000;
    std::uint32_t ms = 7;
    EXPECT_CALL(api, GetCommTimeouts(INVALID_HANDLE_VALUE, _))
        .WillOnce(DoAll(SetArgPointee<1>(reported), Return(TRUE)))
        .WillOnce(Return(FALSE));
    EXPECT_TRUE(port.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);
    EXPECT_FALSE(port.GetTimeout(&ms));
    EXPECT_EQ(ms, 0u);  // a failed call reports the zeroed record

    EXPECT_CALL(api, EscapeCommFunction(INVALID_HANDLE_VALUE, SETDTR)).WillOnce(Return(1)).WillOnce(Return(2));
    EXPECT_TRUE(port.EscapeFunction(SETDTR));
    EXPECT_FALSE(port.EscapeFunction(SETDTR));  // success is exactly 1
}

}  // namespace

}  // namespace fwsend
