// Our USBXpress layer over pseudo-terminals that a fake sysfs tree names as
// CP210x bridges. The test plays the target on the master side.
#include "platform/posix/usb/siusbxp_posix.h"
#include "platform/open_failure.h"

#include <gtest/gtest.h>

#include <termios.h>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/fake_sysfs.h"
#include "tests/support/tty_speeds.h"
#include "tools/pty_pair.h"

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool Succeeded(SI_STATUS status) { return status == SI_SUCCESS; }

// Owns what the layer hands out.
struct Bridge {
    ~Bridge() {
        if (handle != INVALID_HANDLE_VALUE) SI_Close(handle);
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
};

termios LineSeenBy(const PtyPair& far) {
    termios line{};
    EXPECT_EQ(tcgetattr(far.Master(), &line), 0);
    return line;
}

TEST(SiLineControl, ReadsTheWordAndRefusesWhatATerminalCannotDo) {
    const auto line = WithLineControl(LineSettings{}, 0x0722);  // 7 data bits, even parity, two stop bits
    ASSERT_TRUE(line);
    EXPECT_EQ(line->dataBits, 7);
    EXPECT_EQ(line->parity, LineParity::Even);
    EXPECT_EQ(line->stopBits, LineStopBits::Two);
    const auto plain = WithLineControl(*line, 0x0800);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->dataBits, 8);
    EXPECT_EQ(plain->parity, LineParity::None);
    EXPECT_EQ(plain->stopBits, LineStopBits::One);

    for (WORD word : {0x0900, 0x0400, 0x0801, 0x0803, 0x0850})
        EXPECT_FALSE(WithLineControl(LineSettings{}, word)) << std::hex << word;
}

TEST(SiLineControl, FlowControlOnlyHoldsRtsAndDtr) {
    const auto held = WithFlowControl(LineSettings{}, 0, SI_HELD_ACTIVE, SI_HELD_INACTIVE, 0, 0, FALSE);
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->rts);
    EXPECT_FALSE(held->dtr);
    EXPECT_FALSE(WithFlowControl(LineSettings{}, 1, 0, 0, 0, 0, FALSE));  // CTS handshake
    EXPECT_FALSE(WithFlowControl(LineSettings{}, 0, 2, 0, 0, 0, FALSE));  // RTS by the firmware
    EXPECT_FALSE(WithFlowControl(LineSettings{}, 0, 0, 0, 0, 1, FALSE));  // DSR handshake
    EXPECT_FALSE(WithFlowControl(LineSettings{}, 0, 0, 0, 0, 0, TRUE));   // XON/XOFF
}

class SiLayerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(first_.IsOpen() && second_.IsOpen());
        tree_.AddUsbDevice("1-1", "Target board");
        tree_.AddUsbSerialTty("1-1", 0, "cp210x", "ttyUSB10");
        tree_.AddUsbDevice("1-3", "Programmer");
        tree_.AddUsbSerialTty("1-3", 0, "cp210x", "ttyUSB2");
        tree_.AddUsbDevice("1-2", "FT232R USB UART");
        tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
        tree_.LinkDeviceNode("ttyUSB2", first_.SlavePath());
        tree_.LinkDeviceNode("ttyUSB10", second_.SlavePath());
    }
    void Open(DWORD number, Bridge& bridge) {
        ASSERT_TRUE(Succeeded(SiOpen(tree_.Roots(), number, &bridge.handle)));
    }

    PtyPair first_, second_;  // ttyUSB2 and ttyUSB10
    FakeSysfs tree_;
};

TEST_F(SiLayerTest, NumbersTheBridgesInTheNaturalOrderOfTheirTtys) {
    DWORD count = 0;
    ASSERT_TRUE(Succeeded(SiGetNumDevices(tree_.Roots(), &count)));
    EXPECT_EQ(count, 2u);  // the FTDI converter is not one of them

    char product[SI_MAX_DEVICE_STRLEN];
    ASSERT_TRUE(Succeeded(SiGetProductString(tree_.Roots(), 0, product, SI_RETURN_DESCRIPTION)));
    EXPECT_STREQ(product, "Programmer");
    ASSERT_TRUE(Succeeded(SiGetProductString(tree_.Roots(), 1, product, SI_RETURN_DESCRIPTION)));
    EXPECT_STREQ(product, "Target board");
    EXPECT_FALSE(Succeeded(SiGetProductString(tree_.Roots(), 2, product, SI_RETURN_DESCRIPTION)));
    EXPECT_FALSE(Succeeded(SiGetProductString(tree_.Roots(), 0, product, 0)));

    // Number 1 is ttyUSB10: what its far end sends arrives there.
    Bridge bridge;
    Open(1, bridge);
    ASSERT_TRUE(Succeeded(SI_SetTimeouts(500, 500)));
    ASSERT_TRUE(second_.Send({0x11}));
    std::uint8_t byte = 0;
    DWORD got = 0;
    EXPECT_EQ(SI_Read(bridge.handle, &byte, 1, &got, nullptr), SI_SUCCESS);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, 0x11);  // raw from the open on: not taken for XON
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// Whether a byte from far's end arrives through handle: the bridge opened is that one.
bool Reaches(HANDLE handle, PtyPair& far) {
    std::uint8_t byte = 0;
    DWORD got = 0;
    return Succeeded(SI_SetTimeouts(2000, 2000)) && far.Send({0x42}) &&
           Succeeded(SI_Read(handle, &byte, 1, &got, nullptr)) && got == 1 && byte == 0x42;
}

