#include "bench/bench_support.h"

#include <cstdlib>
#include <vector>

namespace fwsend::bench {

namespace {

// Longer than any upload here takes, even on a loaded machine.
constexpr int kUploadTimeoutMs = 10 * 60 * 1000;

}  // namespace

double LoadAverage() {
    double load = -1;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

Bytes BenchImage(std::uint32_t seed) { return MakeImage(std::vector<std::size_t>(kFrames, kPayload), seed); }

double PacedNominalSeconds(std::size_t imageBytes) {
    const std::size_t frames = imageBytes / kFrameBytes;
    const double wire = static_cast<double>(imageBytes + frames) * kBitsPerByte / kBaud;
    return wire + static_cast<double>(frames) * kDrainWaitPerFrame;
}

ChildProcess StartUpload(const std::string& fwsend, const std::string& imageFile,
                         const std::string& slavePath, ChildProcess::Stdout stdoutTo) {
    return ChildProcess::Spawn({fwsend, "-F" + imageFile, "-COM" + slavePath, "-" + std::to_string(kBaud)},
                               "", stdoutTo);
}

Run RunOf(const ChildProcess& upload, int exitStatus, double start) {
    Run run;
    run.wall = MonotonicSeconds() - start;
    run.cpu = upload.CpuSeconds();
    run.exitStatus = exitStatus;
    run.ok = exitStatus == 0;
    return run;
}

Run Upload(const std::string& fwsend, const std::string& imageFile, const std::string& slavePath) {
    const double start = MonotonicSeconds();
    ChildProcess upload = StartUpload(fwsend, imageFile, slavePath);
    if (!upload.Running()) return Run{};
    const int status = upload.Wait(kUploadTimeoutMs);
    return RunOf(upload, status, start);
}

}  // namespace fwsend::bench
