#pragma once
// Spawning the built programs for the end-to-end tests and the benchmark:
// stdout through a pipe, exit status and CPU time by wait4, every
// descriptor owned.

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "platform/posix/unique_fd.h"

namespace fwsend {

// A running child whose stdout we read. Killed and reaped when destroyed.
class ChildProcess {
public:
    enum class Stdout { Pipe, Discard };
    // stderrFile empty: stderr goes to /dev/null. A child whose stdout is
    // piped must be read, or it stalls once the pipe is full.
    static ChildProcess Spawn(const std::vector<std::string>& argv, const std::string& stderrFile = "",
                              Stdout stdoutTo = Stdout::Pipe);

    ChildProcess() = default;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();

    bool Running() const { return pid_ > 0; }
    long Pid() const { return pid_; }
    int StdoutFd() const { return stdout_.Get(); }

    // Reads stdout until it has a line end or the time is up; the line without '\n'.
    bool ReadLine(std::string& line, int timeoutMs);
    // Reads stdout until the child closes it or the time is up; false on timeout.
    bool ReadToEnd(std::string& output, int timeoutMs);
    // Reads what stdout has until it contains text or the time is up.
    bool ReadUntil(const std::string& text, std::string& output, int timeoutMs);
    // Until the child runs program (its name as the kernel keeps it, as
    // once a shell has exec'd it); false at the timeout.
    bool WaitUntilRunning(const std::string& program, int timeoutMs) const;
    // Reaps the child; its exit code, 128 + signal when killed, -1 if still running at the deadline.
    int Wait(int timeoutMs);
    // SIGTERM, a grace period, then SIGKILL; returns the exit code as Wait.
    int Stop(int graceMs = 3000);
    // The user and system time the child used, once reaped.
    double CpuSeconds() const { return cpuSeconds_; }
    // Sends a signal to the running child.
    bool Signal(int number);
    // Closes our end of its stdout, as a pipeline's reader that quits early.
    void CloseStdout() { stdout_ = UniqueFd(); }

private:
    // Appends one chunk of stdout to pending_; false at its end or the deadline.
    bool ReadMore(double deadline);

    pid_t pid_ = -1;
    UniqueFd stdout_;
    std::string pending_;  // read but not yet handed out
    double cpuSeconds_ = 0;
};

// A `sleep` that holds path open, read-write, on descriptor 0 and on each
// of descriptors 3 to 2 + more, as a terminal program (screen, cat, a
// getty) holds a port without any lock: once WaitUntilRunning("sleep").
ChildProcess HoldingSleep(const std::string& path, int more = 0);

// A finished run of a program.
struct RunResult {
    std::string output;  // all of stdout
    std::string errors;  // all of stderr
    int status = -1;     // exit code
    double seconds = 0;  // wall time from spawn to exit
};

// Runs argv to its end, at most timeoutMs (then it is killed and status is -1).
RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 30000);

double MonotonicSeconds();

// Runs body in a forked child of this process, which alarm() ends after
// timeoutSeconds so that a hang fails the caller instead of stalling it;
// body's result as the exit code, 128 + signal when killed.
int RunInChild(const std::function<int()>& body, unsigned timeoutSeconds = 20);

}  // namespace fwsend
