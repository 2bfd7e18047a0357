#include "transport/com_cp2102.h"

#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mock_siusbxp.h"

namespace fwsend {

namespace {

using testing::_;
using testing::DoAll;
using testing::InSequence;
using testing::Return;
using testing::SetArgPointee;
using testing::StrictMock;

HANDLE const kDevice = reinterpret_cast<HANDLE>(0x4242);
HANDLE const kClosed = reinterpret_cast<HANDLE>(INVALID_HANDLE);

ACTION_P(FillProduct, text) { std::strcpy(arg1, text); }

class ComCp2102Test : public testing::Test {
protected:
    // Attached devices with these descriptions, queried in order.
    void ExpectDevices(std::initializer_list<const char*> products) {
        EXPECT_CALL(library, GetNumDevices(_))
            .WillOnce(DoAll(SetArgPointee<0>(static_cast<DWORD>(products.size())), Return(SI_SUCCESS)));
        DWORD number = 0;
        for (const char* product : products)
            EXPECT_CALL(library, GetProductString(number++, _, SI_RETURN_DESCRIPTION))
                .WillOnce(DoAll(FillProduct(product), Return(SI_SUCCESS)));
    }
    void OpenDevice(ComCP2102& device) {
        ExpectDevices({"Target"});
        EXPECT_CALL(library, Open(0u, _)).WillOnce(DoAll(SetArgPointee<1>(kDevice), Return(SI_SUCCESS)));
        EXPECT_CALL(library, SetBaudRate(kDevice, _)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetLineControl(kDevice, _)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetFlowControl(kDevice, _, _, _, _, _, _)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetTimeouts(_, _)).WillOnce(Return(SI_SUCCESS));
        ASSERT_TRUE(device.Open("Target", 115200, 2000));
        testing::Mock::VerifyAndClearExpectations(&library);
    }

    StrictMock<MockSiUsbXp> library;
};

TEST_F(ComCp2102Test, OpenSkipsOtherDevicesThenConfigures8N1WithoutHandshaking) {
    ComCP2102 device;
    {
        InSequence order;
        ExpectDevices({"Other bridge", "Target"});
        EXPECT_CALL(library, Open(1u, _)).WillOnce(DoAll(SetArgPointee<1>(kDevice), Return(SI_SUCCESS)));
        EXPECT_CALL(library, SetBaudRate(kDevice, 115200u)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetLineControl(kDevice, 0x0800)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetFlowControl(kDevice, 0, 0, 0, 0, 0, FALSE)).WillOnce(Return(SI_SUCCESS));
        EXPECT_CALL(library, SetTimeouts(2000u, 2000u)).WillOnce(Return(SI_SUCCESS));
    }
    EXPECT_TRUE(device.Open("Target", 115200, 2000));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));
}

TEST_F(ComCp2102Test, NoDeviceOrNoCountFailsWithoutAskingForDescriptions) {
    ComCP2102 device;
    ExpectDevices({});
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_CALL(library, GetNumDevices(_))
        .WillOnce(DoAll(SetArgPointee<0>(2u), Return(SI_DEVICE_NOT_FOUND)));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, DescriptionDifferingOnlyInCaseIsNotOpened) {
    ComCP2102 device;
    ExpectDevices({"target", "TARGET", "Target "});
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, FailingOpenOfTheFirstMatchEndsTheSearch) {
    ComCP2102 device;
    EXPECT_CALL(library, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(2u), Return(SI_SUCCESS)));
    EXPECT_CALL(library, GetProductString(0u, _, _)).WillOnce(DoAll(FillProduct("Target"), Return(SI_SUCCESS)));
    // The library may leave anything in the handle when it fails.
    EXPECT_CALL(library, Open(0u, _)).WillOnce(DoAll(SetArgPointee<1>(kDevice), Return(SI_DEVICE_NOT_FOUND)));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());  // and the destructor closes nothing
}

TEST_F(ComCp2102Test, FailingDescriptionQueryEndsOpenEvenBeforeAMatch) {
    ComCP2102 device;
    EXPECT_CALL(library, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(3u), Return(SI_SUCCESS)));
    EXPECT_CALL(library, GetProductString(0u, _, _)).WillOnce(DoAll(FillProduct("Other"), Return(SI_SUCCESS)));
    EXPECT_CALL(library, GetProductString(1u, _, _)).WillOnce(Return(SI_INVALID_PARAMETER));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, DescriptionFillingTheWholeBufferIsNotReadPastItsEnd) {
    ComCP2102 device;
    EXPECT_CALL(library, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(1u), Return(SI_SUCCESS)));
    EXPECT_CALL(library, GetProductString(0u, _, _)).WillOnce([](DWORD, char* text, DWORD) {
        std::memset(text, 'A', SI_MAX_DEVICE_STRLEN);  // no terminating zero
        return SI_SUCCESS;
    });
    EXPECT_FALSE(device.Open(std::string(300, 'A').c_str(), 9600, 2000));
}

