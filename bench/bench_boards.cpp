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

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_target_process.h"

namespace {

using namespace fwsend;
using namespace fwsend::bench;

constexpr int kBoards = 8;
constexpr double kWallLimitPercent = 5;

// The targets sleep between frames: eight that busy-wait would take the
// machine's cores from the uploads being measured.
const std::vector<std::string> kPace{"--pace", std::to_string(kBaud), "--framing", "8E1"};

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
bool SecondOpenRefused(const std::string& imageFile, const std::string& slavePath) {
    const RunResult run =
        RunProgram({FWSEND_PATH, "-F" + imageFile, "-COM" + slavePath, "-" + std::to_string(kBaud)});
    const bool refused =
        run.status == 255 && run.output.find("in use or does not exist.") != std::string::npos;
    std::printf("a second fwsend on %s: exit status %d after %.3f s, %s\n", slavePath.c_str(), run.status,
                run.seconds, refused ? "refused the port in use" : "NOT refused");
    return refused;
}

}  // namespace

int main() {
    const ScratchDir dir;
    std::vector<Bytes> images;
    std::vector<std::string> imageFiles;
    bool ready = !dir.Path().empty();
    for (int i = 0; i < kBoards; ++i) {
        images.push_back(BenchImage(static_cast<std::uint32_t>(i + 1)));
        imageFiles.push_back(dir.File("image" + std::to_string(i) + ".txt"));
        ready = ready && WriteUpgradeFile(imageFiles.back(), images.back());
    }
    const double nominal = PacedNominalSeconds(images[0].size());
    std::printf(
        "fwsend-bench-boards: %d uploads at once of %zu bytes, paced at %d 8E1 (wire time + nominal\n"
        "drain waits %.3f s); load average %.2f\n",
        kBoards, images[0].size(), kBaud, nominal, LoadAverage());
    std::fflush(stdout);

    Run lone;
    if (ready) {
        SimTarget target;
        ready = target.Start(kPace);
        if (ready) lone = Upload(FWSEND_PATH, imageFiles[0], target.SlavePath());
        target.Stop();
        ready = ready && lone.ok && target.ReceivedBytes() == images[0];
    }
    if (ready) std::printf("a lone upload: %.3f s, CPU %.3f s\n", lone.wall, lone.cpu);

    std::vector<SimTarget> targets(kBoards);
    std::vector<std::string> portOf;
    for (int i = 0; ready && i < kBoards; ++i) {
        ready = targets[i].Start(kPace);
        portOf.push_back(targets[i].SlavePath());
    }
    if (!ready) {
        std::printf("the lone upload or a simulated target failed\n");
        return 2;
    }

    std::vector<ChildProcess> uploads(kBoards);
    std::vector<double> starts(kBoards, 0);
    std::vector<Run> runs(kBoards);
    for (int i = 0; i < kBoards; ++i) {
        starts[i] = MonotonicSeconds();
        uploads[i] = StartUpload(FWSEND_PATH, imageFiles[i], targets[i].SlavePath());
    }
    const bool secondRefused = WaitForFirstFrame(targets[0].ReceivedFile()) &&
                               SecondOpenRefused(imageFiles[1], targets[0].SlavePath());
    // Each upload is timed to the moment it ends, whichever ends first: a
    // look at each every 5 ms, well inside the 5 % asked of a 28 s upload.
    for (int left = kBoards; left > 0;) {
        for (int i = 0; i < kBoards; ++i) {
            if (!uploads[i].Running()) continue;
            const int status = uploads[i].Wait(0);
            if (uploads[i].Running()) continue;
            runs[i] = RunOf(uploads[i], status, starts[i]);
            --left;
        }
        if (left > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double endLoad = LoadAverage();
    for (SimTarget& target : targets) target.Stop();  // every file of accepted frames complete

    const std::set<std::string> ports(portOf.begin(), portOf.end());
    bool met = secondRefused && ports.size() == portOf.size();
    std::printf("\n  board  port          wall      vs lone   CPU      exit  target holds\n");
    for (int i = 0; i < kBoards; ++i) {
        const double off = (runs[i].wall - lone.wall) / lone.wall * 100;
        const bool own = targets[i].ReceivedBytes() == images[i];
        met = met && runs[i].ok && own && std::fabs(off) <= kWallLimitPercent;
        std::printf("  %5d  %-12s %7.3f s  %+6.2f %%  %.3f s  %4d  %s\n", i, portOf[i].c_str(), runs[i].wall,
                    off, runs[i].cpu, runs[i].exitStatus, own ? "its own image" : "NOT its image");
    }
    std::printf("\nload average at the end %.2f; %zu distinct ports for %d uploads\n", endLoad, ports.size(),
                kBoards);
    std::printf(
        "each upload within %.0f %% of the lone one, each target its own image, no port opened twice: %s\n",
        kWallLimitPercent, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
