#pragma once
// The simulated target (fwsend-target) as a child process of a test, with
// its own scratch directory for the frames it accepted and its stats line.

#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"

// A scratch directory removed with everything in it. Its path holds no
// "-F", "-D", "-T" or "-COM", which fwsend would take as options.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class SimTarget {
public:
    // Starts fwsend-target with these options; false if it gave no slave path.
    bool Start(const std::vector<std::string>& options = {});
    // SIGTERM and reap; its exit code. Safe to call twice.
    int Stop();

    const std::string& SlavePath() const { return slavePath_; }
    // The -COM argument that names this target's port.
    std::string PortArgument() const { return "-COM" + slavePath_; }
    // Accepted frames as the target stored them, length bytes included.
    std::vector<std::uint8_t> ReceivedBytes() const;
    // The stats line it prints on stderr when it ends (call Stop first).
    std::string StatsLine() const;

private:
    ScratchDir scratch_;
    ChildProcess process_;
    std::string slavePath_;
};
