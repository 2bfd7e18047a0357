#pragma once
// What the two benchmark programs share: full-size images, the simulated
// target on its pseudo-terminal, and timed fwsend runs.

#include <cstdint>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

namespace fwsend::bench {

constexpr int kFrames = 1024;
constexpr int kPayload = 254;
constexpr int kFrameBytes = kPayload + 2;
constexpr int kBaud = 115200;
constexpr int kBitsPerByte = 11;  // 8E1: start, 8 data, parity, stop
// Before every frame the tool waits for a silent line: a 1-byte read with
// the interval, multiplier and constant all 1 ms, so 2 ms.
constexpr double kDrainWaitPerFrame = 0.002;

// Seconds on the monotonic clock.
double Now();

// The 1-minute load average, or -1.
double LoadAverage();

// kFrames frames of kPayload bytes; the seed makes each image its own.
std::vector<std::uint8_t> MakeImage(std::uint32_t seed);

// An upgrade file: the bytes as hexadecimal pairs.
bool WriteHexFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

bool SameBytes(const std::string& path, const std::vector<std::uint8_t>& expected);

// The time the image's frames and their verdicts take on the wire, paced at
// kBaud 8E1, plus the drain's nominal waits.
double PacedNominalSeconds(std::size_t imageBytes);

// Spawns argv with stdin and stderr on /dev/null and stdout to stdoutFd
// (-1: /dev/null); the child's pid or -1.
pid_t Spawn(const std::vector<std::string>& argv, int stdoutFd);

// The simulated target on a pseudo-terminal of its own, writing the frames
// it accepts to outFile; stopped and reaped when it goes.
class Target {
public:
    Target(const std::vector<std::string>& options, const std::string& outFile);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    // Empty when the target did not start.
    const std::string& SlavePath() const { return slavePath_; }

private:
    pid_t pid_ = -1;
    std::string slavePath_;
};

struct Run {
    bool ok = false;  // exit status 0
    int exitStatus = -1;
    double wall = 0;
    double cpu = 0;  // the tool's user + system time
};

// Starts fwsend uploading imageFile through -COM<slavePath> at kBaud, its
// standard output to stdoutFd (-1: /dev/null). The pid, or -1.
pid_t StartUpload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath,
                  int stdoutFd);

// A finished child's run from what wait4 returned; wall in seconds.
Run RunFrom(int status, const rusage& usage, double wall);

// Waits for the child pid started at start (Now()) and returns its run.
Run FinishUpload(pid_t pid, double start);

// Both of the above.
Run Upload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath);

}  // namespace fwsend::bench
