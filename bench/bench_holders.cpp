// fwsend-bench-holders: what the look for processes holding a port costs
// before each open, on a machine with many processes. It starts a number of
// idle processes (500 by default), each holding a few descriptors, then
// times the look for a pseudo-terminal no one holds, which reads every
// process's descriptors, many times over, and prints the median and the
// worst, with the number of processes it saw and the machine's load.
//
//   fwsend-bench-holders [processes [looks]]
//
// The exit status is 0 when every look read every process and found no
// holder, 1 when not, 2 when the run could not be set up.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/posix/tty/device_holders.h"
#include "tests/support/child_process.h"
#include "tools/pty_pair.h"

namespace {

using namespace fwsend;
using Clock = std::chrono::steady_clock;

constexpr int kDescriptorsEach = 5;  // standard input, output and error, two more

std::size_t ProcessCount() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && std::all_of(name.begin(), name.end(), ::isdigit)) ++count;
    }
    return count;
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int processes = argc > 1 ? std::atoi(argv[1]) : 500;
    const int looks = argc > 2 ? std::atoi(argv[2]) : 200;
    PtyPair pty;
    struct stat node {};
    if (!pty.IsOpen() || ::stat(pty.SlavePath().c_str(), &node) != 0) {
        std::fprintf(stderr, "fwsend-bench-holders: no pseudo-terminal: %s\n", pty.Error().c_str());
        return 2;
    }
    std::vector<ChildProcess> idle;
    for (int i = 0; i < processes; ++i) {
        idle.push_back(HoldingSleep("/dev/null", kDescriptorsEach - 3));
        if (!idle.back().WaitUntilRunning("sleep", 10000)) {
            std::fprintf(stderr, "fwsend-bench-holders: process %d did not start\n", i + 1);
            return 2;
        }
    }

    std::vector<double> times;
    bool noneFound = true;
    std::string failure;
    for (int i = 0; i < looks; ++i) {
        const auto start = Clock::now();
        const auto holder = posix::FindDeviceHolder(node.st_rdev, static_cast<long>(::getpid()));
        times.push_back(Milliseconds(Clock::now() - start));
        noneFound = noneFound && !holder.found;
        if (failure.empty()) failure = holder.failure;
    }
    std::sort(times.begin(), times.end());
    std::printf("%zu processes (%d idle ones with %d descriptors each), load %.2f\n", ProcessCount(),
                processes, kDescriptorsEach, bench::LoadAverage());
    std::printf("look for the holders of one port, %d times: median %.2f ms, worst %.2f ms\n", looks,
                times[times.size() / 2], times.back());
    if (!noneFound) std::printf("a holder was found where there is none\n");
    if (!failure.empty()) std::printf("a look could not read the processes: %s\n", failure.c_str());
    return noneFound && failure.empty() ? 0 : 1;
}
