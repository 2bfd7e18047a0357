#include "app/run.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/usage.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_com.h"

namespace fwsend {

namespace {

// What the run did with the transport it created, kept after it is gone.
struct TransportRecord {
    int created = 0;
    TransportType type = -1;
    std::string name;
    std::int32_t baud = 0;
    std::uint32_t timeout = 0;
    std::vector<std::string> log;
};

class RecordingCom : public ScriptedCom {
public:
    explicit RecordingCom(TransportRecord& record) : record_(record) {}
    ~RecordingCom() override {
        record_.name = openedName;
        record_.baud = openedBaud;
        record_.timeout = openedTimeout;
        record_.log = log;
    }

private:
    TransportRecord& record_;
};

struct RunResult {
    int status;
    std::string output;
    std::string errors;  // standard error
    TransportRecord transport;
};

RunResult RunWith(std::vector<const char*> args, bool openSucceeds = true,
                  std::vector<std::vector<std::uint8_t>> replies = {},
                  const std::string& openFailure = "/dev/ttyS6: Permission denied") {
    args.insert(args.begin(), "fwsend");
    RunResult result{};
    TransportFactory factory = [&](TransportType type) -> std::unique_ptr<Com> {
        ++result.transport.created;
        result.transport.type = type;
        auto com = std::make_unique<RecordingCom>(result.transport);
        com->openResult = openSucceeds;
        com->replies.assign(replies.begin(), replies.end());
        return com;
    };
    const RunServices services{factory, [] { return false; }, [&] { return openFailure; }};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.status = Run(static_cast<int>(args.size()), args.data(), services);
    result.output = testing::internal::GetCapturedStdout();
    result.errors = testing::internal::GetCapturedStderr();
    return result;
}

const std::string kBanner = "fwsend v1.0 - Firmware upgrade over serial link\n\n";
const std::string kUsage = kUsageText;

TEST(Run, NoArgumentsGivesBannerAndUsage) {
    RunResult r = RunWith({});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output, kBanner + kUsage);
}

TEST(Run, UsageTextHasNoTrailingBlanksAndEndsWithAnEmptyLine) {
    EXPECT_EQ(kUsage.find(" \n"), std::string::npos);
    EXPECT_EQ(kUsage.substr(kUsage.size() - 2), "\n\n");
    EXPECT_EQ(kUsage.rfind("usage: fwsend -F<filename.ext> [-COMx] [-baudrate] [-Tx] [-Dusbdevicename]\n", 0),
              0u);
}

TEST(Run, MissingBaudOrFileGivesUsageWithoutTouchingAnything) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    for (const std::vector<const char*>& args : {std::vector<const char*>{f.c_str(), "-COM1"},
                                                 {"-COM1", "-115200"},
                                                 {"-F", "-COM1", "-115200"},
                                                 {"-9600x", "-COM1"}}) {
        RunResult r = RunWith(args);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.output, kBanner + kUsage);
        EXPECT_EQ(r.transport.created, 0);
    }
}

TEST(Run, DebugSummaryPrecedesEveryCheck) {
    RunResult r = RunWith({"-debug", "-Fmissing.txt", "-T1", "-DTarvo Link 300"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output, kBanner +
                            "Baudrate          : 0\n"
                            "USB-Devicename    : Tarvo Link 300\n"
                            "Com-Port          : \n"
                            "Quelldatei        : missing.txt\n"
                            "Type              : 1 FTDI-Device\n\n" +
                            kUsage);
}

TEST(Run, UnofferedTransportTypesAreRefusedAfterTheSummary) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    for (const char* type : {"-T3", "-T-1"}) {
        RunResult r = RunWith({"-debug", f.c_str(), "-COM1", "-9600", type});
        EXPECT_EQ(r.status, -1);
        EXPECT_NE(
            r.output.find(std::string("Type              : ") + (type + 2) + " CP2102-Device\n\n" + kUsage),
            std::string::npos);
        EXPECT_EQ(r.transport.created, 0);
    }
}

TEST(Run, FileIsOpenedBeforeTheDeviceNameIsChecked) {
    RunResult r = RunWith({"-Fno-such-file.txt", "-T1", "-115200"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output, kBanner + "Error: Source-file 'no-such-file.txt' not found or no rights.\n");
    EXPECT_EQ(r.transport.created, 0);
}

TEST(Run, EachTransportNeedsItsOwnDeviceName) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{f.c_str(), "-115200", "-T2", "-COM1"},
          {f.c_str(), "-115200", "-T1", "-COM1"},
          {f.c_str(), "-115200", "-T0", "-Dsomething"}}) {
        RunResult r = RunWith(args);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.output, kBanner + kUsage);
        EXPECT_EQ(r.transport.created, 0);
    }
}

