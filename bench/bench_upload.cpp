// fwsend-bench: uploads a full-size image (1,024 frames of 256 bytes, 262,144
// bytes) to the simulated target over a pty, first as fast as the target
// answers, then with the target paced to 115200 baud 8E1, with the built
// fwsend, with any other fwsend binaries given by --compare (an older build,
// say), and with a minimal client doing the same exchange in plain system
// calls, all side by side in one run so that they share the machine's load.
//
// For each it prints the overhead per frame beyond the drain's nominal wait,
// the tool's CPU time as a share of wall time, and the paced total against
// the wire time plus the nominal drain waits. The exit status judges the
// built fwsend: 0 when its paced total is within 1 % and its CPU time below
// 2 % of the paced run's wall time, 1 when not, 2 when an upload failed.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <termios.h>
#include <unistd.h>

#include "bench/bench_support.h"
#include "platform/posix/unique_fd.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_target_process.h"

namespace {

using namespace fwsend;
using namespace fwsend::bench;

constexpr int kRepeats = 3;
constexpr double kPacedLimitPercent = 1;
constexpr double kCpuLimitPercent = 2;

const char* const kUsage =
    "usage: fwsend-bench [--compare OTHER_FWSEND]...\n"
    "Measures the built fwsend, each OTHER_FWSEND and a minimal client side by side.\n";

// Repeated runs of one measurement: the fastest, and the slowest wall time.
struct Series {
    Run best;
    double worstWall = 0;
    int runs = 0;
    void Add(const Run& run) {
        if (runs == 0 || run.wall < best.wall) best = run;
        if (runs == 0 || run.wall > worstWall) worstWall = run.wall;
        ++runs;
    }
};

// One subject's series: a run of the image's first frame alone (start-up,
// the port's open and close, exit: an empty image is refused before the
// port is opened), the unpaced upload and the paced one.
struct Subject {
    std::string fwsend;  // empty: the minimal client
    Series startup, fast, paced;
};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The same exchange as fwsend's, done here over the pty with nothing else
// around it: drain (a 1-byte read, then a 2 ms wait), frame, verdict. What it
// costs beyond the drain's wait is what this machine's pty and scheduler cost.
Run MinimalClient(const std::string& slavePath, const Bytes& image) {
    Run run;
    UniqueFd port(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios settings{};
    if (!port.Valid() || tcgetattr(port.Get(), &settings) != 0) return run;
    cfmakeraw(&settings);
    if (tcsetattr(port.Get(), TCSANOW, &settings) != 0) return run;
    const double start = MonotonicSeconds();
    const double cpuStart = ProcessCpuSeconds();
    for (std::size_t pos = 0; pos < image.size(); pos += kFrameBytes) {
        std::uint8_t byte = 0;
        for (;;) {
            if (::read(port.Get(), &byte, 1) == 1) continue;
            pollfd in{port.Get(), POLLIN, 0};
            const timespec drainWait{0, 2000000};
            if (ppoll(&in, 1, &drainWait, nullptr) <= 0) break;
        }
        if (::write(port.Get(), &image[pos], kFrameBytes) != kFrameBytes) return run;
        pollfd in{port.Get(), POLLIN, 0};
        if (poll(&in, 1, 8000) <= 0 || ::read(port.Get(), &byte, 1) != 1 || byte != 0x11) return run;
    }
    run.wall = MonotonicSeconds() - start;
    run.cpu = ProcessCpuSeconds() - cpuStart;
    run.ok = true;
    run.exitStatus = 0;
    return run;
}

// One upload to a fresh target, by fwsend or (none given) by MinimalClient;
// false, with a message, when it did not go through whole.
bool Measure(const std::string& fwsend, const std::vector<std::string>& targetOptions,
             const std::string& imageFile, const Bytes& image, Series& series) {
    SimTarget target;
    if (!target.Start(targetOptions)) {
        std::printf("the simulated target did not start\n");
        return false;
    }
    const Run run = fwsend.empty() ? MinimalClient(target.SlavePath(), image)
                                   : Upload(fwsend, imageFile, target.SlavePath());
    target.Stop();  // its file of accepted frames is complete once it has ended
    if (!run.ok || target.ReceivedBytes() != image) {
        std::printf("%s: the upload failed or the target's frames differ from the image\n",
                    fwsend.empty() ? "minimal client" : fwsend.c_str());
        return false;
    }
    series.Add(run);
    return true;
}

double Percent(double part, double whole) { return part / whole * 100; }

void PrintSubject(const char* label, const Subject& s, double nominalTotal) {
    const bool client = s.fwsend.empty();
    const double startup = client ? 0 : s.startup.best.wall;
    // The start-up run sent one of the frames.
    const int frames = client ? kFrames : kFrames - 1;
    const double overheadMs = ((s.fast.best.wall - startup) / frames - kDrainWaitPerFrame) * 1000;
    const double worstOverheadMs = ((s.fast.worstWall - startup) / frames - kDrainWaitPerFrame) * 1000;
    std::printf("  %-16s %7.3f ms [%6.3f]  %5.2f %%  %5.2f %%  %7.3f s [%7.3f]  %+6.2f %% [%+6.2f]\n", label,
                overheadMs, worstOverheadMs, Percent(s.fast.best.cpu, s.fast.best.wall),
                Percent(s.paced.best.cpu, s.paced.best.wall), s.paced.best.wall, s.paced.worstWall,
                Percent(s.paced.best.wall - nominalTotal, nominalTotal),
                Percent(s.paced.worstWall - nominalTotal, nominalTotal));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Subject> subjects(1);
    subjects[0].fwsend = FWSEND_PATH;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--compare") == 0 && i + 1 < argc && access(argv[i + 1], X_OK) == 0) {
            subjects.emplace_back();
            subjects.back().fwsend = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    subjects.emplace_back();  // the minimal client, last
#ifdef __linux__
    // The minimal client's waits end on time, not up to the default 50 us late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    const ScratchDir dir;
    const Bytes image = BenchImage(1);
    const Bytes oneFrame(image.begin(), image.begin() + kFrameBytes);
    const std::string imageFile = dir.File("image.txt");
    const std::string oneFrameFile = dir.File("one-frame.txt");
    bool ok =
        !dir.Path().empty() && WriteUpgradeFile(imageFile, image) && WriteUpgradeFile(oneFrameFile, oneFrame);
    std::printf("fwsend-bench: %d frames of %d bytes (%zu bytes); load average %.2f\n", kFrames, kFrameBytes,
                image.size(), LoadAverage());
    std::fflush(stdout);

    // The target busy-waits, so that its own wake-ups do not count against
    // the tool; the pty's hops and the tool's wake-ups still do. The subjects
    // take turns within each round, so that a change in the machine's load
    // falls on all of them alike.
    const std::vector<std::string> unpaced{"--precise"};
    const std::vector<std::string> pace{"--precise", "--pace", std::to_string(kBaud), "--framing", "8E1"};
    for (int round = 0; ok && round < kRepeats; ++round) {
        for (Subject& s : subjects) {
            const bool client = s.fwsend.empty();
            ok = ok && (client || Measure(s.fwsend, unpaced, oneFrameFile, oneFrame, s.startup)) &&
                 Measure(s.fwsend, unpaced, imageFile, image, s.fast) &&
                 Measure(s.fwsend, pace, imageFile, image, s.paced);
        }
    }
    if (!ok) return 2;

    const double nominalTotal = PacedNominalSeconds(image.size());
    std::printf("load average at the end %.2f; each figure the best of %d runs, the slowest in brackets\n",
                LoadAverage(), kRepeats);
    std::printf("paced at %d 8E1: wire time + nominal drain waits = %.3f s\n\n", kBaud, nominalTotal);
    std::printf("  %-16s %-20s %-8s %-8s %-20s %s\n", "", "overhead/frame", "CPU", "CPU", "paced total",
                "paced vs wire");
    std::printf("  %-16s %-20s %-8s %-8s %-20s %s\n", "", "(beyond 2 ms)", "unpaced", "paced", "",
                "+ nominal drains");
    char label[16];
    for (std::size_t i = 0; i + 1 < subjects.size(); ++i) {
        std::snprintf(label, sizeof label, "fwsend %c", static_cast<char>('A' + i));
        PrintSubject(label, subjects[i], nominalTotal);
    }
    PrintSubject("minimal client", subjects.back(), nominalTotal);
    std::printf("\n");
    for (std::size_t i = 0; i + 1 < subjects.size(); ++i)
        std::printf("  fwsend %c: %s%s\n", static_cast<char>('A' + i), subjects[i].fwsend.c_str(),
                    i == 0 ? " (judged)" : "");

    // The CPU share is judged on the paced run, where the line runs at the
    // wire's speed as it does on a board; the unpaced run's cost shows in
    // the overhead per frame. The minimal client's paced total shows what
    // the pseudo-terminal and the simulated target add on their own.
    const Subject& judged = subjects[0];
    const Subject& client = subjects.back();
    const double pacedOff = Percent(judged.paced.best.wall - nominalTotal, nominalTotal);
    const double clientOff = Percent(judged.paced.best.wall - client.paced.best.wall, client.paced.best.wall);
    const double cpuShare = Percent(judged.paced.best.cpu, judged.paced.best.wall);
    const bool pacedMet = std::fabs(pacedOff) <= kPacedLimitPercent;
    const bool cpuMet = cpuShare < kCpuLimitPercent;
    std::printf("\nfwsend A, best runs:\n");
    std::printf(
        "  paced total within %.0f %% of wire time + nominal drain waits: %s (%+.2f %%; %+.2f %% against\n"
        "  the minimal client's)\n",
        kPacedLimitPercent, pacedMet ? "met" : "NOT met", pacedOff, clientOff);
    std::printf("  CPU time below %.0f %% of wall time (paced): %s (%.2f %%)\n", kCpuLimitPercent,
                cpuMet ? "met" : "NOT met", cpuShare);
    return pacedMet && cpuMet ? 0 : 1;
}
