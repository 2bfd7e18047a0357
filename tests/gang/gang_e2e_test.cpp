// The built fwsend-gang against simulated targets: each board's line, record
// and status in a round of mixed outcomes; an interrupt mid-round; a file
// refused before any board; what is refused before anything starts; fwsend
// children that die or will not end; and a station's rounds with --repeat.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "tests/gang/gang_test_support.h"
#include "tests/support/sim_target_process.h"
#include "tests/support/upgrade_file.h"

namespace fwsend {
namespace {

const std::string kSample = FWSEND_SAMPLE_IMAGE;  // 48 frames of 258 bytes
const std::string kImageOption = "-F" + kSample;

class GangTest : public ::testing::Test {
protected:
    SimTarget& Target(const std::vector<std::string>& options = {}) {
        targets_.push_back(std::make_unique<SimTarget>());
        EXPECT_TRUE(targets_.back()->Start(options));
        return *targets_.back();
    }
    std::string Report() const { return scratch_.File("report.jsonl"); }

    ScratchDir scratch_;
    std::vector<std::unique_ptr<SimTarget>> targets_;
};

TEST_F(GangTest, ARoundOfMixedOutcomesGivesEachBoardItsLineRecordAndTheStatus) {
    SimTarget& good = Target();
    SimTarget& silent = Target({"--silent"});
    SimTarget& rejecting = Target({"--reject", "4"});
    const std::string missing = scratch_.File("unplugged");
    const RunResult run = RunGang({kImageOption, "-115200", good.PortArgument(), silent.PortArgument(),
                                   rejecting.PortArgument(), "-COM" + missing, "--report", Report()});
    EXPECT_EQ(run.status, 1) << run.output << run.errors;
    EXPECT_EQ(run.output.find_first_of("\r\x1b"), std::string::npos) << "a terminal's control in the log";

    const std::string one = "1 " + good.PortArgument() + " ";
    const std::vector<std::string> lines = LogLines(run.output, one);
    ASSERT_EQ(lines.size(), 5u) << run.output;
    EXPECT_EQ(lines[0], one + "started");
    EXPECT_EQ(lines[1], one + "25%");
    EXPECT_EQ(lines[2], one + "50%");
    EXPECT_EQ(lines[3], one + "75%");
    EXPECT_TRUE(std::regex_match(lines[4].substr(one.size()), std::regex(R"(done \d+\.\d s)"))) << lines[4];
    EXPECT_EQ(LogLines(run.output, "2 " + silent.PortArgument() + " failed: ").at(0),
              "2 " + silent.PortArgument() +
                  " failed: Failed: Target is not responding. (fwsend: frame 0 (offset 0, 258 bytes) got no "
                  "answer)");
    EXPECT_EQ(LogLines(run.output, "3 " + rejecting.PortArgument() + " failed: ").at(0),
              "3 " + rejecting.PortArgument() +
                  " failed: CRC error. File damaged. (fwsend: frame 0 (offset 0, 258 bytes) was answered "
                  "0x13, 0x13, "
                  "0x13, 0x13)");
    EXPECT_EQ(LogLines(run.output, "4 -COM" + missing + " failed: ").at(0),
              "4 -COM" + missing + " failed: Error: COM" + missing +
                  " in use or does not exist. (fwsend: " + missing + ": No such file or directory)");
    EXPECT_EQ(LogLines(run.output, "round 1: ").at(0), "round 1: 4 boards: 1 done, 3 failed");
    good.Stop();
    EXPECT_EQ(good.ReceivedBytes(), ReadUpgradeFile(kSample));

    const auto records = ReportRecords(Report());
    ASSERT_EQ(records.size(), 5u);
    const nlohmann::json done = BoardRecordOf(records, "1");
    EXPECT_EQ(done["options"], good.PortArgument());
    EXPECT_EQ(done["device"], good.SlavePath());
    EXPECT_EQ(done["image"], kSample);
    EXPECT_EQ(done["imageSize"], std::filesystem::file_size(kSample));
    EXPECT_EQ(done["imageFrames"], 48);
    EXPECT_EQ(done["imageSha256"], Sha256Of(kSample));
    EXPECT_EQ(done["sends"], 48);
    EXPECT_EQ(done["resends"], 0);
    EXPECT_EQ(done["result"], "done");
    EXPECT_EQ(done["exitStatus"], 0);
    EXPECT_EQ(done["message"], "Target updated successfully.");
    EXPECT_TRUE(std::regex_match(done["start"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
    EXPECT_GT(done["seconds"].get<double>(), 0);

    const nlohmann::json silence = BoardRecordOf(records, "2");
    EXPECT_EQ(silence["result"], "failed");
    EXPECT_EQ(silence["exitStatus"], 255);
    EXPECT_EQ(silence["sends"], 1);
    EXPECT_EQ(silence["reason"], "fwsend: frame 0 (offset 0, 258 bytes) got no answer");
    const nlohmann::json rejected = BoardRecordOf(records, "3");
    EXPECT_EQ(rejected["sends"], 4);
    EXPECT_EQ(rejected["resends"], 3);
    EXPECT_EQ(rejected["resendsExact"], true);
    const nlohmann::json unplugged = BoardRecordOf(records, "4");
    EXPECT_TRUE(unplugged["device"].is_null());
    EXPECT_EQ(unplugged["sends"], 0);
    EXPECT_EQ(unplugged["exitStatus"], 255);

    // The round's record comes last: its last board ended before it.
    const nlohmann::json& round = records.back();
    EXPECT_EQ(round["record"], "round");
    EXPECT_EQ(round["boards"], 4);
    EXPECT_EQ(round["done"], 1);
    EXPECT_EQ(round["failed"], 3);
    EXPECT_EQ(round["interrupted"], false);
}

TEST_F(GangTest, AnInterruptReachesEveryChildOnceAndIsWaitedFor) {
    // Ctrl-C, a termination request, a closed terminal.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // At 9600 baud the sample takes about 14 s: caught mid-upload.
        SimTarget& first = Target({"--pace", "9600"});
        SimTarget& second = Target({"--pace", "9600"});
        const std::string report = scratch_.File("report" + std::to_string(signal) + ".jsonl");
        ChildProcess gang =
            ChildProcess::Spawn({FWSEND_GANG_PATH, kImageOption, "-9600", first.PortArgument(),
                                 second.PortArgument(), "--report", report});
        std::string output;
        ASSERT_TRUE(gang.ReadUntil(" 25%\n", output, 30000)) << output;
        ASSERT_TRUE(gang.Signal(signal));
        const double interrupted = MonotonicSeconds();
        gang.ReadToEnd(output, 30000);
        EXPECT_EQ(gang.Wait(30000), 1) << signal;
        EXPECT_LT(MonotonicSeconds() - interrupted, 10.0);
        // One SIGINT each: a second would have ended fwsend without its own line.
        for (const SimTarget* target : {&first, &second})
            EXPECT_NE(output.find(" " + target->PortArgument() + " failed: Failed: Interrupted.\n"),
                      std::string::npos)
                << output;
        const auto records = ReportRecords(report);
        ASSERT_EQ(records.size(), 3u);
        for (const std::string slot : {"1", "2"}) {
            const nlohmann::json board = BoardRecordOf(records, slot);
            EXPECT_EQ(board["message"], "Failed: Interrupted.");
            EXPECT_EQ(board["exitStatus"], 255);
            EXPECT_GT(board["sends"].get<int>(), 0);
        }
        EXPECT_EQ(records.back()["interrupted"], true);
    }
}

TEST_F(GangTest, ABadFileTouchesNoBoard) {
    SimTarget& target = Target();
    const std::string damaged = scratch_.Write("damaged.txt", "0001aa\n0001 zz\n");
    const RunResult run = RunGang({"-F" + damaged, "-115200", target.PortArgument(), "--report", Report()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "Error: Upgrade file damaged: line 2, column 6 is not hexadecimal.\n");
    const RunResult missing = RunGang({"-F" + scratch_.File("none.txt"), "-115200", target.PortArgument()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output,
              "Error: Source-file '" + scratch_.File("none.txt") + "' not found or no rights.\n");
    target.Stop();
    EXPECT_NE(target.StatsLine().find("received 0 bytes"), std::string::npos) << target.StatsLine();
    EXPECT_TRUE(ReportRecords(Report()).empty());
}

TEST_F(GangTest, WhatCannotBeRunIsRefusedBeforeAnythingStarts) {
    SimTarget& target = Target();
    const std::string link = scratch_.File("board1");
    std::filesystem::create_symlink(target.SlavePath(), link);
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } refused[] = {
        {{kImageOption, "-115200", target.PortArgument(), "-COM" + link},
         "fwsend-gang: slots 1 and 2 name one device, " + target.SlavePath() + "\n"},
        {{kImageOption, "-115200", target.PortArgument(), "-T1"},
         "fwsend-gang: '-T1' names no device: fwsend needs -D<description> after -T1 or -T2\n"},
        {{kImageOption, "-115200", target.PortArgument(), "--report", scratch_.Path()},
         "fwsend-gang: the report " + scratch_.Path() + " cannot be opened: Is a directory\n"},
        {{kImageOption, "-115200", "--slots",
          scratch_.Write("slots.txt", "a " + target.PortArgument() + "\nb -T2\n")},
         "fwsend-gang: " + scratch_.File("slots.txt") +
             ":2: '-T2' names no device: fwsend needs -D<description> after -T1 or -T2\n"},
    };
    for (const auto& c : refused) {
        const RunResult run = RunGang(c.arguments);
        EXPECT_EQ(run.status, 2) << c.error;
        EXPECT_EQ(run.errors, c.error);
        EXPECT_EQ(run.output, "");
    }
    const RunResult unknown = RunGang({kImageOption, "-115200", "--turbo"});
    EXPECT_EQ(unknown.status, 2);
    const std::string usage = "fwsend-gang: unknown option '--turbo'\n\nusage: fwsend-gang -F<file>";
    EXPECT_EQ(unknown.errors.substr(0, usage.size()), usage);
    target.Stop();
    EXPECT_NE(target.StatsLine().find("received 0 bytes"), std::string::npos) << target.StatsLine();
}

// A fwsend-gang of its own in a folder with a stand-in fwsend beside it,
// which does what the board's name tells it.
class StandInTest : public GangTest {
protected:
    void SetUp() override {
        gang_ = scratch_.File("fwsend-gang");
        std::filesystem::copy_file(FWSEND_GANG_PATH, gang_);
        const std::string script =
            scratch_.Write("fwsend",
                           "#!/bin/sh\n"
                           "case \"$1\" in\n"
                           "*/killed) echo 'Target updated successfully.'; kill -KILL $$ ;;\n"
                           "*/quiet) exit 0 ;;\n"
                           "*/deaf) trap '' INT; : >\"${1#-COM}.ready\"; exec sleep 120 ;;\n"
                           "esac\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        for (const char* device : {"killed", "quiet", "deaf"}) scratch_.Write(device, "");
    }
    std::string gang_;
};

TEST_F(StandInTest, AChildThatDiesOrWillNotEndIsAFailedBoardAndNeverHangsTheGang) {
    ChildProcess gang = ChildProcess::Spawn({gang_, kImageOption, "-115200", "-COM" + scratch_.File("killed"),
                                             "-COM" + scratch_.File("quiet"), "-COM" + scratch_.File("deaf"),
                                             "--report", Report()});
    std::string output;
    const auto seen = [&](const std::string& text) {
        return output.find(text) != std::string::npos || gang.ReadUntil(text, output, 20000);
    };
    ASSERT_TRUE(seen("/killed failed: ") && seen("/quiet failed: ")) << output;
    // The deaf one ignores interrupts from here on.
    for (int waited = 0; waited < 20000 && !std::filesystem::exists(scratch_.File("deaf.ready"));
         waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(scratch_.File("deaf.ready")));
    ASSERT_TRUE(gang.Signal(SIGINT));
    // The deaf one is given its grace of 20 s, then killed.
    EXPECT_TRUE(gang.ReadToEnd(output, 60000)) << output;
    EXPECT_EQ(gang.Wait(10000), 1);

    const auto records = ReportRecords(Report());
    const nlohmann::json killed = BoardRecordOf(records, "1");
    EXPECT_EQ(killed["result"], "failed");
    EXPECT_TRUE(killed["exitStatus"].is_null());
    EXPECT_EQ(killed["signal"], 9);
    EXPECT_EQ(killed["reason"], "killed by signal 9 (SIGKILL)");
    EXPECT_EQ(BoardRecordOf(records, "2")["reason"],
              "fwsend ended with status 0 but did not report the target updated");
    const nlohmann::json deaf = BoardRecordOf(records, "3");
    EXPECT_EQ(deaf["reason"],
              "did not end within 20 s of its interrupt, killed; killed by signal 9 (SIGKILL)");
    EXPECT_GE(deaf["seconds"].get<double>(), 20.0);
}

TEST_F(StandInTest, RunsTheFwsendBesideItElseTheOneOnPath) {
    const std::string alone = scratch_.File("alone");
    std::filesystem::create_directory(alone);
    std::filesystem::copy_file(gang_, alone + "/fwsend-gang");
    const auto run = [&](const std::string& path) {
        return RunProgram({"/usr/bin/env", "PATH=" + path, alone + "/fwsend-gang", kImageOption, "-115200",
                           "-COM" + scratch_.File("quiet")});
    };
    const RunResult none = run("/nonexistent:relative");
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.errors, "fwsend-gang: no fwsend to run: none beside fwsend-gang, none on PATH\n");
    const RunResult onPath = run("/nonexistent:" + scratch_.Path());
    EXPECT_EQ(onPath.status, 1);
    EXPECT_NE(onPath.output.find("failed: fwsend ended with status 0 but did not report the target updated"),
              std::string::npos)
        << onPath.output;
}

TEST_F(GangTest, RepeatStartsASlotWhoseDeviceCameBackAndTheOthersOnEnter) {
    SimTarget& fixed = Target();
    SimTarget& plugged = Target();
    SimTarget& replugged = Target();
    // The converter on the board: its name is a link the test takes away
    // and puts back to another target, as udev does for a board swapped.
    const std::string socket = scratch_.File("socket1");
    std::filesystem::create_symlink(plugged.SlavePath(), socket);

    TypedInput input(scratch_);
    ChildProcess gang = input.StartGang(
        {kImageOption, "-115200", "--repeat", "-COM" + socket, fixed.PortArgument(), "--report", Report()},
        scratch_.File("errors.txt"));
    ASSERT_TRUE(input.Connect());
    std::string output;
    ASSERT_TRUE(gang.ReadUntil("round 1: 2 boards: 2 done, 0 failed\n", output, 30000)) << output;
    // Enter: every slot not running whose device stayed.
    ASSERT_TRUE(input.Type("\n"));
    ASSERT_TRUE(gang.ReadUntil("round 2: 2 boards: 2 done, 0 failed\n", output, 30000)) << output;

    std::filesystem::remove(socket);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // looks every 0.5 s see it gone
    std::filesystem::create_symlink(replugged.SlavePath(), socket);
    ASSERT_TRUE(gang.ReadUntil("round 3: 1 board: 1 done, 0 failed\n", output, 30000)) << output;
    // No Enter can come now, and no slot waits for its device: the station ends.
    input.Close();
    EXPECT_TRUE(gang.ReadToEnd(output, 30000));
    EXPECT_EQ(gang.Wait(10000), 0) << output;

    const auto records = ReportRecords(Report());
    EXPECT_EQ(BoardRecordOf(records, "1", 2)["device"], plugged.SlavePath());
    EXPECT_EQ(BoardRecordOf(records, "1", 3)["device"], replugged.SlavePath());
    EXPECT_EQ(BoardRecordOf(records, "2", 2)["result"], "done");
    const Bytes sample = ReadUpgradeFile(kSample);
    Bytes twice = sample;
    twice.insert(twice.end(), sample.begin(), sample.end());
    for (SimTarget* target : {&fixed, &plugged, &replugged}) target->Stop();
    EXPECT_EQ(fixed.ReceivedBytes(), twice);
    EXPECT_EQ(plugged.ReceivedBytes(), twice);
    EXPECT_EQ(replugged.ReceivedBytes(), sample);
}

}  // namespace
}  // namespace fwsend
