// fwsend uploading to the simulated target: what it prints, what it exits
// with, and what the target ends up holding.

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tests/support/sim_target_process.h"
#include "tests/support/upgrade_file.h"

namespace fwsend {

namespace {

const std::string kNotResponding = "\nFailed: Target is not responding.\n";
const std::string kCrcError = "\nCRC error. File damaged.\n";
const std::string kKeepsSending = "\nFailed: Target keeps sending, the line does not settle.\n";
constexpr int kFailureStatus = 255;  // main's -1

std::vector<int> OneSendEach(std::size_t frames) { return std::vector<int>(frames, 1); }

Bytes FirstFrames(const Bytes& image, std::size_t frames) {
    std::size_t end = 0;
    const std::vector<int> sizes = FrameSizes(image);
    for (std::size_t i = 0; i < frames; ++i) end += static_cast<std::size_t>(sizes[i]);
    return Bytes(image.begin(), image.begin() + end);
}

class UploadTest : public ::testing::Test {
protected:
    void StartTarget(const std::vector<std::string>& options = {}) { ASSERT_TRUE(target_.Start(options)); }
    void TearDown() override { target_.Stop(); }

    std::string WriteImage(const Bytes& image, const std::string& name = "image.txt") {
        const std::string path = scratch_.File(name);
        EXPECT_TRUE(WriteUpgradeFile(path, image));
        return path;
    }
    RunResult Upload(const std::string& file) {
        return RunProgram({FWSEND_PATH, "-F" + file, target_.PortArgument(), "-115200"});
    }
    std::string Opening() const { return Banner() + ConnectionLine("COM" + target_.SlavePath()); }
    std::string SuccessfulRun(const Bytes& image) const {
        const std::vector<int> sizes = FrameSizes(image);
        return Opening() + ProgressRedraws(sizes, OneSendEach(sizes.size()), static_cast<int>(image.size())) +
               SuccessEnd();
    }

    ScratchDir scratch_;
    SimTarget target_;
};

TEST_F(UploadTest, SampleImageArrivesByteForByte) {
    StartTarget();
    const Bytes sample = ReadUpgradeFile(FWSEND_SAMPLE_IMAGE);
    ASSERT_EQ(sample.size(), 48u * 258u);

    const RunResult run = Upload(FWSEND_SAMPLE_IMAGE);
    EXPECT_EQ(run.output, SuccessfulRun(sample));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), sample);
}

TEST_F(UploadTest, FramesFromEmptyToLargestArriveWhole) {
    StartTarget();
    const Bytes image = MakeImage({0, 1, 255, 256, 65535, 3});
    const RunResult run = Upload(WriteImage(image));
    EXPECT_EQ(run.output, SuccessfulRun(image));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
}

TEST_F(UploadTest, ThreeRejectionsOfEveryFrameAreOvercomeByResending) {
    StartTarget({"--reject", "3"});
    const Bytes image = MakeImage({10, 20, 30});
    const RunResult run = Upload(WriteImage(image));
    // Every send redraws: the spinner turns on resends, the percentage only on acceptance.
    EXPECT_EQ(run.output, Opening() + ProgressRedraws(FrameSizes(image), {4, 4, 4}, 66) + SuccessEnd());
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
}

TEST_F(UploadTest, FourthRejectionOfOneFrameEndsTheRun) {
    StartTarget({"--reject", "4", "--reject-frame", "1"});
    const Bytes image = MakeImage({10, 20, 30});
    const RunResult run = Upload(WriteImage(image));
    EXPECT_EQ(run.output, Opening() + ProgressRedraws(FrameSizes(image), {1, 4}, 66) + kCrcError);
    EXPECT_EQ(run.errors, "fwsend: frame 1 (offset 12, 22 bytes) was answered 0x13, 0x13, 0x13, 0x13\n");
    EXPECT_EQ(run.status, kFailureStatus);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), FirstFrames(image, 1));
}

TEST_F(UploadTest, StaleBytesBehindEachVerdictAreDrainedNotTakenAsRejections) {
    StartTarget({"--stale", "3"});
    const Bytes image = MakeImage(std::vector<std::size_t>(10, 40));
    const RunResult run = Upload(WriteImage(image));
    // One send per frame: no stale 0x13 was read as the next frame's verdict.
    EXPECT_EQ(run.output, SuccessfulRun(image));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
}

