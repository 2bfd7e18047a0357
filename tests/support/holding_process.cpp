#include "tests/support/holding_process.h"

#include <fstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "tests/support/child_process.h"

extern char** environ;

namespace fwsend {

HoldingProcess::HoldingProcess(const std::string& path, int descriptors) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < descriptors; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
    char sleep[] = "sleep";
    char seconds[] = "600";
    char* argv[] = {sleep, seconds, nullptr};
    const bool started = ::posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) {
        pid_ = -1;
        return;
    }
    // Once the program is sleep, the opens are done and our descriptors gone.
    const double deadline = MonotonicSeconds() + 10;
    const std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
    while (MonotonicSeconds() < deadline) {
        std::string name;
        std::getline(std::ifstream(comm), name);
        if (name == "sleep") return;
        ::usleep(1000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

HoldingProcess::~HoldingProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace fwsend
