// The serial layers against a driver that behaves as real ones do where a
// pseudo-terminal cannot: it keeps another rate than the one asked for, it
// holds written bytes in a transmit queue, it has a low-latency mode.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/open_failure.h"
#include "platform/posix/usb/ftd2xx_posix.h"
#include "platform/posix/usb/siusbxp_posix.h"
#include "tests/platform/posix/usb/scripted_tty_driver.h"
#include "tests/support/fake_sysfs.h"
#include "tools/pty_pair.h"
#include "transport/serial_dcb.h"

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;

class ScriptedDriverTest : public testing::Test {
protected:
    void SetUp() override {
        Script() = ScriptedTtyDriver{};
        ASSERT_TRUE(pty_.IsOpen());
        tree_.AddUsbDevice("1-1", "FT232R USB UART");
        tree_.AddUsbSerialTty("1-1", 0, "ftdi_sio", "ttyUSB0");
        tree_.AddUsbDevice("1-2", "CP2102 USB to UART Bridge Controller", 1, "10c4:ea60");
        tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB1");
        tree_.LinkDeviceNode("ttyUSB0", pty_.SlavePath());
        tree_.LinkDeviceNode("ttyUSB1", pty_.SlavePath());
    }
    HANDLE OpenComPort() {
        return CreateFileA(pty_.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    PtyPair pty_;
    FakeSysfs tree_;
};

TEST_F(ScriptedDriverTest, ARateTheDriverDidNotTakeFailsOnEveryLayerAndSaysWhy) {
    // A 16550 asked for 128000 keeps 115200.
    Script().heldRate = 115200;
    HANDLE port = OpenComPort();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb = SerialDcb(128000, EVENPARITY);
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_EQ(DescribeOpenFailure(), pty_.SlavePath() + ": the driver kept 115200 baud instead of 128000");
    Script().heldRate.reset();
    EXPECT_TRUE(SetCommState(port, &dcb));
    CloseHandle(port);

    // cp210x rounds 110 up to 300.
    HANDLE bridge = INVALID_HANDLE_VALUE;
    ASSERT_EQ(SiOpen(tree_.Roots(), 0, &bridge), SI_SUCCESS);
    Script().heldRate = 300;
    EXPECT_NE(SI_SetBaudRate(bridge, 110), SI_SUCCESS);
    EXPECT_NE(DescribeOpenFailure().find("kept 300 baud instead of 110"), std::string::npos);
    SI_Close(bridge);

    // ftdi_sio takes 110 and says so, but the chip cannot go below 183.
    Script().heldRate.reset();
    FT_HANDLE converter = OpenFtdiByDescription("FT232R USB UART", tree_.Roots());
    ASSERT_NE(converter, INVALID_HANDLE_VALUE);
    DCB slow = SerialDcb(110, NOPARITY);
    EXPECT_FALSE(FT_W32_SetCommState(converter, &slow));
    EXPECT_EQ(DescribeOpenFailure(), "an FTDI converter cannot run below 183 baud");
    DCB slowest = SerialDcb(183, NOPARITY);
    EXPECT_TRUE(FT_W32_SetCommState(converter, &slowest));
    FT_W32_CloseHandle(converter);
}

TEST_F(ScriptedDriverTest, AWriteReturnsOnceTheDriverHasSentItsQueue) {
    HANDLE port = OpenComPort();
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb = SerialDcb(115200, EVENPARITY);
    ASSERT_TRUE(SetCommState(port, &dcb));
    COMMTIMEOUTS none{};
    ASSERT_TRUE(SetCommTimeouts(port, &none));

    Script().queueReadings = {900, 300, 0};
    const std::vector<std::uint8_t> frame(1000, 0x5a);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr));
    EXPECT_EQ(written, 1000u);
    EXPECT_EQ(Script().queueQuestions, 3u);  // asked until the queue was empty

    // A queue that never drains: the write ends at its timeout, and what was
    // still queued counts as not written.
    Script().queueReadings = {400};
    COMMTIMEOUTS writeLimit{};
    writeLimit.WriteTotalTimeoutConstant = 300;
    ASSERT_TRUE(SetCommTimeouts(port, &writeLimit));
    const auto start = Clock::now();
    EXPECT_TRUE(WriteFile(port, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr));
    const auto took = Clock::now() - start;
    EXPECT_EQ(written, 600u);
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
    CloseHandle(port);
}

TEST_F(ScriptedDriverTest, TheDriversLowLatencyModeIsPutBackOnClose) {
    Script().lowLatency = false;
    FT_HANDLE converter = OpenFtdiByDescription("FT232R USB UART", tree_.Roots());
    ASSERT_NE(converter, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Script().lowLatency, true);
    FT_W32_CloseHandle(converter);
    EXPECT_EQ(Script().lowLatency, false);

    // A driver already in low-latency mode is left as it was.
    Script().lowLatencyChanges.clear();
    Script().lowLatency = true;
    converter = OpenFtdiByDescription("FT232R USB UART", tree_.Roots());
    ASSERT_NE(converter, INVALID_HANDLE_VALUE);
    FT_W32_CloseHandle(converter);
    EXPECT_TRUE(Script().lowLatencyChanges.empty());
}

}  // namespace

}  // namespace fwsend::posix
