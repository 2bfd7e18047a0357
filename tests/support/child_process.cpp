#include "tests/support/child_process.h"

#include <fstream>
#include <iterator>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fwsend {

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

namespace {

int MillisecondsLeft(double deadline) {
    const double left = deadline - MonotonicSeconds();
    return left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
}

int ExitCode(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

ChildProcess ChildProcess::Spawn(const std::vector<std::string>& argv, const std::string& stderrFile,
                                 Stdout stdoutTo) {
    ChildProcess child;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return child;
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutTo == Stdout::Pipe)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrFile.empty() ? "/dev/null" : stderrFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return child;
    child.pid_ = pid;
    if (stdoutTo == Stdout::Pipe) child.stdout_ = std::move(readEnd);
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      stdout_(std::move(other.stdout_)),
      pending_(std::move(other.pending_)),
      cpuSeconds_(other.cpuSeconds_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop(0);
        pid_ = std::exchange(other.pid_, -1);
        stdout_ = std::move(other.stdout_);
        pending_ = std::move(other.pending_);
        cpuSeconds_ = other.cpuSeconds_;
    }
    return *this;
}

ChildProcess::~ChildProcess() { Stop(0); }

bool ChildProcess::ReadMore(double deadline) {
    while (stdout_.Valid()) {
        pollfd out{stdout_.Get(), POLLIN, 0};
        const int ready = poll(&out, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buffer[4096];
        const ssize_t n = ::read(stdout_.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    stdout_.Reset();  // the child closed its stdout
    return false;
}

bool ChildProcess::ReadUntil(const std::string& text, std::string& output, int timeoutMs) {
    const double deadline = MonotonicSeconds() + timeoutMs / 1000.0;
    std::size_t found;
    while ((found = pending_.find(text)) == std::string::npos) {
        if (!ReadMore(deadline)) {
            output += pending_;
            pending_.clear();
            return false;
        }
    }
    output += pending_.substr(0, found + text.size());
    pending_.erase(0, found + text.size());
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
    line.clear();
    if (!ReadUntil("\n", line, timeoutMs)) return false;
    line.pop_back();
    return true;
}

bool ChildProcess::ReadToEnd(std::string& output, int timeoutMs) {
    const double deadline = MonotonicSeconds() + timeoutMs / 1000.0;
    while (ReadMore(deadline)) {}
    output += pending_;
    pending_.clear();
    return !stdout_.Valid();
}

int ChildProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    const double deadline = MonotonicSeconds() + timeoutMs / 1000.0;
    // A pidfd turns readable the moment the child ends, so that a timed run
    // ends on time; without one (kernels before 5.3) we look every 2 ms.
#ifdef SYS_pidfd_open
    const UniqueFd exitFd(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)));
#else
    const UniqueFd exitFd;
#endif
    for (;;) {
        int status = 0;
        rusage usage{};
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
            pid_ = -1;
            cpuSeconds_ = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
            return ExitCode(status);
        }
        if (done < 0 && errno != EINTR) {
            pid_ = -1;
            return -1;
        }
        if (MonotonicSeconds() >= deadline) return -1;
        if (exitFd.Valid()) {
            pollfd ended{exitFd.Get(), POLLIN, 0};
            poll(&ended, 1, MillisecondsLeft(deadline));
        } else {
            const timespec tick{0, 2000000};
            nanosleep(&tick, nullptr);
        }
    }
}

bool ChildProcess::Signal(int number) { return pid_ > 0 && kill(pid_, number) == 0; }

bool ChildProcess::WaitUntilRunning(const std::string& program, int timeoutMs) const {
    const double deadline = MonotonicSeconds() + timeoutMs / 1000.0;
    const std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
    for (std::string name; MonotonicSeconds() < deadline; ::usleep(1000)) {
        std::getline(std::ifstream(comm), name);
        if (name == program) return true;
    }
    return false;
}

int ChildProcess::Stop(int graceMs) {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const int code = Wait(graceMs);
    if (pid_ <= 0) return code;
    kill(pid_, SIGKILL);
    return Wait(10000);
}

ChildProcess HoldingSleep(const std::string& path, int more) {
    std::string command = "exec sleep 600 <>\"$0\"";
    for (int fd = 3; fd < 3 + more; ++fd) command += " " + std::to_string(fd) + "<>\"$0\"";
    return ChildProcess::Spawn({"/bin/sh", "-c", command, path}, "", ChildProcess::Stdout::Discard);
}

RunResult RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    RunResult result;
    const double start = MonotonicSeconds();
    // stderr goes to a file that is gone once the run is read back.
    char errorsPath[] = "/tmp/fwsend_stderr_XXXXXX";
    const int errorsFd = ::mkstemp(errorsPath);
    if (errorsFd < 0) return result;
    ::close(errorsFd);
    ChildProcess child = ChildProcess::Spawn(argv, errorsPath);
    struct RemoveFile {
        const char* path;
        ~RemoveFile() { ::unlink(path); }
    } removeErrors{errorsPath};
    if (!child.Running()) return result;
    const bool ended = child.ReadToEnd(result.output, timeoutMs);
    const int left = timeoutMs - static_cast<int>((MonotonicSeconds() - start) * 1000);
    result.status = ended ? child.Wait(left > 1000 ? left : 1000) : -1;
    if (result.status == -1) child.Stop(0);
    result.seconds = MonotonicSeconds() - start;
    std::ifstream errors(errorsPath, std::ios::binary);
    result.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
    return result;
}

int RunInChild(const std::function<int()>& body, unsigned timeoutSeconds) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::alarm(timeoutSeconds);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return ExitCode(status);
}

}  // namespace fwsend
