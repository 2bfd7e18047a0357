// fwsend-bench: uploads a full-size image (1,024 frames of 256 bytes, 262,144
// bytes) with the built fwsend to the simulated target over a pty, first as
// fast as the target answers, then with the target paced to 115200 baud 8E1,
// and prints wall time, the tool's CPU time and the time per frame beyond the
// drain's wait. The drain waits 2 ms per frame: a 1-byte read with the
// interval, multiplier and constant all 1 ms.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "transport/com_port.h"
#include "unique_fd.h"
#include "upload/upload.h"

extern char** environ;

namespace {

constexpr int kFrames = 1024;
constexpr int kRepeats = 3;
constexpr int kPayload = 254;
constexpr int kFrameBytes = kPayload + 2;
constexpr double kDrainWaitPerFrame = 0.002;
constexpr int kBaud = 115200;
constexpr int kBitsPerByte = 11;  // 8E1: start, 8 data, parity, stop

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::vector<std::uint8_t> MakeImage() {
    std::vector<std::uint8_t> image;
    std::uint32_t seed = 1;
    for (int frame = 0; frame < kFrames; ++frame) {
        image.push_back(kPayload >> 8);
        image.push_back(kPayload & 0xFF);
        for (int i = 0; i < kPayload; ++i) {
            seed = seed * 1103515245u + 12345u;
            image.push_back(static_cast<std::uint8_t>(seed >> 16));
        }
    }
    return image;
}

bool WriteHexFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        std::fprintf(file, "%02X%c", bytes[i], i % 32 == 31 ? '\n' : ' ');
    return std::fclose(file) == 0;
}

// Spawns argv with stdin and stderr on /dev/null and stdout to stdoutFd
// (-1: /dev/null); the child's pid or -1.
pid_t Spawn(const std::vector<std::string>& argv, int stdoutFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// The simulated target for one run; stopped and reaped when it goes.
class Target {
public:
    Target(const std::vector<std::string>& options, const std::string& outFile) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return;
        UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
        std::vector<std::string> argv{FWSEND_TARGET_PATH, "--out", outFile};
        argv.insert(argv.end(), options.begin(), options.end());
        pid_ = Spawn(argv, writeEnd.Get());
        writeEnd.Reset();
        std::string line;
        char c = 0;
        pollfd out{readEnd.Get(), POLLIN, 0};
        while (pid_ > 0 && poll(&out, 1, 5000) > 0 && ::read(readEnd.Get(), &c, 1) == 1 && c != '\n')
            line += c;
        slavePath_ = line;
    }
    ~Target() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    const std::string& SlavePath() const { return slavePath_; }

private:
    pid_t pid_ = -1;
    std::string slavePath_;
};

struct Run {
    bool ok = false;
    double wall = 0;
    double cpu = 0;  // the tool's user + system time
};

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

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

