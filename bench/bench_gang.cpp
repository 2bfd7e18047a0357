// fwsend-bench-gang: a fixture of boards flashed through fwsend-gang, as a
// production line does it. One image goes to N simulated targets (8 unless
// a number is given), each on its own pseudo-terminal, paced at 115200 baud
// 8E1; a lone fwsend upload before them gives the time each board should
// keep. The per-board times are the gang's own report's.
//
// The exit status is 0 when the gang ends with 0, every board's time is
// within 5 % of the lone upload's, and every target holds exactly the image;
// 1 when one of these fails, 2 when the run could not be set up. The gang's
// own CPU time (without its children's) is shown beside.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "bench/bench_support.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_target_process.h"

namespace {

using namespace fwsend;
using namespace fwsend::bench;

constexpr double kWallLimitPercent = 5;

const std::vector<std::string> kPace{"--pace", std::to_string(kBaud), "--framing", "8E1"};

// The user and system time of a finished child itself, read while it is a
// zombie: wait4's figure would add the children it reaped, the fwsends.
double OwnCpuSeconds(long pid) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) return -1;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which may hold blanks: state is
    // field 3, utime 14, stime 15.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::vector<std::string> fields;
    std::string field;
    for (char c : text.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13) return -1;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticks;
}

struct BoardRecord {
    std::string device;
    double seconds = 0;
    int exitStatus = -1;
    bool done = false;
};

std::vector<BoardRecord> ReadBoardRecords(const std::string& report) {
    std::vector<BoardRecord> boards;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        if (record.is_discarded() || record.value("record", "") != "board") continue;
        BoardRecord board;
        board.device = record["device"].is_string() ? record["device"].get<std::string>() : "";
        board.seconds = record.value("seconds", 0.0);
        board.exitStatus = record["exitStatus"].is_number() ? record["exitStatus"].get<int>() : -1;
        board.done = record.value("result", "") == "done";
        boards.push_back(board);
    }
    return boards;
}

}  // namespace

int main(int argc, char** argv) {
    const int boards = argc > 1 ? std::atoi(argv[1]) : 8;
    if (boards < 1 || boards > 256) {
        std::fprintf(stderr, "usage: fwsend-bench-gang [boards, 1..256; 8 when not given]\n");
        return 2;
    }
    const ScratchDir dir;
    const Bytes image = BenchImage(1);
    const std::string imageFile = dir.File("image.txt");
    const std::string report = dir.File("report.jsonl");
    bool ready = !dir.Path().empty() && WriteUpgradeFile(imageFile, image);
    std::printf(
        "fwsend-bench-gang: %d boards through fwsend-gang, %zu bytes each, paced at %d 8E1 (wire time +\n"
        "nominal drain waits %.3f s); load average %.2f\n",
        boards, image.size(), kBaud, PacedNominalSeconds(image.size()), LoadAverage());
    std::fflush(stdout);

    Run lone;
    if (ready) {
        SimTarget target;
        ready = target.Start(kPace);
        if (ready) lone = Upload(FWSEND_PATH, imageFile, target.SlavePath());
        target.Stop();
        ready = ready && lone.ok && target.ReceivedBytes() == image;
    }
    if (ready) std::printf("a lone upload: %.3f s, CPU %.3f s\n", lone.wall, lone.cpu);

    std::vector<SimTarget> targets(static_cast<std::size_t>(boards));
    std::vector<std::string> gang{FWSEND_GANG_PATH, "-F" + imageFile, "-" + std::to_string(kBaud), "--report",
                                  report};
    for (SimTarget& target : targets) {
        ready = ready && target.Start(kPace);
        gang.push_back(target.PortArgument());
    }
    if (!ready) {
        std::printf("the lone upload or a simulated target failed\n");
        return 2;
    }

    const double start = MonotonicSeconds();
    ChildProcess run = ChildProcess::Spawn(gang, "", ChildProcess::Stdout::Discard);
    const double gangCpu = OwnCpuSeconds(run.Pid());
    const int status = run.Wait(600000);
    const double wall = MonotonicSeconds() - start;
    const double endLoad = LoadAverage();
    for (SimTarget& target : targets) target.Stop();  // every file of accepted frames complete

    const std::vector<BoardRecord> records = ReadBoardRecords(report);
    bool met = status == 0 && records.size() == targets.size();
    double slowest = 0;
    std::printf("\n  board  device        time      vs lone   exit  target holds\n");
    for (std::size_t i = 0; i < records.size(); ++i) {
        const BoardRecord& board = records[i];
        const double off = (board.seconds - lone.wall) / lone.wall * 100;
        slowest = std::max(slowest, off);
        bool holds = false;
        for (const SimTarget& target : targets)
            if (target.SlavePath() == board.device) holds = target.ReceivedBytes() == image;
        met = met && board.done && board.exitStatus == 0 && holds && std::fabs(off) <= kWallLimitPercent;
        std::printf("  %5zu  %-12s %7.3f s  %+6.2f %%  %4d  %s\n", i, board.device.c_str(), board.seconds,
                    off, board.exitStatus, holds ? "the image" : "NOT the image");
    }
    std::printf(
        "\nfwsend-gang: exit status %d after %.3f s, its own CPU %.3f s (%.2f %% of one core); %zu board "
        "records; load average at the end %.2f\n",
        status, wall, gangCpu, gangCpu / wall * 100, records.size(), endLoad);
    std::printf(
        "every board within %.0f %% of the lone upload (slowest %+.2f %%) and holding the image: %s\n",
        kWallLimitPercent, slowest, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