TEST_F(UploadTest, LateVerdictWithinTheWaitIsAccepted) {
    StartTarget({"--delay", "1500"});
    const Bytes image = MakeImage({10, 10});
    const RunResult run = Upload(WriteImage(image));
    EXPECT_EQ(run.output, SuccessfulRun(image));
    EXPECT_EQ(run.status, 0);
}

TEST_F(UploadTest, SilentTargetIsReportedAfterTheVerdictWait) {
    StartTarget({"--silent"});
    const Bytes image = MakeImage({10, 10});
    const RunResult run = Upload(WriteImage(image));
    EXPECT_EQ(run.output, Opening() + ProgressRedraws(FrameSizes(image), {1}, 24) + kNotResponding);
    EXPECT_EQ(run.errors, "fwsend: frame 0 (offset 0, 12 bytes) got no answer\n");
    EXPECT_EQ(run.status, kFailureStatus);
    // The verdict wait is 4 to 8 s; generous bounds on both sides.
    EXPECT_GE(run.seconds, 3.5);
    EXPECT_LT(run.seconds, 15.0);
}

TEST_F(UploadTest, HangUpMidUploadFailsPromptly) {
    StartTarget({"--hang-up-after", "2"});
    const Bytes image = MakeImage(std::vector<std::size_t>(5, 50));
    const RunResult run = Upload(WriteImage(image));
    EXPECT_EQ(run.output, Opening() + ProgressRedraws(FrameSizes(image), {1, 1, 1}, 260) + kNotResponding);
    EXPECT_EQ(run.status, kFailureStatus);
    EXPECT_LT(run.seconds, 3.0) << "a hang-up must not be waited out like silence";
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), FirstFrames(image, 2));
}

TEST_F(UploadTest, BabblingTargetIsGivenUp) {
    StartTarget({"--babble"});
    const Bytes image = MakeImage({10});
    const RunResult run = Upload(WriteImage(image));
    // Normally the first drain never settles and nothing is sent. On a
    // loaded machine the kernel may hold the pty's bytes back for the 2 ms
    // that end a drain, so sends may come first: the noise rejects each, and
    // four rejections end the run too. Either way it fails, and soon.
    ASSERT_GE(run.output.size(), Opening().size() + kCrcError.size()) << run.output;
    EXPECT_EQ(run.output.substr(0, Opening().size()), Opening());
    const std::vector<int> sizes = FrameSizes(image);
    bool failedSoundly = false;
    for (const std::string& end : {kKeepsSending, kCrcError}) {
        for (int sends = 0; sends <= 4 && !failedSoundly; ++sends)
            failedSoundly = run.output == Opening() + ProgressRedraws(sizes, {sends}, 12) + end &&
                            (end == kKeepsSending ? sends < 4 : sends == 4);
    }
    EXPECT_TRUE(failedSoundly) << run.output;
    EXPECT_EQ(run.status, kFailureStatus);
    EXPECT_LT(run.seconds, 5.0);
    target_.Stop();
    EXPECT_TRUE(target_.ReceivedBytes().empty());
}

TEST_F(UploadTest, AnInterruptEndsTheRunOnItsFailureLineAndReleasesThePort) {
    // At the wire pace of 9600 baud the sample takes about 14 s: long enough
    // to be caught mid-upload by each of the three.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        StartTarget({"--pace", "9600"});
        ChildProcess run = ChildProcess::Spawn(
            {FWSEND_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, target_.PortArgument(), "-9600"});
        std::string output;
        ASSERT_TRUE(run.ReadUntil("% done.", output, 10000)) << output;
        ASSERT_TRUE(run.Signal(signal));
        std::string rest;
        run.ReadToEnd(rest, 10000);
        output += rest;
        EXPECT_EQ(run.Wait(10000), kFailureStatus) << signal;
        const std::string kInterrupted = "\nFailed: Interrupted.\n";
        ASSERT_GE(output.size(), kInterrupted.size());
        EXPECT_EQ(output.substr(output.size() - kInterrupted.size()), kInterrupted) << output;

        // Neither the terminal's exclusive flag nor our lock file outlives the run.
        const int fd = ::open(target_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int exclusive = 1;
        EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << signal;
        ::close(fd);
        std::string lockName = target_.SlavePath().substr(5);  // without /dev/
        lockName[lockName.find('/')] = '_';
        EXPECT_NE(::access(("/run/lock/LCK.." + lockName).c_str(), F_OK), 0) << signal;
        target_.Stop();
    }
}

