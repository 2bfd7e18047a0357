#include "bench_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "unique_fd.h"

extern char** environ;

namespace fwsend::bench {

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double LoadAverage() {
    double load = -1;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

std::vector<std::uint8_t> MakeImage(std::uint32_t seed) {
    std::vector<std::uint8_t> image;
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

bool SameBytes(const std::string& path, const std::vector<std::uint8_t>& expected) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return got == expected;
}

double PacedNominalSeconds(std::size_t imageBytes) {
    const std::size_t frames = imageBytes / kFrameBytes;
    const double wire = static_cast<double>(imageBytes + frames) * kBitsPerByte / kBaud;
    return wire + static_cast<double>(frames) * kDrainWaitPerFrame;
}

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

Target::Target(const std::vector<std::string>& options, const std::string& outFile) {
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
    while (pid_ > 0 && poll(&out, 1, 5000) > 0 && ::read(readEnd.Get(), &c, 1) == 1 && c != '\n') line += c;
    slavePath_ = line;
}

Target::~Target() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

namespace {

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

pid_t StartUpload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath,
                  int stdoutFd) {
    return Spawn({fwsend, "-F" + imageFile, "-COM" + slavePath, "-" + std::to_string(kBaud)}, stdoutFd);
}

Run RunFrom(int status, const rusage& usage, double wall) {
    Run run;
    run.wall = wall;
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.ok = run.exitStatus == 0;
    return run;
}

Run FinishUpload(pid_t pid, double start) {
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) return Run{};
    }
    return RunFrom(status, usage, Now() - start);
}

Run Upload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath) {
    const double start = Now();
    const pid_t pid = StartUpload(fwsend, imageFile, slavePath, -1);
    if (pid <= 0) return Run{};
    return FinishUpload(pid, start);
}

}  // namespace fwsend::bench
