// What fwsend-ports prints is what fwsend opens: in a private mount
// namespace where a fake sysfs tree is /sys, the option it prints for the
// simulated target's pseudo-terminal, given to the built fwsend, uploads the
// sample image to that target.

#include <gtest/gtest.h>

#include <sstream>

#include <sys/stat.h>

#include "tests/support/device_namespace_test.h"
#include "tests/support/upgrade_file.h"

namespace fwsend::posix {

namespace {

class PortsUploadTest : public DeviceNamespaceTest {
protected:
    // The line fwsend-ports prints for a device.
    static std::string LineOf(const std::string& listing, const std::string& device) {
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, device.size() + 1, device + " ") == 0) return line;
        return {};
    }
    // The description in the line's "-T<type> -D"..."" option.
    static std::string DescriptionIn(const std::string& line, const std::string& type) {
        const auto start = line.find(type + " -D\"");
        if (start == std::string::npos) return {};
        const auto text = start + type.size() + 4;
        return line.substr(text, line.find('"', text) - text);
    }

    void ExpectUploadWith(const std::vector<DeviceNode>& nodes, const std::string& type,
                          const std::string& description) {
        ASSERT_FALSE(description.empty());
        const RunResult run = UploadSample(nodes, type, description);
        EXPECT_EQ(run.status, 0) << run.output << run.errors;
        target_.Stop();
        EXPECT_EQ(target_.ReceivedBytes(), ReadUpgradeFile(FWSEND_SAMPLE_IMAGE));
    }
};

TEST_F(PortsUploadTest, TheFtdiChannelOptionItPrintsReachesThatChannel) {
    tree_.AddUsbDevice("1-2", "Dual RS232-HS", 2, "0403:6010");
    tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    tree_.AddUsbSerialTty("1-2", 1, "ftdi_sio", "ttyUSB1");
    const std::vector<DeviceNode> nodes = {{"ttyUSB0", "/dev/null"}, {"ttyUSB1", target_.SlavePath()}};

    const RunResult listing = Run(nodes, {FWSEND_PORTS_PATH});
    ASSERT_EQ(listing.status, 0);
    std::string const line = LineOf(listing.output, "/dev/ttyUSB1");
    EXPECT_NE(line.find("-COMttyUSB1  or  -T1 -D\"Dual RS232-HS B\"  ftdi_sio 0403:6010 \"Dual RS232-HS\""),
              std::string::npos)
        << listing.output;
    ExpectUploadWith(nodes, "-T1", DescriptionIn(line, "-T1"));
}

TEST_F(PortsUploadTest, OfTwoBridgesOfOneDescriptionItMarksTheOneFwsendTakes) {
    tree_.AddUsbDevice("1-2", "Target board", 1, "10c4:ea60");
    tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB10");
    tree_.AddUsbDevice("1-3", "Target board", 1, "10c4:ea60");
    tree_.AddUsbSerialTty("1-3", 0, "cp210x", "ttyUSB3");
    const std::vector<DeviceNode> nodes = {{"ttyUSB3", target_.SlavePath()}, {"ttyUSB10", "/dev/null"}};

    const RunResult listing = Run(nodes, {FWSEND_PORTS_PATH});
    ASSERT_EQ(listing.status, 0);
    EXPECT_NE(LineOf(listing.output, "/dev/ttyUSB10").find("-T2 never takes this one, 2nd of 2 so named"),
              std::string::npos)
        << listing.output;
    std::string const taken = LineOf(listing.output, "/dev/ttyUSB3");
    EXPECT_NE(taken.find("-T2 takes this one, 1st of 2 so named"), std::string::npos) << listing.output;
    ExpectUploadWith(nodes, "-T2", DescriptionIn(taken, "-T2"));
}

// A slot names its board by the USB socket: the option printed on the
// line below the device uploads through udev's link.
TEST_F(PortsUploadTest, TheByPathOptionItPrintsUploadsThroughThatLink) {
    tree_.AddUsbDevice("1-2", "Target board", 1, "10c4:ea60");
    tree_.AddSerialNumber("1-2", "0001");
    tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB0");
    const std::string byPath = "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    const std::vector<DeviceNode> nodes = {{"ttyUSB0", target_.SlavePath()}, {byPath, "../../ttyUSB0", true}};

    const RunResult listing = Run(nodes, {FWSEND_PORTS_PATH});
    ASSERT_EQ(listing.status, 0);
    const std::string below = "\n              -COM/dev/" + byPath + "  serial number 0001\n";
    EXPECT_NE(listing.output.find(LineOf(listing.output, "/dev/ttyUSB0") + below), std::string::npos)
        << listing.output;
    const RunResult run =
        Run(nodes, {FWSEND_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200", "-COM/dev/" + byPath});
    EXPECT_EQ(run.status, 0) << run.output << run.errors;
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), ReadUpgradeFile(FWSEND_SAMPLE_IMAGE));
}

