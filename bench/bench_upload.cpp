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
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "transport/com_port.h"
#include "unique_fd.h"
#include "upload/upload.h"

extern char** environ;

namespace {

constexpr int kFrames = 1024;
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
            pollfd in{port.Get(), POLLIN, 0};
            if (poll(&in, 1, 2) <= 0) break;
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
// reading one byte with the drain's timeout from a line that stays silent.
// The nominal 2 ms plus the timer's wake-up latency.
double MeasuredDrainWait() {
    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.Valid() || grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) return -1;
    const std::string slave = std::string("COM") + ptsname(master.Get());
    ComPort port;
    if (!port.Open(slave.c_str(), kBaud, 2000) || !port.SetTimeout(kDrainTimeout)) return -1;
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
        const double drainWait = MeasuredDrainWait();
        Run startup, floor, fast, paced, pacedFloor;
        // Unpaced runs are short and noisy: the best of three each.
        bool ok = drainWait > 0;
        for (int i = 0; ok && i < 3; ++i) {
            Run start, client, run;
            ok = Measure("startup", unpaced, dir, emptyFile, empty, start) &&
                 Measure("minimal client", unpaced, dir, "", image, client) &&
                 Measure("unpaced", unpaced, dir, imageFile, image, run);
            if (ok && (i == 0 || start.wall < startup.wall)) startup = start;
            if (ok && (i == 0 || client.wall < floor.wall)) floor = client;
            if (ok && (i == 0 || run.wall < fast.wall)) fast = run;
        }
        ok = ok && Measure("paced", pace, dir, imageFile, image, paced) &&
             Measure("paced minimal client", pace, dir, "", image, pacedFloor);
        if (!ok && drainWait <= 0) std::printf("the drain's wait could not be measured on a pty\n");
        if (ok) {
            const double nominalMs = kDrainWaitPerFrame * 1000;
            const double measuredMs = drainWait * 1000;
            const double perFrameMs = (fast.wall - startup.wall) / kFrames * 1000;
            const double floorMs = floor.wall / kFrames * 1000;
            const double cpuShare = fast.cpu / fast.wall * 100;
            auto verdict = [](bool met) { return met ? "met" : "NOT met"; };

            std::printf("drain's wait: nominal %.3f ms; measured here %.3f ms (the tool's ComPort, %d silent reads)\n\n",
                        nominalMs, measuredMs, kFrames);
            std::printf("unpaced (best of 3):\n");
            std::printf("  wall time        %8.3f s (a run with an empty image: %.3f s)\n", fast.wall, startup.wall);
            std::printf("  fwsend CPU time  %8.3f s = %.2f %% of wall time\n", fast.cpu, cpuShare);
            std::printf("  per frame        %8.3f ms\n", perFrameMs);
            std::printf("  overhead beyond the nominal drain wait:  %.3f ms\n", perFrameMs - nominalMs);
            std::printf("  overhead beyond the measured drain wait: %.3f ms\n", perFrameMs - measuredMs);
            std::printf("  a minimal client doing the same exchange: %.3f ms per frame, %.3f ms beyond the nominal wait\n"
                        "  (the pty's and the scheduler's cost on this machine; fwsend's own share: %+.3f ms)\n",
                        floorMs, floorMs - nominalMs, perFrameMs - floorMs);

            const double wire = static_cast<double>(image.size() + kFrames) * kBitsPerByte / kBaud;
            const double nominalTotal = wire + kFrames * kDrainWaitPerFrame;
            const double measuredTotal = wire + kFrames * drainWait;
            const double offNominal = (paced.wall - nominalTotal) / nominalTotal * 100;
            const double offMeasured = (paced.wall - measuredTotal) / measuredTotal * 100;
            std::printf("paced at %d 8E1:\n", kBaud);
            std::printf("  wall time        %8.3f s, fwsend CPU %.3f s = %.2f %%\n", paced.wall, paced.cpu,
                        paced.cpu / paced.wall * 100);
            std::printf("  wire time        %8.3f s (frames and verdicts)\n", wire);
            std::printf("  vs wire + nominal drain waits  %8.3f s: %+.2f %%\n", nominalTotal, offNominal);
            std::printf("  vs wire + measured drain waits %8.3f s: %+.2f %%\n", measuredTotal, offMeasured);
            std::printf("  the minimal client: %.3f s, %+.2f %% vs wire + nominal drain waits\n", pacedFloor.wall,
                        (pacedFloor.wall - nominalTotal) / nominalTotal * 100);

            const double overheadNominal = perFrameMs - nominalMs;
            const double overheadMeasured = perFrameMs - measuredMs;
            std::printf("\ntargets:\n");
            std::printf("  overhead <= 0.1 ms per frame: %s beyond the nominal wait (%.3f), %s beyond the measured wait (%.3f)\n",
                        verdict(overheadNominal <= 0.1), overheadNominal, verdict(overheadMeasured <= 0.1),
                        overheadMeasured);
            std::printf("  CPU <= 5 %% of wall while uploading: %s (%.2f %%)\n", verdict(cpuShare <= 5), cpuShare);
            std::printf("  paced total within 1 %%: %s vs nominal (%+.2f %%), %s vs measured drain waits (%+.2f %%)\n",
                        verdict(offNominal <= 1), offNominal, verdict(offMeasured <= 1), offMeasured);
            status = 0;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
