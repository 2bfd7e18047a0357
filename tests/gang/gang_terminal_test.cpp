// fwsend-gang in a real terminal: a tmux pane runs it, keys are typed into
// the pane and its screen is read back. The lines are redrawn in place, one
// per board, coloured unless NO_COLOR says otherwise, and the terminal's
// Ctrl-C reaches the children through the gang alone.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "tests/gang/gang_test_support.h"
#include "tests/support/sim_target_process.h"

namespace fwsend {
namespace {

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        const RunResult found = RunProgram({"/bin/sh", "-c", "command -v tmux"});
        if (found.status != 0)
            GTEST_SKIP()
                << "tmux is not installed (tools/need.sh --tests installs it): no real terminal to test in";
        tmux_ = found.output.substr(0, found.output.find('\n'));
        // A pane stays once its program has ended, to be read.
        config_ = scratch_.Write("tmux.conf", "set-option -g remain-on-exit on\n");
    }
    void TearDown() override {
        if (!tmux_.empty()) Tmux({"kill-server"});
    }

    // A server of our own, on a socket of our own, with none of the user's settings.
    RunResult Tmux(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{tmux_, "-L", socket_, "-f", config_};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProgram(argv, 10000);
    }
    // The gang in a pane 120 columns wide, started by a shell that says its
    // exit status below it (tmux's own record of it is not always made) and
    // that a Ctrl-C leaves to the gang.
    void StartPane(const std::string& noColour, const std::vector<std::string>& arguments) {
        std::string command = std::string("trap '' INT; '") + FWSEND_GANG_PATH + "'";
        for (const std::string& argument : arguments) command += " '" + argument + "'";
        command += "; echo \"exit status $?\"";
        ASSERT_EQ(Tmux({"new-session", "-d", "-s", "gang", "-x", "120", "-y", "20", "-e",
                        "NO_COLOR=" + noColour, command})
                      .status,
                  0);
    }
    // The pane's screen, with its colours as escape sequences, and the lines
    // above it (tmux's own line for an ended pane scrolls the screen).
    std::string Screen() { return Tmux({"capture-pane", "-p", "-e", "-S", "-20", "-t", "gang"}).output; }
    bool ScreenShows(const std::string& text, int timeoutMs = 30000) {
        for (int waited = 0; waited < timeoutMs; waited += 100) {
            if (Screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // The gang's exit status, once it has ended.
    int EndedWith(int timeoutMs = 30000) {
        if (!ScreenShows("exit status ", timeoutMs)) return -1;
        const std::string screen = Screen();
        return std::atoi(screen.c_str() + screen.find("exit status ") + 12);
    }
    static int LinesHolding(const std::string& screen, const std::string& text) {
        std::istringstream lines(screen);
        int count = 0;
        for (std::string line; std::getline(lines, line);) count += line.find(text) != std::string::npos;
        return count;
    }

    ScratchDir scratch_;
    const std::string socket_ = "fwsend-gang-test-" + std::to_string(::getpid());
    std::string tmux_;
    std::string config_;
};

TEST_F(TerminalTest, LinesAreRedrawnInPlaceColouredAndCtrlCEndsEveryBoardOnItsOwnLine) {
    SimTarget slow;
    ASSERT_TRUE(slow.Start({"--pace", "9600"}));  // about 14 s for the sample
    const std::string missing = scratch_.File("unplugged");
    StartPane("", {std::string("-F") + FWSEND_SAMPLE_IMAGE, "-9600", slow.PortArgument(), "-COM" + missing});
    ASSERT_TRUE(ScreenShows("%  resends 0  running")) << Screen();
    ASSERT_TRUE(ScreenShows("[##")) << Screen();  // at least 10 %: many redraws behind it
    const std::string running = Screen();
    // One line per board however often it was redrawn, and the summary below.
    EXPECT_EQ(LinesHolding(running, slow.PortArgument()), 1) << running;
    EXPECT_EQ(LinesHolding(running, "-COM" + missing), 1) << running;
    // Cut to the pane's width, 119 columns.
    EXPECT_NE(running.find("\x1b[31mfailed: Error: COM" + missing.substr(0, 20)), std::string::npos)
        << running;
    EXPECT_NE(running.find("2 boards: 0 done, 1 failed, 1 running"), std::string::npos) << running;

    ASSERT_EQ(Tmux({"send-keys", "-t", "gang", "C-c"}).status, 0);
    const int status = EndedWith();
    const std::string ended = Screen();
    EXPECT_EQ(status, 1) << ended;
    EXPECT_NE(ended.find("\x1b[31mfailed: Failed: Interrupted."), std::string::npos) << ended;
    EXPECT_NE(ended.find("2 boards: 0 done, 2 failed, 0 running"), std::string::npos) << ended;
    EXPECT_EQ(LinesHolding(ended, slow.PortArgument()), 1) << ended;
}

TEST_F(TerminalTest, NoColourWhereNoColorIsSet) {
    SimTarget target;
    ASSERT_TRUE(target.Start());
    StartPane("1", {std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200", target.PortArgument()});
    EXPECT_EQ(EndedWith(), 0);
    const std::string screen = Screen();
    EXPECT_NE(screen.find("[####################] 100%  resends 0  done "), std::string::npos) << screen;
    EXPECT_NE(screen.find("1 board: 1 done, 0 failed, 0 running"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("\x1b[3"), std::string::npos) << "coloured: " << screen;
}

}  // namespace
}  // namespace fwsend
