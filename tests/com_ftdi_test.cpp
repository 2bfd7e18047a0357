#include "transport/com_ftdi.h"

#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mock_ftd2xx.h"

namespace fwsend {

namespace {

using testing::_;
using testing::DoAll;
using testing::InSequence;
using testing::Return;
using testing::SetArgPointee;
using testing::StrEq;
using testing::StrictMock;

FT_HANDLE const kDevice = reinterpret_cast<FT_HANDLE>(0x5678);
FT_HANDLE const kClosed = reinterpret_cast<FT_HANDLE>(INVALID_HANDLE);

// 8 data bits, no parity, one stop bit; every other field zero.
DCB ExpectedDcb(DWORD baud) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 28;
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    return dcb;
}

MATCHER_P(SameBytes, expected, "") { return std::memcmp(&arg, &expected, sizeof expected) == 0; }

MATCHER_P(ReadTimeoutsOf, ms, "") {
    return arg.ReadIntervalTimeout == ms && arg.ReadTotalTimeoutMultiplier == ms &&
           arg.ReadTotalTimeoutConstant == ms && arg.WriteTotalTimeoutMultiplier == 0 &&
           arg.WriteTotalTimeoutConstant == 0;
}

class ComFtdiTest : public testing::Test {
protected:
    void OpenDevice(ComFTDI& device) {
        EXPECT_CALL(library, CreateFile(_, _, _, _, _, _, _)).WillOnce(Return(kDevice));
        EXPECT_CALL(library, SetupComm(kDevice, _, _)).WillOnce(Return(TRUE));
        EXPECT_CALL(library, SetCommState(kDevice, _)).WillOnce(Return(TRUE));
        EXPECT_CALL(library, SetCommTimeouts(kDevice, _)).WillOnce(Return(TRUE));
        ASSERT_TRUE(device.Open("USB <-> Serial", 115200, 2000));
        testing::Mock::VerifyAndClearExpectations(&library);
    }

