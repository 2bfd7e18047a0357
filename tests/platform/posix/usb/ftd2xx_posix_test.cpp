// Our D2XX layer over a pseudo-terminal that a fake sysfs tree names as an
// FTDI converter: found by description, held exclusively, and driven with
// the calls ComFTDI makes. The test plays the target on the master side.
#include "platform/posix/usb/ftd2xx_posix.h"
#include "tests/support/read_timeouts.h"
#include "transport/serial_dcb.h"

#include <gtest/gtest.h>

#include <termios.h>
#include <chrono>
#include <vector>

#include "tests/support/fake_sysfs.h"
#include "tests/support/tty_speeds.h"
#include "tools/pty_pair.h"

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;

// Owns what the layer hands out.
struct Handle {
    explicit Handle(FT_HANDLE h) : value(h) {}
    ~Handle() {
        if (Valid()) FT_W32_CloseHandle(value);
    }
    bool Valid() const { return value != INVALID_HANDLE_VALUE; }
    FT_HANDLE value;
};

class FtdiLayerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(first_.IsOpen() && second_.IsOpen());
        tree_.AddUsbDevice("1-2", "Dual RS232-HS", 2, "0403:6010");
        tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
        tree_.AddUsbSerialTty("1-2", 1, "ftdi_sio", "ttyUSB1");
        tree_.LinkDeviceNode("ttyUSB0", first_.SlavePath());
        tree_.LinkDeviceNode("ttyUSB1", second_.SlavePath());
    }

    PtyPair first_, second_;
    FakeSysfs tree_;
};

TEST_F(FtdiLayerTest, OpensTheInterfaceNamedByTheDescriptionAndNoOther) {
    Handle device(OpenFtdiByDescription("Dual RS232-HS B", tree_.Roots()));
    ASSERT_TRUE(device.Valid());
    DCB dcb = SerialDcb(9600, NOPARITY);  // raw: 0x11 is data, not XON
    ASSERT_TRUE(FT_W32_SetCommState(device.value, &dcb));
    COMMTIMEOUTS timeouts = ReadTimeouts(200, 200, 200);
    ASSERT_TRUE(FT_W32_SetCommTimeouts(device.value, &timeouts));

    // Bytes from the second channel's far end arrive; the first channel's do not.
    ASSERT_TRUE(first_.Send({0x55}));
    ASSERT_TRUE(second_.Send({0x11}));
    std::uint8_t byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(FT_W32_ReadFile(device.value, &byte, 1, &got, nullptr));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, 0x11);
}

TEST_F(FtdiLayerTest, DescriptionsMatchExactlyAndCaseSensitively) {
    for (const char* wrong :
         {"dual rs232-hs b", "Dual RS232-HS", "Dual RS232-HS C", "Dual RS232-HS B ", ""}) {
        Handle device(OpenFtdiByDescription(wrong, tree_.Roots()));
        EXPECT_FALSE(device.Valid()) << '"' << wrong << '"';
    }
    Handle none(OpenFtdiByDescription(nullptr, tree_.Roots()));
    EXPECT_FALSE(none.Valid());
}

TEST_F(FtdiLayerTest, ADeviceThatIsHeldCannotBeOpenedUntilItIsReleased) {
    auto* held = new Handle(OpenFtdiByDescription("Dual RS232-HS A", tree_.Roots()));
    ASSERT_TRUE(held->Valid());
    Handle again(OpenFtdiByDescription("Dual RS232-HS A", tree_.Roots()));
    EXPECT_FALSE(again.Valid());
    delete held;
    Handle afterRelease(OpenFtdiByDescription("Dual RS232-HS A", tree_.Roots()));
    EXPECT_TRUE(afterRelease.Valid());
}

TEST_F(FtdiLayerTest, CarriesTheLineSettingsTimeoutsAndBytesOfComFtdi) {
    Handle device(OpenFtdiByDescription("Dual RS232-HS A", tree_.Roots()));
    ASSERT_TRUE(device.Valid());
    ASSERT_NE(FT_W32_SetupComm(device.value, 1024, 1024), 0);
    DCB dcb = SerialDcb(115200, NOPARITY);
    ASSERT_NE(FT_W32_SetCommState(device.value, &dcb), 0);

    // The far end sees a raw line at exactly that rate with one stop bit.
    const TtySpeeds speeds = ReadTtySpeeds(first_.Master());
    EXPECT_EQ(speeds.output, 115200u);
    termios line{};
    ASSERT_EQ(tcgetattr(first_.Master(), &line), 0);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u);

    COMMTIMEOUTS set = ReadTimeouts(50, 50, 50), back{};
    ASSERT_EQ(FT_W32_SetCommTimeouts(device.value, &set), 1);
    ASSERT_EQ(FT_W32_GetCommTimeouts(device.value, &back), 1);
    EXPECT_EQ(back.ReadIntervalTimeout, 50u);

    // Nothing arrives: success with no bytes, after about 2 x 50 ms.
    std::uint8_t buffer[1];
    DWORD got = 99;
    const auto start = Clock::now();
    ASSERT_TRUE(FT_W32_ReadFile(device.value, buffer, 1, &got, nullptr));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(waited, std::chrono::milliseconds(90));
    EXPECT_LT(waited, std::chrono::seconds(5));

    const std::uint8_t frame[] = {0x00, 0x02, 0xAB, 0xCD};
    DWORD written = 0;
    ASSERT_TRUE(FT_W32_WriteFile(device.value, frame, sizeof frame, &written, nullptr));
    EXPECT_EQ(written, sizeof frame);
    EXPECT_EQ(first_.Receive(sizeof frame, std::chrono::seconds(2)),
              (std::vector<std::uint8_t>{0x00, 0x02, 0xAB, 0xCD}));

    EXPECT_NE(FT_W32_PurgeComm(device.value, PURGE_TXCLEAR | PURGE_RXCLEAR), 0);

    // The converter is unplugged: the read fails at once instead of waiting.
    first_.Close();
    EXPECT_FALSE(FT_W32_ReadFile(device.value, buffer, 1, &got, nullptr));
}

}  // namespace

}  // namespace fwsend::posix