// Each open says its own outcome, whatever the calls before it noted.
TEST_F(SiLayerTest, AnOpenByDescriptionSaysWhyItFailedWhateverCameBefore) {
    Bridge byDescription, counted, held, beyond;
    byDescription.handle = OpenCp2102ByDescription("Target board", tree_.Roots());
    ASSERT_NE(byDescription.handle, INVALID_HANDLE_VALUE) << DescribeOpenFailure();
    EXPECT_TRUE(Reaches(byDescription.handle, second_));  // ttyUSB10

    EXPECT_EQ(OpenCp2102ByDescription("target board", tree_.Roots()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(DescribeOpenFailure(),
              "no CP2102 bridge has that description; found \"Programmer\", \"Target board\"");

    DWORD count = 0;
    ASSERT_TRUE(Succeeded(SiGetNumDevices(tree_.Roots(), &count)));
    Open(0, counted);  // counted first: the search's reason goes
    EXPECT_EQ(DescribeOpenFailure(), "");
    ASSERT_TRUE(Succeeded(SiGetNumDevices(tree_.Roots(), &count)));
    EXPECT_FALSE(Succeeded(SiOpen(tree_.Roots(), 1, &held.handle)));  // ours already
    EXPECT_TRUE(StartsWith(DescribeOpenFailure(), tree_.Root() + "/dev/ttyUSB10: in use"))
        << DescribeOpenFailure();
    ASSERT_TRUE(Succeeded(SiGetNumDevices(tree_.Roots(), &count)));
    EXPECT_FALSE(Succeeded(SiOpen(tree_.Roots(), 2, &beyond.handle)));  // unplugged since the count
    EXPECT_EQ(DescribeOpenFailure(), "no CP2102 bridge numbered 2 is attached");
}

// The CP2102 link takes the first bridge of a description, free or not.
TEST(SiTwinBridges, OnlyTheFirstOfOneDescriptionIsEverOpened) {
    PtyPair first, second;
    ASSERT_TRUE(first.IsOpen() && second.IsOpen());
    FakeSysfs tree;
    for (const char* device : {"1-1", "1-2"}) tree.AddUsbDevice(device, "Twin", 1, "10c4:ea60");
    tree.AddUsbSerialTty("1-1", 0, "cp210x", "ttyUSB1");
    tree.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB0");
    tree.LinkDeviceNode("ttyUSB0", first.SlavePath());
    tree.LinkDeviceNode("ttyUSB1", second.SlavePath());

    Bridge taken, again, later;
    taken.handle = OpenCp2102ByDescription("Twin", tree.Roots());
    ASSERT_NE(taken.handle, INVALID_HANDLE_VALUE) << DescribeOpenFailure();
    EXPECT_TRUE(Reaches(taken.handle, first));  // ttyUSB0, the first in natural order

    // Held, the first is not passed over for the free second one.
    again.handle = OpenCp2102ByDescription("Twin", tree.Roots());
    EXPECT_EQ(again.handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(StartsWith(DescribeOpenFailure(), tree.Root() + "/dev/ttyUSB0: in use"))
        << DescribeOpenFailure();
    // Nor is the second opened by its number in the first one's place.
    EXPECT_FALSE(Succeeded(SiOpen(tree.Roots(), 1, &later.handle)));
    EXPECT_EQ(later.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(DescribeOpenFailure(),
              tree.Root() + "/dev/ttyUSB1: an earlier CP2102 bridge has the same description");
}

TEST_F(SiLayerTest, ABridgeIsHeldExclusivelyAndANumberOutOfRangeIsNotOpened) {
    Bridge held, again, missing;
    Open(0, held);
    EXPECT_FALSE(Succeeded(SiOpen(tree_.Roots(), 0, &again.handle)));
    EXPECT_EQ(again.handle, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Succeeded(SiOpen(tree_.Roots(), 2, &missing.handle)));
}

TEST_F(SiLayerTest, TheFarEndSeesTheRateAndFramingThatWereSet) {
    Bridge bridge;
    Open(0, bridge);
    ASSERT_EQ(SI_SetBaudRate(bridge.handle, 115200), SI_SUCCESS);
    ASSERT_EQ(SI_SetLineControl(bridge.handle, 0x0802), SI_SUCCESS);
    ASSERT_EQ(SI_SetFlowControl(bridge.handle, 0, 0, 0, 0, 0, FALSE), SI_SUCCESS);
    EXPECT_EQ(ReadTtySpeeds(first_.Master()).output, 115200u);
    EXPECT_NE(LineSeenBy(first_).c_cflag & CSTOPB, 0u);

    ASSERT_EQ(SI_SetLineControl(bridge.handle, 0x0800), SI_SUCCESS);
    termios line = LineSeenBy(first_);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(ReadTtySpeeds(first_.Master()).output, 115200u);  // the rate stays

    // What the terminal cannot do is refused and changes nothing.
    EXPECT_NE(SI_SetLineControl(bridge.handle, 0x0801), SI_SUCCESS);
    EXPECT_NE(SI_SetBaudRate(bridge.handle, 0), SI_SUCCESS);
    EXPECT_NE(SI_SetFlowControl(bridge.handle, 1, 0, 0, 0, 0, FALSE), SI_SUCCESS);
    EXPECT_EQ(LineSeenBy(first_).c_cflag & CSTOPB, 0u);
    EXPECT_EQ(ReadTtySpeeds(first_.Master()).output, 115200u);
}

TEST_F(SiLayerTest, ReadWaitsTheReadTimeoutInAllHoweverTheBytesTrickleIn) {
    ASSERT_TRUE(Succeeded(SI_SetTimeouts(4000, 4000)));
    DWORD readMs = 0, writeMs = 0;
    ASSERT_TRUE(Succeeded(SI_GetTimeouts(&readMs, &writeMs)));
    EXPECT_EQ(readMs, 4000u);
    EXPECT_EQ(writeMs, 4000u);

    Bridge bridge;
    Open(0, bridge);
    std::thread far([this] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(milliseconds(i == 0 ? 500 : 1000));
            first_.Send({static_cast<std::uint8_t>(0xA0 + i)});
        }
    });
    std::uint8_t buffer[64] = {};
    DWORD got = 0;
    const auto start = Clock::now();
    SI_STATUS const status = SI_Read(bridge.handle, buffer, sizeof buffer, &got, nullptr);
    const auto waited = Clock::now() - start;
    far.join();
    EXPECT_EQ(status, SI_READ_TIMED_OUT);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(buffer[2], 0xA2);
    EXPECT_GE(waited, milliseconds(3900));
    EXPECT_LT(waited, milliseconds(6000));  // not renewed by each byte
}

TEST_F(SiLayerTest, BytesGoOutAndAGoneBridgeFailsAtOnce) {
    ASSERT_TRUE(Succeeded(SI_SetTimeouts(4000, 4000)));
    Bridge bridge;
    Open(0, bridge);
    const std::uint8_t frame[] = {0x00, 0x02, 0xAB, 0xCD};
    DWORD written = 0;
    ASSERT_EQ(SI_Write(bridge.handle, frame, sizeof frame, &written, nullptr), SI_SUCCESS);
    EXPECT_EQ(written, sizeof frame);
    EXPECT_EQ(first_.Receive(sizeof frame, std::chrono::seconds(2)),
              (std::vector<std::uint8_t>{0x00, 0x02, 0xAB, 0xCD}));
    EXPECT_EQ(SI_FlushBuffers(bridge.handle, 1, 1), SI_SUCCESS);

    first_.Close();
    std::uint8_t byte = 0;
    DWORD got = 7;
    const auto start = Clock::now();
    SI_STATUS const status = SI_Read(bridge.handle, &byte, 1, &got, nullptr);
    EXPECT_NE(status, SI_SUCCESS);
    EXPECT_NE(status, SI_RX_QUEUE_NOT_READY);
    EXPECT_NE(status, SI_READ_TIMED_OUT);
    EXPECT_LT(Clock::now() - start, milliseconds(2000));
}

TEST_F(SiLayerTest, WriteGivesUpAfterTheWriteTimeoutWhenNothingIsTaken) {
    ASSERT_TRUE(Succeeded(SI_SetTimeouts(100, 100)));
    Bridge bridge;
    Open(0, bridge);
    std::vector<std::uint8_t> flood(1 << 20, 0x55);  // far more than the terminal buffers
    DWORD written = 0;
    const auto start = Clock::now();
    EXPECT_EQ(SI_Write(bridge.handle, flood.data(), static_cast<DWORD>(flood.size()), &written, nullptr),
              SI_WRITE_TIMED_OUT);
    EXPECT_LT(written, flood.size());
    EXPECT_LT(Clock::now() - start, milliseconds(3000));
}

}  // namespace

}  // namespace fwsend::posix