Run Upload(const std::string& imageFile, const std::string& slavePath) {
    Run run;
    const double start = Now();
    const pid_t pid = Spawn({FWSEND_PATH, "-F" + imageFile, "-COM" + slavePath, "-115200"}, -1);
    if (pid <= 0) return run;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wall = Now() - start;
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The same exchange as fwsend's, done here over the pty with nothing else
// around it: drain (a 1-byte read, then a 2 ms wait), frame, verdict. What it
// costs beyond the drain's wait is what this machine's pty and scheduler cost.
Run MinimalClient(const std::string& slavePath, const std::vector<std::uint8_t>& image) {
    Run run;
    UniqueFd port(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios settings{};
    if (!port.Valid() || tcgetattr(port.Get(), &settings) != 0) return run;
    cfmakeraw(&settings);
    if (tcsetattr(port.Get(), TCSANOW, &settings) != 0) return run;
    const double start = Now();
    for (std::size_t pos = 0; pos < image.size(); pos += kFrameBytes) {
        std::uint8_t byte = 0;
        for (;;) {
            if (::read(port.Get(), &byte, 1) == 1) continue;
            // Exactly 2 ms, as the tool's timerfd waits: poll's millisecond
            // timeout would add the timer slack and flatter the tool.
            pollfd in{port.Get(), POLLIN, 0};
            const timespec drainWait{0, 2000000};
            if (ppoll(&in, 1, &drainWait, nullptr) <= 0) break;
        }
        if (::write(port.Get(), &image[pos], kFrameBytes) != kFrameBytes) return run;
        pollfd in{port.Get(), POLLIN, 0};
        if (poll(&in, 1, 8000) <= 0 || ::read(port.Get(), &byte, 1) != 1 || byte != 0x11) return run;
    }
    run.wall = Now() - start;
    run.ok = true;
    return run;
}

// What the drain's wait really is on this machine: the tool's own ComPort
// reading one byte with the drain's timeout from the target's line, which
// stays silent, under the same load as the uploads (the target spinning).
// The nominal 2 ms plus whatever the waiter could not make up of its late wakes.
double MeasuredDrainWait(const std::vector<std::string>& targetOptions, const std::string& dir) {
    Target target(targetOptions, dir + "/received.bin");
    if (target.SlavePath().empty()) return -1;
    const std::string slave = "COM" + target.SlavePath();
    fwsend::ComPort port;
    if (!port.Open(slave.c_str(), kBaud, 2000) || !port.SetTimeout(fwsend::kDrainTimeout)) return -1;
    std::uint8_t byte = 0;
    std::uint32_t received = 0;
    const double start = Now();
    for (int i = 0; i < kFrames; ++i)
        if (!port.Read(&byte, 1, &received) || received != 0) return -1;
    return (Now() - start) / kFrames;
}

bool SameBytes(const std::string& path, const std::vector<std::uint8_t>& expected) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return got == expected;
}

// One upload to a fresh target, by fwsend or (no image file) by MinimalClient;
// false, with a message, when it did not go through whole.
bool Measure(const char* what, const std::vector<std::string>& targetOptions, const std::string& dir,
             const std::string& imageFile, const std::vector<std::uint8_t>& image, Run& run) {
    const std::string received = dir + "/received.bin";
    {
        Target target(targetOptions, received);
        if (target.SlavePath().empty()) {
            std::printf("%s: the simulated target did not start\n", what);
            return false;
        }
        run = imageFile.empty() ? MinimalClient(target.SlavePath(), image) : Upload(imageFile, target.SlavePath());
    }
    if (!run.ok || !SameBytes(received, image)) {
        std::printf("%s: the upload failed or the target's frames differ from the image\n", what);
        return false;
    }
    return true;
}

}  // namespace

