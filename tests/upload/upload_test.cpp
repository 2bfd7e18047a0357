#include "upload/upload.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_com.h"
#include "upload/upgrade_image.h"

namespace fwsend {

namespace {

using Log = std::vector<std::string>;

struct UploadRun {
    int status;
    std::string output;
    std::string errors;  // standard error
};

// A clock that moves one millisecond each time it is asked.
MillisecondClock TickingClock() {
    auto ticks = std::make_shared<std::int64_t>(0);
    return [ticks] { return ++*ticks; };
}

UploadRun RunUpload(
    ScriptedCom& com, const std::string& fileText, const InterruptCheck& interrupted = [] { return false; }) {
    std::FILE* file = StreamOf(fileText);
    auto image = std::make_unique<UpgradeImage>();
    const ImageRead read = ReadUpgradeImage(file, *image).status;
    std::fclose(file);
    EXPECT_EQ(read, ImageRead::Ok) << fileText;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = Upload(com, *image, TickingClock(), interrupted);
    std::string output = testing::internal::GetCapturedStdout();
    return {status, output, testing::internal::GetCapturedStderr()};
}

std::string ProgressLine(char spinner, int percent) {
    return "\r                        \rTransferring.. " + std::string(1, spinner) + " " +
           std::to_string(percent) + "% done.";
}

const std::string kSuccessEnd = "\rTransferring.. 100% done.  \nTarget updated successfully.\n";

TEST(Upload, SendsEachFrameWholeAfterDrainingAndArmingTheVerdictTimeout) {
    ScriptedCom com;
    com.replies = {{FRAME_ACK}, {FRAME_ACK}};
    UploadRun run = RunUpload(com, "0003aabbcc 0000");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(com.log, (Log{"T1", "R0", "T4000", "W5", "R1", "T1", "R0", "T4000", "W2", "R1", "C"}));
    EXPECT_EQ(com.written,
              (std::vector<std::vector<std::uint8_t>>{{0x00, 0x03, 0xaa, 0xbb, 0xcc}, {0x00, 0x00}}));
    EXPECT_EQ(run.output, ProgressLine('-', 0) + ProgressLine('-', 71) + kSuccessEnd);
}

TEST(Upload, ThreeRejectionsThenAcceptanceResendsAndResetsTheCounter) {
    ScriptedCom com;
    // Frame one: rejected three times, then accepted. Frame two: the same
    // again, which only works if the counter started over.
    com.replies = {{0x13}, {0x13}, {0x13}, {FRAME_ACK}, {0x13}, {0x13}, {0x13}, {FRAME_ACK}};
    UploadRun run = RunUpload(com, "0000 0000");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(com.written.size(), 8u);
    EXPECT_EQ(run.output, ProgressLine('-', 0) + ProgressLine('-', 0) + ProgressLine('\\', 0) +
                              ProgressLine('\\', 0) + ProgressLine('|', 50) + ProgressLine('|', 50) +
                              ProgressLine('/', 50) + ProgressLine('/', 50) + kSuccessEnd);
}

TEST(Upload, FourthRejectionOfOneFrameEndsTheRunAndNamesTheFrameAndItsAnswers) {
    ScriptedCom com;
    com.replies = {{FRAME_ACK}, {0x13}, {0x00}, {0xff}, {0x5a}, {FRAME_ACK}};
    UploadRun run = RunUpload(com, "0000 0001aa");

    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(com.written.size(), 5u);
    EXPECT_EQ(com.log.back(), "C");
    EXPECT_EQ(run.output.substr(run.output.size() - 26), "\nCRC error. File damaged.\n");
    EXPECT_EQ(run.errors, "fwsend: frame 1 (offset 2, 3 bytes) was answered 0x13, 0x00, 0xFF, 0x5A\n");
}

TEST(Upload, MissingOrFailedVerdictMeansTheTargetIsNotRespondingAndNamesTheFrame) {
    const struct {
        bool readsFail;
        std::string output;
        std::string errors;
    } cases[] = {
        {false, ProgressLine('-', 0) + ProgressLine('-', 40),
         "fwsend: frame 1 (offset 2, 3 bytes) got no answer\n"},
        {true, ProgressLine('-', 0),
         "fwsend: frame 0 (offset 0, 2 bytes): the link failed while its answer was awaited\n"},
    };
    for (const auto& c : cases) {
        ScriptedCom com;
        com.readsFail = c.readsFail;
        com.replies = {{FRAME_ACK}};
        UploadRun run = RunUpload(com, "0000 0001aa");
        EXPECT_EQ(run.status, -1);
        EXPECT_EQ(run.output, c.output + "\nFailed: Target is not responding.\n");
        EXPECT_EQ(run.errors, c.errors);
        EXPECT_EQ(com.closeCalls, 1);
    }
}

TEST(Upload, StaleBytesAreDrainedAndNeverTakenAsTheVerdict) {
    ScriptedCom com;
    com.pending = {0x13, 0x13};                                  // noise before the first frame
    com.replies = {{FRAME_ACK, 0x13, 0x13, 0x13}, {FRAME_ACK}};  // extra bytes after a verdict
    UploadRun run = RunUpload(com, "0000 0000");

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(com.written.size(), 2u);
    EXPECT_EQ(com.log, (Log{"T1", "R1", "R1", "R0", "T4000", "W2", "R1", "T1", "R1", "R1", "R1", "R0",
                            "T4000", "W2", "R1", "C"}));
}

TEST(Upload, ALineThatNeverFallsSilentFailsInsteadOfDrainingForever) {
    ScriptedCom com;
    com.babbling = true;
    UploadRun run = RunUpload(com, "0000");

    EXPECT_EQ(run.status, -1);
    EXPECT_TRUE(com.written.empty());
    EXPECT_EQ(run.output, "\nFailed: Target keeps sending, the line does not settle.\n");
    EXPECT_EQ(com.closeCalls, 1);
}

TEST(Upload, AnInterruptEndsTheRunThroughItsFailureEnd) {
    // Ctrl-C during the first verdict wait: the read gives up, and the run
    // says why instead of blaming the target; the second frame is never sent.
    ScriptedCom com;
    UploadRun run = RunUpload(com, "0000 0000", [&com] { return !com.written.empty(); });
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.output, ProgressLine('-', 0) + "\nFailed: Interrupted.\n");
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(com.written.size(), 1u);
    EXPECT_EQ(com.closeCalls, 1);
}

TEST(Upload, PercentagesAreTruncatedNeverRounded) {
    // 1000 bytes in frames of 250, 748 and 2: 25 % and then 99.8 %, shown as 99.
    std::string text;
    auto frame = [&text](int size) {
        int payload = size - 2;
        char header[8];
        std::snprintf(header, sizeof header, "%02x%02x", payload >> 8, payload & 0xff);
        text += header;
        for (int i = 0; i < payload; ++i) text += "ee";
    };
    frame(250);
    frame(748);
    frame(2);
    ScriptedCom com;
    com.replies = {{FRAME_ACK}, {FRAME_ACK}, {FRAME_ACK}};
    UploadRun run = RunUpload(com, text);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              ProgressLine('-', 0) + ProgressLine('-', 25) + ProgressLine('\\', 99) + kSuccessEnd);
}

TEST(Upload, SpinnerTurnsOnEverySendAndStartsOverAfterEight) {
    ScriptedCom com;
    for (int i = 0; i < 9; ++i) com.replies.push_back({FRAME_ACK});
    std::string text;
    for (int i = 0; i < 9; ++i) text += "0000";
    UploadRun run = RunUpload(com, text);

    std::string spinners;
    for (std::size_t at = 0; (at = run.output.find("Transferring.. ", at)) != std::string::npos; at += 15)
        spinners += run.output[at + 15];
    EXPECT_EQ(spinners, "--\\\\||//-1");  // the last is the 100 % line
}

}  // namespace

}  // namespace fwsend
