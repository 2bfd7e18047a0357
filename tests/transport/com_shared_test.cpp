// What every transport does the same over its own medium.
#include <gtest/gtest.h>

#include "transport_traits.h"

namespace fwsend {
namespace {

using Transports = testing::Types<
#ifndef _WIN32
    PortTraits,
#endif
    FtdiTraits, Cp2102Traits>;

template <typename Traits>
using SharedTest = TransportTest<Traits>;
TYPED_TEST_SUITE(SharedTest, Transports);

TYPED_TEST(SharedTest, OpenPassesNameRateAndTimeoutInOrderAndTheDestructorReleases) {
    const struct {
        DWORD baud;
        DWORD timeoutMs;
    } cases[] = {{115200, 2000}, {9600, 350}};
    for (const auto& c : cases) {
        {
            typename TypeParam::Transport transport;
            this->ExpectOpen(TypeParam::kName, c.baud, c.timeoutMs);
            EXPECT_TRUE(transport.Open(TypeParam::kName, static_cast<std::int32_t>(c.baud), c.timeoutMs));
            EXPECT_TRUE(transport.IsOpen());
            testing::Mock::VerifyAndClearExpectations(&this->api_);
            TypeParam::ExpectRelease(this->api_, true);
        }
        testing::Mock::VerifyAndClearExpectations(&this->api_);
    }
}

TYPED_TEST(SharedTest, NameWithNoDeviceLeavesItClosedAndUnusable) {
    typename TypeParam::Transport transport;
    TypeParam::ExpectNotFound(this->api_, "No such device");
    EXPECT_FALSE(transport.Open("No such device", 9600, 2000));
    EXPECT_FALSE(transport.IsOpen());
    std::uint8_t buffer[4] = {};
    std::uint32_t got = 99;
    EXPECT_FALSE(transport.Read(buffer, 1, &got));
    EXPECT_EQ(got, 99u);
    EXPECT_FALSE(transport.Write(buffer, 1));
    EXPECT_FALSE(transport.Purge());
    EXPECT_EQ(transport.Close(), TypeParam::kClosingClosedSucceeds);
    EXPECT_EQ(transport.Close(), TypeParam::kClosingClosedSucceeds);
}  // and the destructor releases nothing

TYPED_TEST(SharedTest, EachFailingSetupStepReleasesTheDeviceAndStopsThere) {
    for (int failing = 0; failing < TypeParam::kSetupSteps; ++failing) {
        typename TypeParam::Transport transport;
        {
            testing::InSequence order;
            TypeParam::ExpectFound(this->api_, TypeParam::kName);
            for (int step = 0; step <= failing; ++step)
                TypeParam::ExpectSetupStep(this->api_, step, 9600, 2000, step != failing);
            TypeParam::ExpectRelease(this->api_, true);
        }
        EXPECT_FALSE(transport.Open(TypeParam::kName, 9600, 2000)) << failing;
        EXPECT_FALSE(transport.IsOpen());
        testing::Mock::VerifyAndClearExpectations(&this->api_);
    }
}

TYPED_TEST(SharedTest, OpenOnAnOpenTransportFailsWithoutTouchingIt) {
    typename TypeParam::Transport transport;
    this->Open(transport);
    EXPECT_FALSE(transport.Open("Other", 9600, 2000));
    EXPECT_TRUE(transport.IsOpen());
    TypeParam::ExpectRelease(this->api_, true);
}

TYPED_TEST(SharedTest, CloseReleasesOnceWhateverTheMediumAnswers) {
    typename TypeParam::Transport transport;
    this->Open(transport);
    TypeParam::ExpectRelease(this->api_, false);
    EXPECT_TRUE(transport.Close());
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.Close(), TypeParam::kClosingClosedSucceeds);
    std::uint8_t buffer[4] = {};
    EXPECT_FALSE(transport.Read(buffer, 4, nullptr));
    EXPECT_FALSE(transport.Write(buffer, 4));
}

TYPED_TEST(SharedTest, ReadReportsTheCountAndNothingWithinTheTimeoutIsSuccess) {
    typename TypeParam::Transport transport;
    this->Open(transport);
    std::uint8_t buffer[8];
    std::uint32_t got = 99;
    {
        testing::InSequence order;
        TypeParam::ExpectRead(this->api_, buffer, 8, 3, true);
        TypeParam::ExpectRead(this->api_, buffer, 8, 0, true);
        TypeParam::ExpectRead(this->api_, buffer, 8, 5, true);
        TypeParam::ExpectRead(this->api_, buffer, 8, 5, false);
    }
    EXPECT_TRUE(transport.Read(buffer, 8, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_TRUE(transport.Read(buffer, 8, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(transport.Read(buffer, 8, nullptr));
    got = 42;
    EXPECT_FALSE(transport.Read(buffer, 8, &got));
    EXPECT_EQ(got, 42u);
    TypeParam::ExpectRelease(this->api_, true);
}

TYPED_TEST(SharedTest, WriteSucceedsOnlyWhenEveryByteWasTaken) {
    typename TypeParam::Transport transport;
    this->Open(transport);
    const std::uint8_t frame[5] = {0, 3, 1, 2, 3};
    {
        testing::InSequence order;
        TypeParam::ExpectWrite(this->api_, frame, 5, 5, true);
        TypeParam::ExpectWrite(this->api_, frame, 5, 4, true);
        TypeParam::ExpectWrite(this->api_, frame, 5, 5, false);
    }
    EXPECT_TRUE(transport.Write(frame, 5));
    EXPECT_FALSE(transport.Write(frame, 5));
    EXPECT_FALSE(transport.Write(frame, 5));
    TypeParam::ExpectRelease(this->api_, true);
}

TYPED_TEST(SharedTest, PurgeClearsBothDirectionsAndReportsFailure) {
    typename TypeParam::Transport transport;
    this->Open(transport);
    {
        testing::InSequence order;
        TypeParam::ExpectPurge(this->api_, true);
        TypeParam::ExpectPurge(this->api_, false);
    }
    EXPECT_TRUE(transport.Purge());
    EXPECT_FALSE(transport.Purge());
    TypeParam::ExpectRelease(this->api_, true);
}

}  // namespace
}  // namespace fwsend