int main() {
#ifdef __linux__
    // The minimal client's waits end on time, as the tool's timerfd does,
    // not up to the default 50 us late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    char pattern[] = "/tmp/fwsend_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::vector<std::uint8_t> image = MakeImage();
    const std::vector<std::uint8_t> empty;
    const std::string imageFile = dir + "/image.txt";
    const std::string emptyFile = dir + "/empty.txt";
    int status = 1;
    if (WriteHexFile(imageFile, image) && WriteHexFile(emptyFile, empty)) {
        std::printf("fwsend-bench: %d frames of %d bytes (%zu bytes)\n\n", kFrames, kFrameBytes, image.size());
        // The target busy-waits, so that its own wake-ups do not count
        // against the tool; the pty's hops and the tool's wake-ups still do.
        const std::vector<std::string> unpaced{"--precise"};
        const std::vector<std::string> pace{"--precise", "--pace", std::to_string(kBaud), "--framing", "8E1"};
        const double drainWait = MeasuredDrainWait(unpaced, dir);
        // Each figure is the best of three runs, to damp the noise of a shared
        // machine; the slowest of the three is printed next to it.
        Series startup, floor, fast, paced, pacedFloor;
        bool ok = drainWait > 0;
        for (int i = 0; ok && i < kRepeats; ++i) {
            Run start, client, run, pacedRun, pacedClient;
            ok = Measure("startup", unpaced, dir, emptyFile, empty, start) &&
                 Measure("minimal client", unpaced, dir, "", image, client) &&
                 Measure("unpaced", unpaced, dir, imageFile, image, run) &&
                 Measure("paced", pace, dir, imageFile, image, pacedRun) &&
                 Measure("paced minimal client", pace, dir, "", image, pacedClient);
            if (!ok) break;
            startup.Add(start);
            floor.Add(client);
            fast.Add(run);
            paced.Add(pacedRun);
            pacedFloor.Add(pacedClient);
        }
        if (!ok && drainWait <= 0) std::printf("the drain's wait could not be measured on a pty\n");
        if (ok) {
            const double nominalMs = kDrainWaitPerFrame * 1000;
            const double measuredMs = drainWait * 1000;
            const double perFrameMs = (fast.best.wall - startup.best.wall) / kFrames * 1000;
            const double worstPerFrameMs = (fast.worstWall - startup.best.wall) / kFrames * 1000;
            const double floorMs = floor.best.wall / kFrames * 1000;
            const double cpuShare = fast.best.cpu / fast.best.wall * 100;
            auto verdict = [](bool met) { return met ? "met" : "NOT met"; };

            std::printf("drain's wait: nominal %.3f ms; measured here %.3f ms (the tool's ComPort, %d silent reads\n"
                        "  on the busy-waiting target's line)\n"
                        "each figure: the best of %d runs (the slowest in brackets)\n\n",
                        nominalMs, measuredMs, kFrames, kRepeats);
            std::printf("unpaced:\n");
            std::printf("  wall time        %8.3f s [%.3f] (a run with an empty image: %.3f s)\n", fast.best.wall,
                        fast.worstWall, startup.best.wall);
            std::printf("  fwsend CPU time  %8.3f s = %.2f %% of wall time\n", fast.best.cpu, cpuShare);
            std::printf("  per frame        %8.3f ms [%.3f]\n", perFrameMs, worstPerFrameMs);
            std::printf("  overhead beyond the nominal drain wait:  %.3f ms [%.3f]\n", perFrameMs - nominalMs,
                        worstPerFrameMs - nominalMs);
            std::printf("  overhead beyond the measured drain wait: %.3f ms [%.3f]\n", perFrameMs - measuredMs,
                        worstPerFrameMs - measuredMs);
            std::printf("  a minimal client doing the same exchange: %.3f ms per frame [%.3f], %.3f ms beyond the\n"
                        "  nominal and %.3f ms beyond the measured wait (the pty's and the scheduler's cost on this\n"
                        "  machine; fwsend's own share: %+.3f ms)\n",
                        floorMs, floor.worstWall / kFrames * 1000, floorMs - nominalMs, floorMs - measuredMs,
                        perFrameMs - floorMs);

            const double wire = static_cast<double>(image.size() + kFrames) * kBitsPerByte / kBaud;
            const double nominalTotal = wire + kFrames * kDrainWaitPerFrame;
            const double measuredTotal = wire + kFrames * drainWait;
            auto off = [](double wall, double expected) { return (wall - expected) / expected * 100; };
            const double offNominal = off(paced.best.wall, nominalTotal);
            const double offMeasured = off(paced.best.wall, measuredTotal);
            std::printf("paced at %d 8E1:\n", kBaud);
            std::printf("  wall time        %8.3f s [%.3f], fwsend CPU %.3f s = %.2f %%\n", paced.best.wall,
                        paced.worstWall, paced.best.cpu, paced.best.cpu / paced.best.wall * 100);
            std::printf("  wire time        %8.3f s (frames and verdicts)\n", wire);
            std::printf("  vs wire + nominal drain waits  %8.3f s: %+.2f %% [%+.2f]\n", nominalTotal, offNominal,
                        off(paced.worstWall, nominalTotal));
            std::printf("  vs wire + measured drain waits %8.3f s: %+.2f %% [%+.2f]\n", measuredTotal, offMeasured,
                        off(paced.worstWall, measuredTotal));
            std::printf("  the minimal client: %.3f s [%.3f], %+.2f %% vs wire + nominal, %+.2f %% vs wire + measured\n",
                        pacedFloor.best.wall, pacedFloor.worstWall, off(pacedFloor.best.wall, nominalTotal),
                        off(pacedFloor.best.wall, measuredTotal));

            const double overheadNominal = perFrameMs - nominalMs;
            const double overheadMeasured = perFrameMs - measuredMs;
            std::printf("\ntargets (best runs):\n");
            std::printf("  overhead <= 0.1 ms per frame: %s beyond the nominal wait (%.3f ms), %s beyond the measured\n"
                        "    wait (%.3f ms)\n",
                        verdict(overheadNominal <= 0.1), overheadNominal, verdict(overheadMeasured <= 0.1),
                        overheadMeasured);
            std::printf("  CPU <= 5 %% of wall while uploading: %s (%.2f %%)\n", verdict(cpuShare <= 5), cpuShare);
            std::printf("  paced total within 1 %%: %s vs wire + nominal drain waits (%+.2f %%), %s vs wire +\n"
                        "    measured drain waits (%+.2f %%)\n",
                        verdict(offNominal <= 1), offNominal, verdict(offMeasured <= 1), offMeasured);
            status = 0;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
