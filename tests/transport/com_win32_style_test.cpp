// What the COM port and the FTDI converter do beyond the shared behaviour:
// the timeout and modem-line calls of the Windows serial API, and the
// device namespace for COM10 and above.
#include <gtest/gtest.h>

#include "transport_traits.h"

namespace fwsend {
namespace {

using Win32StyleTransports = testing::Types<
#ifndef _WIN32
    PortTraits,
#endif
    FtdiTraits>;

template <typename Traits>
using Win32StyleTest = TransportTest<Traits>;
TYPED_TEST_SUITE(Win32StyleTest, Win32StyleTransports);

TYPED_TEST(Win32StyleTest, TimeoutAndEscapeCallsGoToTheMediumEvenWhenClosed) {
    typename TypeParam::Transport transport;
    auto& api = this->api_;
    EXPECT_CALL(api, SetCommTimeouts(INVALID_HANDLE_VALUE, ReadTimeoutsOf(4000u))).WillOnce(Return(FALSE));
    EXPECT_FALSE(transport.SetTimeout(4000));

    COMMTIMEOUTS reported{};
    reported.ReadIntervalTimeout = 4000;
    std::uint32_t ms = 7;
    EXPECT_CALL(api, GetCommTimeouts(INVALID_HANDLE_VALUE, _))
        .WillOnce(DoAll(SetArgPointee<1>(reported), Return(TRUE)))
        .WillOnce(Return(FALSE));
    EXPECT_TRUE(transport.GetTimeout(&ms));
    EXPECT_EQ(ms, 4000u);
    EXPECT_FALSE(transport.GetTimeout(&ms));
    EXPECT_EQ(ms, 0u);  // a failed call reports the zeroed record

    EXPECT_CALL(api, EscapeCommFunction(INVALID_HANDLE_VALUE, SETDTR))
        .WillOnce(Return(1))
        .WillOnce(Return(2));
    EXPECT_TRUE(transport.EscapeFunction(SETDTR));
    EXPECT_FALSE(transport.EscapeFunction(SETDTR));  // success is exactly 1
}

#ifndef _WIN32
TEST(ComPortTest, PortsFromCom10OnGoThroughTheDeviceNamespace) {
    testing::StrictMock<MockWin32Serial> api;
    const struct {
        const char* typed;
        const char* opened;
    } cases[] = {{"COM10", "\\\\.\\COM10"},
                 {"COM256", "\\\\.\\COM256"},
                 {"COM9", "COM9"},
                 {"COM09", "COM09"},
                 {"COM10x", "COM10x"},
                 {"COM/dev/ttyS10", "COM/dev/ttyS10"},
                 {"\\\\.\\COM12", "\\\\.\\COM12"}};
    for (const auto& c : cases) {
        ComPort port;
        PortTraits::ExpectNotFound(api, c.opened);
        EXPECT_FALSE(port.Open(c.typed, 9600, 2000)) << c.typed;
        testing::Mock::VerifyAndClearExpectations(&api);
    }
}
#endif

}  // namespace
}  // namespace fwsend
