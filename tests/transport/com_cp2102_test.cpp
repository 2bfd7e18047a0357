// What the CP2102 bridge does beyond the shared behaviour: finding the
// device by its description, the library's read statuses, and timeouts that
// are one setting of the library.
#include <string>

#include <gtest/gtest.h>

#include "transport_traits.h"

namespace fwsend {
namespace {

class ComCp2102Test : public TransportTest<Cp2102Traits> {};

TEST_F(ComCp2102Test, OpenSkipsDevicesOfOtherDescriptionsAndOpensTheMatchByNumber) {
    ComCP2102 device;
    {
        testing::InSequence order;
        Cp2102Traits::ExpectDevices(api_, {"Other bridge", "Target"});
        EXPECT_CALL(api_, Open(1u, _)).WillOnce(DoAll(SetArgPointee<1>(kHandle), Return(SI_SUCCESS)));
        for (int step = 0; step < Cp2102Traits::kSetupSteps; ++step)
            Cp2102Traits::ExpectSetupStep(api_, step, 115200, 2000, true);
    }
    EXPECT_TRUE(device.Open("Target", 115200, 2000));
    Cp2102Traits::ExpectRelease(api_, true);
}

TEST_F(ComCp2102Test, NoDeviceOrNoCountFailsWithoutAskingForDescriptions) {
    ComCP2102 device;
    Cp2102Traits::ExpectDevices(api_, {});
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_CALL(api_, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(2u), Return(SI_DEVICE_NOT_FOUND)));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, DescriptionDifferingOnlyInCaseOrSpaceIsNotOpened) {
    ComCP2102 device;
    Cp2102Traits::ExpectDevices(api_, {"target", "TARGET", "Target "});
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, FailingOpenOfTheFirstMatchEndsTheSearch) {
    ComCP2102 device;
    EXPECT_CALL(api_, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(2u), Return(SI_SUCCESS)));
    EXPECT_CALL(api_, GetProductString(0u, _, _)).WillOnce(DoAll(FillProduct("Target"), Return(SI_SUCCESS)));
    // The library may leave anything in the handle when it fails.
    EXPECT_CALL(api_, Open(0u, _)).WillOnce(DoAll(SetArgPointee<1>(kHandle), Return(SI_DEVICE_NOT_FOUND)));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());  // and the destructor closes nothing
}

TEST_F(ComCp2102Test, FailingDescriptionQueryEndsOpenEvenBeforeAMatch) {
    ComCP2102 device;
    EXPECT_CALL(api_, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(3u), Return(SI_SUCCESS)));
    EXPECT_CALL(api_, GetProductString(0u, _, _)).WillOnce(DoAll(FillProduct("Other"), Return(SI_SUCCESS)));
    EXPECT_CALL(api_, GetProductString(1u, _, _)).WillOnce(Return(SI_INVALID_PARAMETER));
    EXPECT_FALSE(device.Open("Target", 9600, 2000));
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ComCp2102Test, DescriptionFillingTheWholeBufferIsNotReadPastItsEnd) {
    ComCP2102 device;
    EXPECT_CALL(api_, GetNumDevices(_)).WillOnce(DoAll(SetArgPointee<0>(1u), Return(SI_SUCCESS)));
    EXPECT_CALL(api_, GetProductString(0u, _, _)).WillOnce([](DWORD, char* text, DWORD) {
        std::memset(text, 'A', SI_MAX_DEVICE_STRLEN);  // no terminating zero
        return SI_SUCCESS;
    });
    EXPECT_FALSE(device.Open(std::string(300, 'A').c_str(), 9600, 2000));
}

TEST_F(ComCp2102Test, ReadSucceedsOnTheStatusesOfAShortReadOnly) {
    ComCP2102 device;
    Open(device);
    std::uint8_t buffer[8];
    std::uint32_t got = 99;
    EXPECT_CALL(api_, Read(kHandle, buffer, 8u, _, nullptr))
        .WillOnce(DoAll(SetArgPointee<3>(2u), Return(SI_RX_QUEUE_NOT_READY)))
        .WillOnce(DoAll(SetArgPointee<3>(0u), Return(SI_READ_TIMED_OUT)))
        .WillOnce(DoAll(SetArgPointee<3>(5u), Return(SI_WRITE_TIMED_OUT)));
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    got = 42;
    EXPECT_FALSE(device.Read(buffer, 8, &got));
    EXPECT_EQ(got, 42u);
    Cp2102Traits::ExpectRelease(api_, true);
}

TEST_F(ComCp2102Test, TimeoutsWorkWithoutAnOpenDeviceAndEscapeDoesNothing) {
    ComCP2102 device;
    EXPECT_CALL(api_, SetTimeouts(4000u, 4000u))
        .WillOnce(Return(SI_SUCCESS))
        .WillOnce(Return(SI_INVALID_PARAMETER));
    EXPECT_TRUE(device.SetTimeout(4000));
    EXPECT_FALSE(device.SetTimeout(4000));

    std::uint32_t ms = 7;
    EXPECT_CALL(api_, GetTimeouts(_, _))
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
