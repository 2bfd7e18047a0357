// fwsend's command line and its early exits, run as the user runs it.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/sim_target_process.h"
#include "tests/support/upgrade_file.h"
#include "tools/pty_pair.h"

namespace fwsend {

namespace {

constexpr int kFailureStatus = 255;  // main's -1

// Written out here on purpose rather than taken from the program's sources.
const std::string kUsage =
    "usage: fwsend -F<filename.ext> [-COMx] [-baudrate] [-Tx] [-Dusbdevicename]\n"
    "\n"
    "  filename.ext    File containing flash upgrade buffer.\n"
    "  -COMx           Communications port number.\n"
    "  -baudrate       Communication baudrate, e.g. 9600, 115200.\n"
    "                  Supported baudrates:\n"
    "                    110, 300, 600, 1200, 2400,\n"
    "                    4800, 9600, 14400, 19200, 38400,\n"
    "                    56000, 57600, 115200, 128000, 256000\n"
    "\n"
    " -Tx              Communication over:\n"
    "                  0 : ComPort (default)\n"
    "                  1 : FTDI-USB (Direct-USB)\n"
    "                  2 : CP2102-USB (Direct-USB)\n"
    "\n"
    " -Dusbdevicename  USB-String\n"
    "                  If usbdevicename includes spaces, you have to use quotes\n"
    "                  e.g. -D\"Tarvo Link 300\"\n"
    "\n";

class CommandLineTest : public ::testing::Test {
protected:
    std::string ExistingImage() {
        const std::string path = scratch_.File("image.txt");
        EXPECT_TRUE(WriteUpgradeFile(path, MakeImage({10})));
        return path;
    }
    ScratchDir scratch_;
};

TEST_F(CommandLineTest, NoArgumentsShowsBannerAndUsage) {
    const RunResult run = RunProgram({FWSEND_PATH});
    EXPECT_EQ(run.output, Banner() + kUsage);
    EXPECT_EQ(run.status, kFailureStatus);
}

TEST_F(CommandLineTest, ComPortRunWithoutPortNameShowsUsage) {
    const RunResult run = RunProgram({FWSEND_PATH, "-F" + ExistingImage(), "-115200", "-T0"});
    EXPECT_EQ(run.output, Banner() + kUsage);
    EXPECT_EQ(run.status, kFailureStatus);
}

TEST_F(CommandLineTest, MissingUpgradeFileIsReportedBeforeAnyConnection) {
    const RunResult run =
        RunProgram({FWSEND_PATH, "-F/nonexistent/image.txt", "-COM/dev/nonexistent", "-115200"});
    EXPECT_EQ(run.output, Banner() + "Error: Source-file '/nonexistent/image.txt' not found or no rights.\n");
    EXPECT_EQ(run.status, kFailureStatus);
}

TEST_F(CommandLineTest, PortThatDoesNotExistIsReported) {
    const RunResult run =
        RunProgram({FWSEND_PATH, "-F" + ExistingImage(), "-COM/dev/nonexistent", "-115200"});
    EXPECT_EQ(run.output, Banner() + ConnectionLine("COM/dev/nonexistent") +
                              "Error: COM/dev/nonexistent in use or does not exist.\n");
    EXPECT_EQ(run.errors, "fwsend: /dev/nonexistent: No such file or directory\n");
    EXPECT_EQ(run.status, kFailureStatus);

    // A device that is not a terminal, and that every process holds (our
    // standard input among them), is simply not a port.
    const RunResult null = RunProgram({FWSEND_PATH, "-F" + ExistingImage(), "-COM/dev/null", "-115200"});
    EXPECT_EQ(null.errors, "fwsend: /dev/null: not a serial port\n");
    EXPECT_EQ(null.status, kFailureStatus);
}

TEST_F(CommandLineTest, PortHeldByAnotherRunIsReportedInUse) {
    SimTarget target;
    ASSERT_TRUE(target.Start({"--silent"}));
    const std::string image = ExistingImage();
    // The first run opens the port and then waits for a verdict that never comes.
    ChildProcess first = ChildProcess::Spawn({FWSEND_PATH, "-F" + image, target.PortArgument(), "-115200"});
    std::string firstOutput;
    ASSERT_TRUE(first.ReadUntil("Transferring..", firstOutput, 5000)) << firstOutput;

    const RunResult second = RunProgram({FWSEND_PATH, "-F" + image, target.PortArgument(), "-115200"});
    const std::string portName = "COM" + target.SlavePath();
    EXPECT_EQ(second.output,
              Banner() + ConnectionLine(portName) + "Error: " + portName + " in use or does not exist.\n");
    // Refused by the first run's lock file, before the port is touched.
    EXPECT_EQ(second.errors.rfind("fwsend: " + target.SlavePath() + ": in use by process ", 0), 0u)
        << second.errors;
    EXPECT_NE(second.errors.find(" (fwsend)\n"), std::string::npos) << second.errors;
    EXPECT_EQ(second.status, kFailureStatus);
}

TEST_F(CommandLineTest, TheTerminalItRunsInIsRefusedAndNothingIsWrittenToIt) {
    PtyPair terminal;  // we are the terminal's far end, as a terminal window is
    ASSERT_TRUE(terminal.IsOpen());
    const std::string& tty = terminal.SlavePath();
    // Its standard input is that terminal, as after -COM/dev/tty or a typo
    // that names one's own terminal.
    const RunResult run = RunProgram({"/bin/sh", "-c", "exec \"$@\" <\"$0\"", tty, FWSEND_PATH,
                                      "-F" + ExistingImage(), "-COM" + tty, "-115200"});
    EXPECT_EQ(run.output,
              Banner() + ConnectionLine("COM" + tty) + "Error: COM" + tty + " in use or does not exist.\n");
    EXPECT_EQ(run.errors, "fwsend: " + tty + ": the terminal fwsend runs in, not a port\n");
    EXPECT_EQ(run.status, kFailureStatus);
    EXPECT_TRUE(terminal.Receive(1, std::chrono::milliseconds(200)).empty());
}

TEST_F(CommandLineTest, ValueOfNinetyNineCharactersIsKeptAndOneMoreIsRefused) {
    const std::string longest = "/nonexistent/" + std::string(99 - 13, 'a');
    ASSERT_EQ(longest.size(), 99u);
    const RunResult kept = RunProgram({FWSEND_PATH, "-F" + longest, "-COM/dev/nonexistent", "-115200"});
    EXPECT_EQ(kept.output, Banner() + "Error: Source-file '" + longest + "' not found or no rights.\n");

    const std::string argument = "-F" + longest + "b";
    const RunResult refused = RunProgram({FWSEND_PATH, argument, "-COM/dev/nonexistent", "-115200"});
    EXPECT_EQ(refused.output,
              Banner() + "Error: Argument '" + argument + "' is longer than 99 characters.\n");
    EXPECT_EQ(refused.status, kFailureStatus);
}

}  // namespace

}  // namespace fwsend
