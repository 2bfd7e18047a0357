// fwsend-gang with USB converters, in a private mount namespace where a fake
// sysfs tree makes the simulated target's pseudo-terminal a CP2102 bridge's
// tty: a board named by its description, and --all, find the device fwsend
// opens, and the report says which converter it was.

#include <gtest/gtest.h>

#include "tests/gang/gang_test_support.h"
#include "tests/support/device_namespace_test.h"
#include "tests/support/upgrade_file.h"

namespace fwsend::posix {
namespace {

class GangUsbTest : public DeviceNamespaceTest {
protected:
    void SetUp() override {
        DeviceNamespaceTest::SetUp();
        if (IsSkipped()) return;
        tree_.AddUsbDevice("1-1", "Programmer", 1, "0403:6001");
        tree_.AddUsbSerialTty("1-1", 0, "ftdi_sio", "ttyUSB0");
        tree_.AddUsbDevice("1-2", "Target board", 1, "10c4:ea60");
        tree_.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB1");
    }
    RunResult Gang(const std::vector<std::string>& boards) {
        std::vector<std::string> argv{FWSEND_GANG_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200",
                                      "--report", report_};
        argv.insert(argv.end(), boards.begin(), boards.end());
        // ttyUSB0 leads nowhere the target listens.
        return Run({{"null", "/dev/null"}, {"ttyUSB0", "/dev/null"}, {"ttyUSB1", target_.SlavePath()}}, argv);
    }
    const std::string report_ = tree_.Root() + "/report.jsonl";
};

TEST_F(GangUsbTest, BoardsNamedByDescriptionOrFoundByAllAreTheConvertersFwsendOpens) {
    const RunResult described = Gang({"-T2", "-DTarget board"});
    EXPECT_EQ(described.status, 0) << described.output << described.errors;
    const RunResult all = Gang({"--all", "--usb", "10c4:ea60"});
    EXPECT_EQ(all.status, 0) << all.output << all.errors;
    EXPECT_NE(all.output.find(" ttyUSB1 -COMttyUSB1 done "), std::string::npos) << all.output;

    const auto records = ReportRecords(report_);
    ASSERT_EQ(records.size(), 4u);
    const nlohmann::json byDescription = BoardRecordOf(records, "1");
    EXPECT_EQ(byDescription["options"], "-T2 -D\"Target board\"");
    EXPECT_EQ(byDescription["device"], "/dev/ttyUSB1");
    EXPECT_EQ(byDescription["usbId"], "10c4:ea60");
    const nlohmann::json found = BoardRecordOf(records, "ttyUSB1");
    EXPECT_EQ(found["device"], "/dev/ttyUSB1");
    EXPECT_EQ(found["usbId"], "10c4:ea60");
    target_.Stop();
    Bytes twice = ReadUpgradeFile(FWSEND_SAMPLE_IMAGE);
    const Bytes sample = twice;
    twice.insert(twice.end(), sample.begin(), sample.end());
    EXPECT_EQ(target_.ReceivedBytes(), twice);
}

}  // namespace
}  // namespace fwsend::posix
