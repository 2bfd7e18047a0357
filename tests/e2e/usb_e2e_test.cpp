// The built fwsend uploading through a USB transport to the simulated
// target: the target's pseudo-terminal is made a USB converter's tty by a
// fake sysfs tree and a device node, inside a private mount namespace.

#include <gtest/gtest.h>

#include "tests/support/device_namespace_test.h"
#include "tests/support/upgrade_file.h"

namespace fwsend::posix {

namespace {

constexpr int kFailureStatus = 255;  // main's -1

class UsbUploadTest : public DeviceNamespaceTest {
protected:
    static std::string SuccessfulRun(const std::string& connectionLine, const Bytes& image) {
        const std::vector<int> sizes = FrameSizes(image);
        return Banner() + connectionLine +
               ProgressRedraws(sizes, std::vector<int>(sizes.size(), 1), static_cast<int>(image.size())) +
               SuccessEnd();
    }
};

const std::string kFtdiConnection = "Connection with FTDI-USB Device...\n";

TEST_F(UsbUploadTest, FtdiConverterFoundByItsDescriptionTakesTheWholeImage) {
    tree_.AddUsbDevice("1-2", "Dual RS232-HS", 2, "0403:6010");
    tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    tree_.AddUsbSerialTty("1-2", 1, "ftdi_sio", "ttyUSB1");
    // Channel A leads nowhere the target listens: only "B" can succeed.
    const RunResult run =
        UploadSample({{"ttyUSB0", "/dev/null"}, {"ttyUSB1", target_.SlavePath()}}, "-T1", "Dual RS232-HS B");
    const Bytes sample = ReadUpgradeFile(FWSEND_SAMPLE_IMAGE);
    EXPECT_EQ(run.output, SuccessfulRun(kFtdiConnection, sample));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), sample);
}

TEST_F(UsbUploadTest, FtdiDescriptionWithoutADeviceIsReportedInUseOrMissing) {
    tree_.AddUsbDevice("1-2", "FT232R USB UART");
    tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB0");  // the right name, but no FTDI chip
    const RunResult run = UploadSample({{"ttyUSB0", target_.SlavePath()}}, "-T1", "FT232R USB UART");
    EXPECT_EQ(run.output, Banner() + kFtdiConnection + "Error: FT232R USB UART in use or does not exist.\n");
    EXPECT_EQ(run.errors,
              "fwsend: no FTDI converter is described as \"FT232R USB UART\"; none is attached\n");
    EXPECT_EQ(run.status, kFailureStatus);
}

const std::string kCp2102Connection = "Connection with CP2102-USB Device...\n";

TEST_F(UsbUploadTest, FirstCp2102BridgeWithTheDescriptionTakesTheWholeImage) {
    // In the natural order ttyUSB3 comes first of the two "Target board"s;
    // the others lead nowhere the target listens.
    tree_.AddUsbDevice("1-1", "Programmer");
    tree_.AddUsbSerialTty("1-1", 0, "cp210x", "ttyUSB2");
    tree_.AddUsbDevice("1-2", "Target board");
    tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB10");
    tree_.AddUsbDevice("1-3", "Target board");
    tree_.AddUsbSerialTty("1-3", 0, "cp210x", "ttyUSB3");
    const RunResult run =
        UploadSample({{"ttyUSB2", "/dev/null"}, {"ttyUSB3", target_.SlavePath()}, {"ttyUSB10", "/dev/null"}},
                     "-T2", "Target board");
    const Bytes sample = ReadUpgradeFile(FWSEND_SAMPLE_IMAGE);
    EXPECT_EQ(run.output, SuccessfulRun(kCp2102Connection, sample));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), sample);
}

TEST_F(UsbUploadTest, Cp2102DescriptionWithoutABridgeIsReportedInUseOrMissing) {
    tree_.AddUsbDevice("1-1", "Target board");
    tree_.AddUsbSerialTty("1-1", 0, "ftdi_sio", "ttyUSB0");  // the right name, but no CP210x bridge
    tree_.AddUsbDevice("1-2", "target board");
    tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB1");  // a bridge, but another name
    const RunResult run = UploadSample({{"ttyUSB0", target_.SlavePath()}, {"ttyUSB1", target_.SlavePath()}},
                                       "-T2", "Target board");
    EXPECT_EQ(run.output, Banner() + kCp2102Connection + "Error: Target board in use or does not exist.\n");
    EXPECT_EQ(run.errors, "fwsend: no CP2102 bridge has that description; found \"target board\"\n");
    EXPECT_EQ(run.status, kFailureStatus);
}

}  // namespace

}  // namespace fwsend::posix