    StrictMock<MockFtd2xx> library;
};

TEST_F(ComFtdiTest, OpenFindsTheDeviceByDescriptionAndSets8N1InOrder) {
    ComFTDI device;
    {
        InSequence order;
        EXPECT_CALL(library, CreateFile(StrEq("USB <-> Serial"), GENERIC_READ | GENERIC_WRITE, 0u, nullptr,
                                        OPEN_EXISTING, 0x82u, nullptr))
            .WillOnce(Return(kDevice));
        EXPECT_CALL(library, SetupComm(kDevice, 1024u, 1024u)).WillOnce(Return(5));  // any non-zero
        EXPECT_CALL(library, SetCommState(kDevice, SameBytes(ExpectedDcb(115200)))).WillOnce(Return(3));
        EXPECT_CALL(library, SetCommTimeouts(kDevice, ReadTimeoutsOf(2000u))).WillOnce(Return(TRUE));
    }
    EXPECT_TRUE(device.Open("USB <-> Serial", 115200, 2000));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
}

TEST_F(ComFtdiTest, DescriptionWithNoDeviceLeavesTheObjectClosed) {
    ComFTDI device;
    EXPECT_CALL(library, CreateFile(StrEq("No such converter"), _, _, _, _, _, _))
        .WillOnce(Return(kClosed));
    EXPECT_FALSE(device.Open("No such converter", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComFtdiTest, EachFailingSetupStepReleasesTheHandleAndStopsThere) {
    for (int failing = 0; failing < 3; ++failing) {
        ComFTDI device;
        {
            InSequence order;
            EXPECT_CALL(library, CreateFile(_, _, _, _, _, _, _)).WillOnce(Return(kDevice));
            EXPECT_CALL(library, SetupComm(kDevice, _, _)).WillOnce(Return(failing == 0 ? FALSE : TRUE));
            if (failing >= 1)
                EXPECT_CALL(library, SetCommState(kDevice, _)).WillOnce(Return(failing == 1 ? FALSE : TRUE));
            // The timeouts call succeeds only with exactly 1.
            if (failing >= 2) EXPECT_CALL(library, SetCommTimeouts(kDevice, _)).WillOnce(Return(2));
            EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
        }
        EXPECT_FALSE(device.Open("USB <-> Serial", 9600, 2000)) << failing;
        EXPECT_FALSE(device.IsOpen());
        testing::Mock::VerifyAndClearExpectations(&library);
    }
}

TEST_F(ComFtdiTest, OpenOnAnOpenObjectFailsWithoutTouchingTheDevice) {
    ComFTDI device;
    OpenDevice(device);
    EXPECT_FALSE(device.Open("Other", 9600, 2000));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
}

TEST_F(ComFtdiTest, ClosedObjectCallsNothingForReadWritePurgeCloseOrDestruction) {
    ComFTDI device;
    std::uint8_t buffer[4] = {};
    std::uint32_t got = 99;
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.Read(buffer, 1, &got));
    EXPECT_EQ(got, 99u);
    EXPECT_FALSE(device.Write(buffer, 1));
    EXPECT_FALSE(device.Purge());
    EXPECT_TRUE(device.Close());
    EXPECT_TRUE(device.Close());
}

TEST_F(ComFtdiTest, CloseReleasesOnceAndTheDestructorReleasesAnOpenHandle) {
    {
        ComFTDI device;
        OpenDevice(device);
        EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
        EXPECT_TRUE(device.Close());
        EXPECT_FALSE(device.IsOpen());
        EXPECT_TRUE(device.Close());
    }
    testing::Mock::VerifyAndClearExpectations(&library);
    {
        ComFTDI device;
        OpenDevice(device);
        EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
    }
    testing::Mock::VerifyAndClearExpectations(&library);
}

TEST_F(ComFtdiTest, ReadWriteAndPurgeReportWhatTheLibraryDid) {
    ComFTDI device;
    OpenDevice(device);
    std::uint8_t buffer[8];
    std::uint32_t got = 99;
    EXPECT_CALL(library, ReadFile(kDevice, buffer, 8u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(3u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(0u), Return(TRUE)))  // timed out with nothing
        .WillOnce(Return(FALSE));
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    got = 42;
    EXPECT_FALSE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 42u);

    const std::uint8_t frame[5] = {0, 3, 1, 2, 3};
    EXPECT_CALL(library, WriteFile(kDevice, frame, 5u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(4u), Return(TRUE)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(FALSE)));
    EXPECT_TRUE(device.Write(frame, 5));
    EXPECT_FALSE(device.Write(frame, 5));
    EXPECT_FALSE(device.Write(frame, 5));

    EXPECT_CALL(library, PurgeComm(kDevice, 12u)).WillOnce(Return(TRUE)).WillOnce(Return(FALSE));
    EXPECT_TRUE(device.Purge());
    EXPECT_FALSE(device.Purge());
    EXPECT_CALL(library, CloseHandle(kDevice)).WillOnce(Return(TRUE));
}

TEST_F(ComFtdiTest, TimeoutAndEscapeCallsGoToTheLibraryEvenWhenClosed) {
    ComFTDI device;
    EXPECT_CALL(library, SetCommTimeouts(kClosed, ReadTimeoutsOf(4000u))).WillOnce(Return(FALSE));
    EXPECT_FALSE(device.SetTimeout(4000));

    COMMTIMEOUTS reported{};
    reported.ReadIntervalTimeout = 4000;
    std::uint32_t ms = 7;
    EXPECT_CALL(library, GetCommTimeouts(kClosed, _))
        .WillOnce(DoAll(SetArgPointee<1>(reported), Return(TRUE)))
        .WillOnce(Return(FALSE));
    EXPECT_TRUE(device.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);
    EXPECT_FALSE(device.GetTimeout(&ms));
    EXPECT_EQ(ms, 0u);  // a failed call reports the zeroed record

    EXPECT_CALL(library, EscapeCommFunction(kClosed, CLRDTR)).WillOnce(Return(1)).WillOnce(Return(2));
    EXPECT_TRUE(device.EscapeFunction(CLRDTR));
    EXPECT_FALSE(device.EscapeFunction(CLRDTR));  // success is exactly 1
}

}  // namespace

}  // namespace fwsend
