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

#include "unique_fd.h"

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
        const std::vector<std::string> pace{"--pace", std::to_string(kBaud), "--framing", "8E1"};
        Run startup, floor, fast, paced, pacedFloor;
        if (Measure("startup", {}, dir, emptyFile, empty, startup) &&
            Measure("minimal client", {}, dir, "", image, floor) &&
            Measure("unpaced", {}, dir, imageFile, image, fast) &&
            Measure("paced", pace, dir, imageFile, image, paced) &&
            Measure("paced minimal client", pace, dir, "", image, pacedFloor)) {
            const double perFrameMs = (fast.wall - startup.wall) / kFrames * 1000;
            const double overheadMs = perFrameMs - kDrainWaitPerFrame * 1000;
            std::printf("unpaced:\n");
            std::printf("  wall time        %8.3f s (a run with an empty image: %.3f s)\n", fast.wall, startup.wall);
            std::printf("  fwsend CPU time  %8.3f s = %.2f %% of wall time (target <= 5 %%)\n", fast.cpu,
                        fast.cpu / fast.wall * 100);
            std::printf("  per frame        %8.3f ms = %.3f ms drain wait + %.3f ms overhead (target <= 0.1 ms)\n",
                        perFrameMs, kDrainWaitPerFrame * 1000, overheadMs);
            const double floorMs = floor.wall / kFrames * 1000;
            std::printf("  the same exchange by a minimal client in this bench: %.3f ms per frame = %.3f ms overhead\n"
                        "  (what the pty and the scheduler cost on this machine; fwsend's own share: %.3f ms)\n",
                        floorMs, floorMs - kDrainWaitPerFrame * 1000, perFrameMs - floorMs);

            const double wire = static_cast<double>(image.size() + kFrames) * kBitsPerByte / kBaud;
            const double drain = kFrames * kDrainWaitPerFrame;
            const double expected = wire + drain;
            std::printf("paced at %d 8E1:\n", kBaud);
            std::printf("  wall time        %8.3f s\n", paced.wall);
            std::printf("  wire + drain     %8.3f s = %.3f s wire time (frames and verdicts) + %.3f s drain waits\n",
                        expected, wire, drain);
            std::printf("  off by           %+8.3f s = %+.2f %% (target within 1 %%)\n", paced.wall - expected,
                        (paced.wall - expected) / expected * 100);
            std::printf("  fwsend CPU time  %8.3f s = %.2f %% of wall time\n", paced.cpu, paced.cpu / paced.wall * 100);
            std::printf("  the same exchange by the minimal client: %.3f s, off by %+.2f %%\n", pacedFloor.wall,
                        (pacedFloor.wall - expected) / expected * 100);
            status = 0;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