TEST_F(ComCp2102Test, EachFailingConfigurationStepClosesTheDeviceAndStopsThere) {
    for (int failing = 0; failing < 4; ++failing) {
        ComCP2102 device;
        auto status = [&](int step) { return step == failing ? SI_INVALID_PARAMETER : SI_SUCCESS; };
        {
            InSequence order;
            ExpectDevices({"Target"});
            EXPECT_CALL(library, Open(0u, _)).WillOnce(DoAll(SetArgPointee<1>(kDevice), Return(SI_SUCCESS)));
            EXPECT_CALL(library, SetBaudRate(kDevice, _)).WillOnce(Return(status(0)));
            if (failing >= 1) EXPECT_CALL(library, SetLineControl(kDevice, _)).WillOnce(Return(status(1)));
            if (failing >= 2) EXPECT_CALL(library, SetFlowControl(kDevice, _, _, _, _, _, _)).WillOnce(Return(status(2)));
            if (failing >= 3) EXPECT_CALL(library, SetTimeouts(_, _)).WillOnce(Return(status(3)));
            EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));
        }
        EXPECT_FALSE(device.Open("Target", 9600, 2000)) << failing;
        EXPECT_FALSE(device.IsOpen());
        testing::Mock::VerifyAndClearExpectations(&library);
    }
}

TEST_F(ComCp2102Test, OpenOnAnOpenObjectFailsWithoutTouchingTheDevice) {
    ComCP2102 device;
    OpenDevice(device);
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_TRUE(device.IsOpen());
    EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));
}

TEST_F(ComCp2102Test, CloseReportsWhetherThereWasSomethingToClose) {
    {
        ComCP2102 device;
        EXPECT_FALSE(device.Close());
        OpenDevice(device);
        // Released whatever the library answers.
        EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_INVALID_HANDLE));
        EXPECT_TRUE(device.Close());
        EXPECT_FALSE(device.IsOpen());
        EXPECT_FALSE(device.Close());
    }
    testing::Mock::VerifyAndClearExpectations(&library);
    {
        ComCP2102 device;
        OpenDevice(device);
        EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));  // by the destructor
    }
    testing::Mock::VerifyAndClearExpectations(&library);
}

TEST_F(ComCp2102Test, ReadSucceedsOnTheStatusesOfACompleteOrShortRead) {
    ComCP2102 device;
    std::uint8_t buffer[8];
    std::uint32_t got = 99;
    EXPECT_FALSE(device.Read(buffer, 8, &got));  // closed: the library is not called
    OpenDevice(device);
    EXPECT_CALL(library, Read(kDevice, buffer, 8u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(8u), Return(SI_SUCCESS)))
        .WillOnce(DoAll(SetArgPointee<3>(2u), Return(SI_RX_QUEUE_NOT_READY)))
        .WillOnce(DoAll(SetArgPointee<3>(0u), Return(SI_READ_TIMED_OUT)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(SI_READ_ERROR)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(SI_WRITE_TIMED_OUT)));
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 8u);
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    got = 42;
    EXPECT_FALSE(device.Read(buffer, 8, &got));
    EXPECT_FALSE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 42u);
    EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));
}

TEST_F(ComCp2102Test, WriteAndPurgeReportWhatTheLibraryDid) {
    ComCP2102 device;
    const std::uint8_t frame[5] = {0, 3, 1, 2, 3};
    EXPECT_FALSE(device.Write(frame, 5));
    EXPECT_FALSE(device.Purge());
    OpenDevice(device);
    EXPECT_CALL(library, Write(kDevice, frame, 5u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(SI_SUCCESS)))
        .WillOnce(DoAll(SetArgPointee<3>(4u), Return(SI_SUCCESS)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(SI_WRITE_TIMED_OUT)));
    EXPECT_TRUE(device.Write(frame, 5));
    EXPECT_FALSE(device.Write(frame, 5));
    EXPECT_FALSE(device.Write(frame, 5));
    EXPECT_CALL(library, FlushBuffers(kDevice, 1, 1)).WillOnce(Return(SI_SUCCESS)).WillOnce(Return(SI_READ_ERROR));
    EXPECT_TRUE(device.Purge());
    EXPECT_FALSE(device.Purge());
    EXPECT_CALL(library, Close(kDevice)).WillOnce(Return(SI_SUCCESS));
}

TEST_F(ComCp2102Test, TimeoutsWorkWithoutAnOpenDeviceAndEscapeDoesNothing) {
    ComCP2102 device;
    EXPECT_CALL(library, SetTimeouts(4000u, 4000u)).WillOnce(Return(SI_SUCCESS)).WillOnce(Return(SI_INVALID_PARAMETER));
    EXPECT_TRUE(device.SetTimeout(4000));
    EXPECT_FALSE(device.SetTimeout(4000));

    std::uint32_t ms = 7;
    EXPECT_CALL(library, GetTimeouts(_, _))
        .WillOnce(DoAll(SetArgPointee<0>(4000u), SetArgPointee<1>(1u), Return(SI_SUCCESS)))
        .WillOnce(DoAll(SetArgPointee<0>(1u), Return(SI_INVALID_PARAMETER)));
    EXPECT_TRUE(device.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);  // the read timeout, not the write one
    EXPECT_FALSE(device.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);  // left untouched on failure

    EXPECT_TRUE(device.EscapeFunction(SETDTR));
}

}  // namespace

}  // namespace fwsend