TEST(Run, OpensTheChosenTransportWithItsNameBaudAndTimeout) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    const struct {
        std::vector<const char*> args;
        TransportType type;
        std::string name;
        std::string connectionLine;
    } cases[] = {
        {{f.c_str(), "-COM3", "-57600", "-DLink"}, 0, "COM3", "Connection with Serial Com-Port COM3...\n"},
        {{f.c_str(), "-COM3", "-57600", "-T1", "-DTarvo Link 300"},
         1,
         "Tarvo Link 300",
         "Connection with FTDI-USB Device...\n"},
        {{f.c_str(), "-COM3", "-57600", "-T2", "-DBridge"},
         2,
         "Bridge",
         "Connection with CP2102-USB Device...\n"},
    };
    for (const auto& c : cases) {
        RunResult r = RunWith(c.args, true, {{0x11}});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.transport.created, 1);
        EXPECT_EQ(r.transport.type, c.type);
        EXPECT_EQ(r.transport.name, c.name);
        EXPECT_EQ(r.transport.baud, 57600);
        EXPECT_EQ(r.transport.timeout, 2000u);
        EXPECT_EQ(r.output.rfind(kBanner + c.connectionLine, 0), 0u);
        EXPECT_EQ(r.transport.log.front(), "O");
        EXPECT_EQ(r.transport.log.back(), "C");
    }
}

TEST(Run, FailedOpenNamesTheDeviceAndStops) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    RunResult r = RunWith({f.c_str(), "-COM7", "-9600"}, false);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output,
              kBanner + "Connection with Serial Com-Port COM7...\nError: COM7 in use or does not exist.\n");
    EXPECT_EQ(r.errors, "fwsend: /dev/ttyS6: Permission denied\n");
    EXPECT_EQ(r.transport.log, (std::vector<std::string>{"O"}));

    RunResult usb = RunWith({f.c_str(), "-T2", "-DTarvo Link 300", "-9600"}, false);
    EXPECT_EQ(
        usb.output,
        kBanner + "Connection with CP2102-USB Device...\nError: Tarvo Link 300 in use or does not exist.\n");

    // A product string in the reason is shown, never obeyed by the terminal.
    RunResult shown = RunWith({f.c_str(), "-T1", "-DLink", "-9600"}, false, {},
                              "no FTDI converter is described as \"Link\"; found \"Link\x1b[2J\r\"");
    EXPECT_EQ(shown.errors,
              "fwsend: no FTDI converter is described as \"Link\"; found \"Link\\x1b[2J\\x0d\"\n");
}

TEST(Run, ADirectoryIsNoSourceFile) {
    const std::string f = "-F" + testing::TempDir();
    RunResult r = RunWith({f.c_str(), "-COM1", "-9600"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output,
              kBanner + "Error: Source-file '" + testing::TempDir() + "' not found or no rights.\n");
    EXPECT_EQ(r.transport.created, 0);
}

TEST(Run, ValueOverTheLimitIsRefusedNotCut) {
    const std::string arg = "-F" + std::string(100, 'a');
    RunResult r = RunWith({arg.c_str(), "-COM1", "-9600"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.output, kBanner + "Error: Argument '" + arg + "' is longer than 99 characters.\n");
    EXPECT_EQ(r.transport.created, 0);
}

TEST(Run, ABadFileIsRefusedBeforeTheTransportIsCreated) {
    const ScratchDir dir;
    std::string tooLarge;
    for (int i = 0; i <= 262144; ++i) tooLarge += "00";
    const std::string hint =
        "fwsend: this looks like an Intel HEX file; fwsend takes the prepared upgrade file "
        "(text of hexadecimal pairs)\n";
    const struct {
        std::string text;
        std::string message;
        std::string errors;
    } cases[] = {
        {"0001aa\n;0001bb\n", "Error: Upgrade file damaged: line 2, column 1 is not hexadecimal.\n", ""},
        {":00000001FF\n", "Error: Upgrade file damaged: line 1, column 1 is not hexadecimal.\n", hint},
        {" \r\n", "Error: Upgrade file holds no frames.\n", ""},
        {"0005aabb", "Error: Upgrade file damaged: the frame at offset 0 runs past the end of the data.\n",
         ""},
        {tooLarge, "Error: Upgrade file holds more than 262144 bytes.\n", ""},
    };
    for (const auto& c : cases) {
        const std::string f = "-F" + dir.Write("image.txt", c.text);
        RunResult r = RunWith({f.c_str(), "-COM1", "-9600"}, true, {{0x11}});
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.output, kBanner + c.message);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(r.transport.created, 0);

        // The device name is checked first: without one the file is not read.
        RunResult noDevice = RunWith({f.c_str(), "-T1", "-9600"});
        EXPECT_EQ(noDevice.output, kBanner + kUsage);
    }
}

TEST(Run, UploadVerdictBecomesTheExitStatus) {
    const ScratchDir dir;
    const std::string f = "-F" + dir.Write("image.txt", "0000");
    RunResult r = RunWith({f.c_str(), "-COM1", "-9600"}, true, {{0x13}, {0x13}, {0x13}, {0x13}});
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.output.find("\nCRC error. File damaged.\n"), std::string::npos);
}

}  // namespace

}  // namespace fwsend
