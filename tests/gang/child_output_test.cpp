// What the gang reads from a fwsend child: its progress redraws and verdict
// from standard output cut into pieces anywhere, its reasons from standard
// error, and the sends and resends the redraws tell.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gang/child_output.h"
#include "gang/send_tally.h"

namespace fwsend::gang {
namespace {

// fwsend's redraw before a send, as upload/progress.cpp prints it.
std::string Redraw(char spinner, int percent) {
    return "\r                        \rTransferring.. " + std::string(1, spinner) + " " +
           std::to_string(percent) + "% done.";
}

const std::string kOpening =
    "fwsend v1.0 - Firmware upgrade over serial link\n\nConnection with Serial Com-Port COM/dev/pts/3...\n";
const std::string kSuccess = "\rTransferring.. 100% done.  \nTarget updated successfully.\n";

struct Reading {
    std::vector<int> percents;
    std::string message;
    bool completed = false;
};

Reading ReadInPieces(const std::string& output, const std::vector<std::size_t>& cuts) {
    ChildOutput child;
    std::vector<ChildOutput::Redraw> redraws;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        child.TakeOutput(std::string_view(output).substr(from, cut - from), redraws);
        from = cut;
    }
    child.TakeOutput(std::string_view(output).substr(from), redraws);
    child.Finish(redraws);
    Reading reading{{}, child.Message(), child.Completed()};
    for (const auto& redraw : redraws) reading.percents.push_back(redraw.percent);
    return reading;
}

TEST(ChildOutput, ReadsTheSameHoweverTheBytesArriveCut) {
    const std::string output =
        kOpening + Redraw('-', 0) + Redraw('-', 33) + Redraw('\\', 66) + Redraw('\\', 66) + kSuccess;
    const Reading whole = ReadInPieces(output, {});
    EXPECT_EQ(whole.percents, (std::vector<int>{0, 33, 66, 66}));
    EXPECT_EQ(whole.message, "Target updated successfully.");
    EXPECT_TRUE(whole.completed);
    for (std::size_t cut = 1; cut < output.size(); ++cut) {
        const Reading twoPieces = ReadInPieces(output, {cut});
        EXPECT_EQ(twoPieces.percents, whole.percents) << "cut at " << cut;
        EXPECT_EQ(twoPieces.message, whole.message) << "cut at " << cut;
        EXPECT_EQ(twoPieces.completed, whole.completed) << "cut at " << cut;
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < output.size(); ++cut) everyByte.push_back(cut);
    EXPECT_EQ(ReadInPieces(output, everyByte).percents, whole.percents);
}

TEST(ChildOutput, CountsARedrawAsSoonAsItIsWhole) {
    ChildOutput child;
    std::vector<ChildOutput::Redraw> redraws;
    child.TakeOutput(kOpening + Redraw('-', 0) + Redraw('-', 4), redraws);
    EXPECT_EQ(redraws.size(), 2u) << "the last redraw waited for the next one";
    child.TakeOutput(Redraw('\\', 1).substr(0, 30), redraws);  // "...Transferring.. \ 1" and no more
    EXPECT_EQ(redraws.size(), 2u) << "a redraw cut before its end was counted";
}

TEST(ChildOutput, TellsTheVerdictTheReasonsAndTheFrameNamed) {
    ChildOutput child;
    std::vector<ChildOutput::Redraw> redraws;
    child.TakeOutput(kOpening + Redraw('-', 0) + "\nFailed: Target is not responding.\n", redraws);
    child.TakeErrors("fwsend: frame 12 (offset 3096, 258 bytes) go");
    child.TakeErrors("t no answer\nfwsend: more\n");
    child.Finish(redraws);
    EXPECT_EQ(child.Message(), "Failed: Target is not responding.");
    EXPECT_EQ(child.Reason(), "fwsend: frame 12 (offset 3096, 258 bytes) got no answer; fwsend: more");
    EXPECT_EQ(child.FailedFrame(), 12);
    EXPECT_FALSE(child.Completed());

    ChildOutput refused;
    refused.TakeOutput(kOpening + "Error: COMttyUSB9 in use or does not exist.", redraws);  // no line end
    refused.TakeErrors("fwsend: frame of mind\n");
    refused.Finish(redraws);
    EXPECT_EQ(refused.Message(), "Error: COMttyUSB9 in use or does not exist.");
    EXPECT_FALSE(refused.FailedFrame());
}

// Five frames of 10 bytes in 50: the line shows 0, 20, 40, 60, 80.
const std::vector<std::int32_t> kFiveFrames(5, 10);
// Ten frames of 2 bytes, then 100 and 1880, in 2000: the ten all show 0 %,
// the next 1 %.
std::vector<std::int32_t> TenSmallThenLarge() {
    std::vector<std::int32_t> sizes(10, 2);
    sizes.push_back(100);
    sizes.push_back(1880);
    return sizes;
}

TEST(SendTally, CountsResendsExactlyWhereTheRedrawsOrFwsendTellThem) {
    SendTally twiceEach(kFiveFrames);
    for (const int percent : {0, 0, 20, 20, 40, 40, 60, 60, 80, 80}) twiceEach.Redraw(percent);
    const SendCount done = twiceEach.Count(5);  // succeeded: every frame sent
    EXPECT_EQ(done.sends, 10);
    EXPECT_EQ(done.resends, 5);
    EXPECT_TRUE(done.exact);

    SendTally rejected(kFiveFrames);  // frame 2 rejected four times
    for (const int percent : {0, 20, 40, 40, 40, 40}) rejected.Redraw(percent);
    EXPECT_EQ(rejected.Count(3).resends, 3);    // fwsend named frame 2
    const SendCount untold = rejected.Count();  // one frame shows 40 %: known all the same
    EXPECT_EQ(untold.resends, 3);
    EXPECT_TRUE(untold.exact);

    // Interrupted among the small frames: six sends at 0 % are six frames or
    // fewer; the fewest resends that fit is 0, and that is not exact.
    SendTally small(TenSmallThenLarge());
    for (int i = 0; i < 6; ++i) small.Redraw(0);
    const SendCount interrupted = small.Count();
    EXPECT_EQ(interrupted.sends, 6);
    EXPECT_EQ(interrupted.resends, 0);
    EXPECT_FALSE(interrupted.exact);
    // Once the line moves on, all ten small frames are known to have gone.
    for (int i = 0; i < 6; ++i) small.Redraw(0);
    small.Redraw(1);
    const SendCount movedOn = small.Count();
    EXPECT_EQ(movedOn.resends, 2);
    EXPECT_TRUE(movedOn.exact);
}

}  // namespace
}  // namespace fwsend::gang
