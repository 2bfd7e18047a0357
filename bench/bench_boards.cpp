// fwsend-bench-boards: many boards flashed from one machine at once, one
// fwsend per port, as on a production line. Eight uploads of the built
// fwsend run together, each with an image of its own to a simulated target
// of its own on its own pseudo-terminal, paced at 115200 baud 8E1; a lone
// upload before them gives the time each should keep. While they run, a
// ninth fwsend tries the first board's port, which is in use.
//
// The exit status is 0 when every upload's wall time is within 5 % of the
// lone upload's, every target holds exactly its own image, the ports are
// distinct and the ninth fwsend was refused the port in use; 1 when one of
// these fails, 2 when the run could not be set up.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>

#include "bench_support.h"
#include "unique_fd.h"

namespace {

using namespace fwsend::bench;

constexpr int kBoards = 8;
constexpr double kWallLimitPercent = 5;

// The targets sleep between frames: eight that busy-wait would take the
// machine's cores from the uploads being measured.
const std::vector<std::string> kPace{"--pace", std::to_string(kBaud), "--framing", "8E1"};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Until the file holds at least one byte (the target has accepted a frame
// through the port), at most about ten seconds.
bool WaitForFirstFrame(const std::string& path) {
    std::error_code error;
    for (int i = 0; i < 1000; ++i) {
        if (std::filesystem::file_size(path, error) > 0 && !error) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A second fwsend on a port that an upload holds: it must be refused
// without disturbing the upload (whose target's image is checked later).
bool SecondOpenRefused(const std::string& dir, const std::string& imageFile, const std::string& slavePath) {
    const std::string outPath = dir + "/second-open.txt";
    UniqueFd out(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const double start = Now();
    const pid_t pid = StartUpload(FWSEND_PATH, imageFile, slavePath, out.Get());
    if (pid <= 0) return false;
    const Run run = FinishUpload(pid, start);
    const bool refused =
        run.exitStatus == 255 && ReadText(outPath).find("in use or does not exist.") != std::string::npos;
    std::printf("a second fwsend on %s: exit status %d after %.3f s, %s\n", slavePath.c_str(), run.exitStatus,
                run.wall, refused ? "refused the port in use" : "NOT refused");
    return refused;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/fwsend_boards_XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    const std::string dir = pattern;
    std::vector<std::vector<std::uint8_t>> images;
    std::vector<std::string> imageFiles;
    bool ready = true;
    for (int i = 0; i < kBoards; ++i) {
        images.push_back(MakeImage(static_cast<std::uint32_t>(i + 1)));
        imageFiles.push_back(dir + "/image" + std::to_string(i) + ".txt");
        ready = ready && WriteHexFile(imageFiles.back(), images.back());
    }
    const double nominal = PacedNominalSeconds(images[0].size());
    std::printf(
        "fwsend-bench-boards: %d uploads at once of %zu bytes, paced at %d 8E1 (wire time + nominal\n"
        "drain waits %.3f s); load average %.2f\n",
        kBoards, images[0].size(), kBaud, nominal, LoadAverage());
    std::fflush(stdout);

    Run lone;
    if (ready) {
        Target target(kPace, dir + "/lone.bin");
        lone = Upload(FWSEND_PATH, imageFiles[0], target.SlavePath());
    }
    ready = ready && lone.ok && SameBytes(dir + "/lone.bin", images[0]);
    if (ready) std::printf("a lone upload: %.3f s, CPU %.3f s\n", lone.wall, lone.cpu);

    std::deque<Target> targets;
    std::vector<std::string> portOf;
    for (int i = 0; ready && i < kBoards; ++i) {
        targets.emplace_back(kPace, dir + "/board" + std::to_string(i) + ".bin");
        ready = !targets.back().SlavePath().empty();
        portOf.push_back(targets.back().SlavePath());
    }
    if (!ready) {
        std::printf("the lone upload or a simulated target failed\n");
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 2;
    }

    std::vector<pid_t> pids(kBoards, -1);
    std::vector<double> starts(kBoards, 0);
    std::vector<Run> runs(kBoards);
    for (int i = 0; i < kBoards; ++i) {
        starts[i] = Now();
        pids[i] = StartUpload(FWSEND_PATH, imageFiles[i], targets[i].SlavePath(), -1);
    }
    const bool secondRefused = WaitForFirstFrame(dir + "/board0.bin") &&
                               SecondOpenRefused(dir, imageFiles[1], targets[0].SlavePath());
    // Each upload is timed to the moment it ends, whichever ends first.
    for (int left = kBoards; left > 0;) {
        int status = 0;
        rusage usage{};
        const pid_t pid = wait4(-1, &status, 0, &usage);
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) break;
        for (int i = 0; i < kBoards; ++i) {
            if (pids[i] != pid) continue;
            runs[i] = RunFrom(status, usage, Now() - starts[i]);
            --left;
        }
    }
    const double endLoad = LoadAverage();
    targets.clear();  // every target stopped: its file is complete

    const std::set<std::string> ports(portOf.begin(), portOf.end());
    bool met = secondRefused && ports.size() == portOf.size();
    std::printf("\n  board  port          wall      vs lone   CPU      exit  target holds\n");
    for (int i = 0; i < kBoards; ++i) {
        const double off = (runs[i].wall - lone.wall) / lone.wall * 100;
        const bool own = SameBytes(dir + "/board" + std::to_string(i) + ".bin", images[i]);
        met = met && runs[i].ok && own && std::fabs(off) <= kWallLimitPercent;
        std::printf("  %5d  %-12s %7.3f s  %+6.2f %%  %.3f s  %4d  %s\n", i, portOf[i].c_str(), runs[i].wall,
                    off, runs[i].cpu, runs[i].exitStatus, own ? "its own image" : "NOT its image");
    }
    std::printf("\nload average at the end %.2f; %zu distinct ports for %d uploads\n", endLoad, ports.size(),
                kBoards);
    std::printf(
        "each upload within %.0f %% of the lone one, each target its own image, no port opened twice: %s\n",
        kWallLimitPercent, met ? "met" : "NOT met");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return met ? 0 : 1;
}
