// A fwsend child on POSIX, started by posix_spawn: glibc's reports a failed
// exec as the spawn's own error, so a missing or unrunnable program is a
// start failure, never a child that exits with some code of its own.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gang/child_process.h"
#include "platform/posix/unique_fd.h"

extern char** environ;

namespace fwsend::gang {

namespace {

long ReadRetrying(int fd, char* buffer, unsigned long size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

class PosixChild : public ChildProcess {
public:
    PosixChild(pid_t pid, UniqueFd output, UniqueFd errors)
        : pid_(pid), output_(std::move(output)), errors_(std::move(errors)) {}

    // Never left running behind the gang.
    ~PosixChild() override {
        if (reaped_) return;
        ::kill(-pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {}
    }

    long ReadOutput(char* buffer, unsigned long size) override {
        return ReadRetrying(output_.Get(), buffer, size);
    }
    long ReadErrors(char* buffer, unsigned long size) override {
        return ReadRetrying(errors_.Get(), buffer, size);
    }

    // fwsend itself, once: a second SIGINT would end it at once, without
    // its "Failed: Interrupted.".
    void Interrupt() override { Send(pid_, SIGINT); }
    // The whole group: anything the child started would keep its pipes open.
    void Kill() override { Send(-pid_, SIGKILL); }

    ChildEnd Wait() override {
        // Waits without reaping, so that a signal sent meanwhile from another
        // thread can never reach a process that took over the number.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
        const std::lock_guard<std::mutex> lock(mutex_);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        reaped_ = true;
        ChildEnd end;
        end.exited = WIFEXITED(status);
        end.status = end.exited ? WEXITSTATUS(status) : 0;
        end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return end;
    }

private:
    // While the child is not reaped, its number (and its group's) is its own.
    void Send(pid_t target, int signal) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!reaped_) ::kill(target, signal);
    }

    const pid_t pid_;
    UniqueFd output_;
    UniqueFd errors_;
    std::mutex mutex_;
    bool reaped_ = false;
};

struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int ends[2];
    // Close-on-exec: no other child inherits this one's pipe and keeps it open.
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
    return true;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string* error) {
    UniqueFd outputRead, outputWrite, errorsRead, errorsWrite;
    if (!MakePipe(outputRead, outputWrite) || !MakePipe(errorsRead, errorsWrite)) {
        if (error) *error = std::string("no pipe: ") + std::strerror(errno);
        return nullptr;
    }
    // Opened here, so that a failure is told as what it is, not as the
    // program's.
    const UniqueFd nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!nothing.Valid()) {
        if (error) *error = std::string("/dev/null: ") + std::strerror(errno);
        return nullptr;
    }

    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, nothing.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, outputWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, errorsWrite.Get(), STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    // Ours are close-on-exec; this also keeps from fwsend whatever the
    // gang's own parent left open to it.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
#endif

    // A process group of its own: the terminal's Ctrl-C reaches the gang
    // alone, which passes exactly one interrupt on. The gang's own signal
    // settings (SIGPIPE ignored, any blocked signal) are not the child's.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setsigmask(&setup.attributes, &noneBlocked);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int failure =
        posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    if (failure != 0) {
        if (error) *error = program + ": " + std::strerror(failure);
        return nullptr;
    }
    return std::make_unique<PosixChild>(pid, std::move(outputRead), std::move(errorsRead));
}

}  // namespace fwsend::gang
