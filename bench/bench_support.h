#pragma once
// What the two benchmark programs share: the full-size image, the figures
// of the paced line, and timed fwsend runs. Processes, files and the
// simulated target come from the tests' support library.

#include <cstdint>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/upgrade_file.h"

namespace fwsend::bench {

constexpr int kFrames = 1024;
constexpr int kPayload = 254;
constexpr int kFrameBytes = kPayload + 2;
constexpr int kBaud = 115200;
constexpr int kBitsPerByte = 11;  // 8E1: start, 8 data, parity, stop
// Before every frame the tool waits for a silent line: a 1-byte read with
// the interval, multiplier and constant all 1 ms, so 2 ms.
constexpr double kDrainWaitPerFrame = 0.002;

// The 1-minute load average, or -1.
double LoadAverage();

// kFrames frames of kPayload bytes; the seed makes each image its own.
Bytes BenchImage(std::uint32_t seed);

// The time the image's frames and their verdicts take on the wire, paced at
// kBaud 8E1, plus the drain's nominal waits.
double PacedNominalSeconds(std::size_t imageBytes);

struct Run {
    bool ok = false;  // exit status 0
    int exitStatus = -1;
    double wall = 0;
    double cpu = 0;  // the tool's user + system time
};

// Starts fwsend uploading imageFile through -COM<slavePath> at kBaud.
ChildProcess StartUpload(const std::string& fwsend, const std::string& imageFile,
                         const std::string& slavePath,
                         ChildProcess::Stdout stdoutTo = ChildProcess::Stdout::Discard);

// The run of a reaped upload started at start (MonotonicSeconds()).
Run RunOf(const ChildProcess& upload, int exitStatus, double start);

// Starts an upload and waits for its end.
Run Upload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath);

}  // namespace fwsend::bench