TEST_F(PortsUploadTest, ATreeWhoseInodeNumbersExceed32BitsIsListedAndItsConverterTakesTheImage) {
    tree_.AddUsbDevice("1-2", "FT232R USB UART");
    tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    const std::vector<DeviceNode> nodes = {{"ttyUSB0", target_.SlavePath()}};
    const auto wide = [&](const std::vector<std::string>& argv) {
        return RunWithDevices(tree_.SysfsRoot(), Stage(), nodes, argv, 30000, InodeNumbers::Wide);
    };

    const RunResult listing = wide({FWSEND_PORTS_PATH});
    if (listing.status == 77) GTEST_SKIP() << "no overlayfs here that makes inode numbers wider than 32 bits";
    EXPECT_NE(LineOf(listing.output, "/dev/ttyUSB0").find("-T1 -D\"FT232R USB UART\""), std::string::npos)
        << listing.output << listing.errors;
    const RunResult upload =
        wide({FWSEND_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200", "-T1", "-DFT232R USB UART"});
    EXPECT_EQ(upload.status, 0) << upload.output << upload.errors;
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), ReadUpgradeFile(FWSEND_SAMPLE_IMAGE));
}

const std::vector<std::string> kUpload = {FWSEND_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200"};

std::vector<std::string> With(std::vector<std::string> argv, const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

TEST_F(PortsUploadTest, ASysfsThatCannotBeReadIsReportedNeverTakenForNoDevice) {
    // A /sys without its tty class, as where sysfs is not mounted.
    std::string const bareSysfs = tree_.Root() + "/bare-sys";
    ASSERT_EQ(::mkdir(bareSysfs.c_str(), 0755), 0);
    std::string const noTtys =
        "/sys/class/tty: No such file or directory (sysfs must be mounted on /sys and readable)\n";

    const RunResult listing = RunWithDevices(bareSysfs, Stage(), {}, {FWSEND_PORTS_PATH});
    EXPECT_EQ(listing.output, "");
    EXPECT_EQ(listing.errors, "fwsend-ports: the serial devices cannot be listed: " + noTtys);
    EXPECT_EQ(listing.status, 1);
    for (const auto* type : {"-T1", "-T2"}) {
        const RunResult run = RunWithDevices(bareSysfs, Stage(), {}, With(kUpload, {type, "-DBoard"}));
        EXPECT_NE(run.output.find("Error: Board in use or does not exist.\n"), std::string::npos)
            << run.output;
        EXPECT_EQ(run.errors, "fwsend: USB devices cannot be looked for: " + noTtys) << type;
        EXPECT_EQ(run.status, 255);
    }
}

TEST_F(PortsUploadTest, AProcThatCannotBeReadIsReportedNeverTakenForNoHolder) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' runtime needs /proc";
#endif
    // A /proc that root without its right to override permissions cannot
    // read: a holder of the port would go unseen.
    tree_.AddUsbDevice("1-2", "FT232R USB UART");
    tree_.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    const std::vector<DeviceNode> nodes = {{"ttyUSB0", target_.SlavePath()}};
    const std::vector<std::string> unreadableProc = {
        "sh", "-c",
        "mount -t tmpfs -o mode=000 fwsend-test-proc /proc && "
        "exec setpriv --bounding-set=-dac_override,-dac_read_search -- \"$@\"",
        "sh"};
    std::string const noProcesses = "/proc: Permission denied (/proc must be mounted and readable)\n";

    const RunResult states = Run(nodes, With(unreadableProc, {FWSEND_PORTS_PATH}));
    EXPECT_EQ(states.output, "");
    EXPECT_EQ(states.errors,
              "fwsend-ports: the processes that hold ports cannot be looked for: " + noProcesses);
    EXPECT_EQ(states.status, 1);
    const RunResult run = Run(nodes, With(unreadableProc, With(kUpload, {"-COM/dev/ttyUSB0"})));
    EXPECT_EQ(run.errors,
              "fwsend: /dev/ttyUSB0: the processes that may hold it cannot be looked for: " + noProcesses);
    EXPECT_EQ(run.status, 255);
    target_.Stop();
    EXPECT_TRUE(target_.ReceivedBytes().empty());
}

TEST(PortsOutput, AListThatCouldNotBeWrittenIsAFailure) {
    const RunResult full =
        RunProgram({"/bin/sh", "-c", std::string("exec '") + FWSEND_PORTS_PATH + "' --json >/dev/full"});
    EXPECT_NE(full.status, 0);
    EXPECT_NE(full.errors.find("fwsend-ports: the list could not be written: No space left on device"),
              std::string::npos)
        << full.errors;
}

}  // namespace

}  // namespace fwsend::posix