TEST_F(UploadTest, AClosedConsoleNeverStopsAnUpload) {
    // fwsend ... | head -n 3: the reader goes, the upload goes on.
    StartTarget();
    const Bytes image = MakeImage(std::vector<std::size_t>(40, 100));
    ChildProcess run =
        ChildProcess::Spawn({FWSEND_PATH, "-F" + WriteImage(image), target_.PortArgument(), "-115200"});
    std::string line;
    ASSERT_TRUE(run.ReadLine(line, 10000));
    run.CloseStdout();
    EXPECT_EQ(run.Wait(30000), 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
}

TEST_F(UploadTest, ClosedStandardStreamsNeverBecomeThePort) {
    // Started by a daemon with standard input and output closed: the
    // upgrade file and the port would take their numbers.
    StartTarget();
    const Bytes image = MakeImage({30, 300, 3});
    const RunResult run = RunProgram({"/bin/sh", "-c", "exec \"$@\" <&- >&-", "sh", FWSEND_PATH,
                                      "-F" + WriteImage(image), target_.PortArgument(), "-115200"});
    EXPECT_EQ(run.status, 0) << run.errors;
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
    EXPECT_NE(target_.StatsLine().find("received " + std::to_string(image.size()) + " bytes"),
              std::string::npos)
        << target_.StatsLine();
}

TEST_F(UploadTest, BadFilesAreRefusedBeforeThePortIsOpened) {
    StartTarget();
    Bytes cutShort = MakeImage({10, 10});  // the second frame starts at offset 12
    cutShort.pop_back();
    Bytes loneByte = MakeImage({10});
    loneByte.push_back(0x00);  // a length byte without its partner
    const std::string tileError =
        "Error: Upgrade file damaged: the frame at offset 12 runs past the end of the data.\n";
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {WriteImage(cutShort, "cut.txt"), tileError},
        {WriteImage(loneByte, "lone.txt"), tileError},
        {WriteImage({}, "empty.txt"), "Error: Upgrade file holds no frames.\n"},
        {scratch_.Write("comment.txt", "0001aa\n# 0001bb\n"),
         "Error: Upgrade file damaged: line 2, column 1 is not hexadecimal.\n"},
    };
    for (const auto& c : cases) {
        const RunResult run = Upload(c.file);
        // No connection line: the port was never opened.
        EXPECT_EQ(run.output, Banner() + c.message);
        EXPECT_EQ(run.status, kFailureStatus);
    }
    target_.Stop();
    EXPECT_NE(target_.StatsLine().find("received 0 bytes"), std::string::npos) << target_.StatsLine();
}

TEST_F(UploadTest, APortNamedByAPathHoldingOptionTextsIsUsed) {
    // As /dev/serial/by-id/ names a converter: "-F", "-D" and "-T" in the path.
    StartTarget();
    const std::string link = scratch_.File("usb-FTDI_Tarvo-Dual-T2_A50285BI-if00-port0");
    ASSERT_EQ(::symlink(target_.SlavePath().c_str(), link.c_str()), 0);
    const Bytes image = MakeImage({10, 10});
    const RunResult run = RunProgram({FWSEND_PATH, "-F" + WriteImage(image), "-115200", "-COM" + link});
    const std::vector<int> sizes = FrameSizes(image);
    EXPECT_EQ(run.output,
              Banner() + ConnectionLine("COM" + link) + ProgressRedraws(sizes, {1, 1}, 24) + SuccessEnd());
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), image);
}

TEST_F(UploadTest, ImageOfExactlyTheCapacityUploadsAndOneByteMoreIsRefused) {
    StartTarget();
    Bytes full = MakeImage(std::vector<std::size_t>(1024, 254));
    ASSERT_EQ(full.size(), 262144u);
    Bytes tooLarge = full;
    tooLarge.push_back(0x00);

    const RunResult refused = Upload(WriteImage(tooLarge));
    EXPECT_EQ(refused.output, Banner() + "Error: Upgrade file holds more than 262144 bytes.\n");
    EXPECT_EQ(refused.status, kFailureStatus);

    const RunResult run = Upload(WriteImage(full));
    EXPECT_EQ(run.output, SuccessfulRun(full));
    EXPECT_EQ(run.status, 0);
    target_.Stop();
    EXPECT_EQ(target_.ReceivedBytes(), full);  // nothing of the refused run
}

}  // namespace

}  // namespace fwsend
