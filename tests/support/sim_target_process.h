#pragma once
// The simulated target (fwsend-target) as a child process of a test or the
// benchmark, with its own scratch folder for the frames it accepted and its
// stats line.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace fwsend {

class SimTarget {
public:
    // Starts fwsend-target with these options; false if it gave no slave path.
    bool Start(const std::vector<std::string>& options = {});
    // SIGTERM and reap; its exit code. Safe to call twice.
    int Stop();

    const std::string& SlavePath() const { return slavePath_; }
    // The -COM argument that names this target's port.
    std::string PortArgument() const { return "-COM" + slavePath_; }
    // The file the target stores accepted frames in, as it goes.
    std::string ReceivedFile() const { return scratch_.File("received.bin"); }
    // Accepted frames as the target stored them, length bytes included.
    std::vector<std::uint8_t> ReceivedBytes() const;
    // The stats line it prints on stderr when it ends (call Stop first).
    std::string StatsLine() const;

private:
    ScratchDir scratch_;
    ChildProcess process_;
    std::string slavePath_;
};

}  // namespace fwsend
