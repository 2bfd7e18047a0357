#include "platform/posix/tty/own_terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "platform/posix/unique_fd.h"

namespace fwsend::posix {

namespace {

// /dev/tty: whichever terminal controls the process that opens it.
const dev_t kControllingTerminal = makedev(5, 0);

// The kernel's 32-bit encoding of a device number, as /proc/PID/stat and
// TIOCGDEV give it: minor bits 0-7 and 20-31, major bits 8-19.
dev_t DecodeKernelDevice(unsigned long value) {
    return makedev((value >> 8) & 0xfff, (value & 0xff) | ((value >> 12) & 0xfff00));
}

// The controlling terminal (0: none), from the seventh field of
// /proc/self/stat; the second field, the command's name, may hold blanks and
// parentheses.
std::optional<dev_t> ControllingTerminalFromProc() {
    const UniqueFd stat(::open("/proc/self/stat", O_RDONLY | O_CLOEXEC));
    if (!stat.Valid()) return std::nullopt;
    char text[1024];
    const ssize_t n = ::read(stat.Get(), text, sizeof text - 1);
    if (n <= 0) return std::nullopt;
    text[n] = '\0';
    const char* afterName = std::strrchr(text, ')');
    if (afterName == nullptr) return std::nullopt;
    char state = 0;
    long parent = 0;
    long group = 0;
    long session = 0;
    unsigned long terminal = 0;
    if (std::sscanf(afterName + 1, " %c %ld %ld %ld %lu", &state, &parent, &group, &session, &terminal) != 5)
        return std::nullopt;
    return DecodeKernelDevice(terminal);
}

// The terminal device behind a terminal descriptor: /dev/console and
// /dev/tty stand for another one, which TIOCGDEV names.
std::optional<dev_t> TerminalBehind(int fd) {
    if (!::isatty(fd)) return std::nullopt;
#ifdef TIOCGDEV
    unsigned int device = 0;
    if (::ioctl(fd, TIOCGDEV, &device) == 0) return DecodeKernelDevice(device);
#endif
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return std::nullopt;
    return info.st_rdev;
}

// 0 when the process has none.
dev_t ControllingTerminal() {
    if (const auto fromProc = ControllingTerminalFromProc()) return *fromProc;
    // Without /proc: opening /dev/tty reaches the controlling terminal, which
    // is open already, so nothing on its line changes.
    const UniqueFd terminal(::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!terminal.Valid()) return 0;
    return TerminalBehind(terminal.Get()).value_or(0);
}

}  // namespace

bool IsOwnTerminal(dev_t device) {
    if (device == kControllingTerminal || device == ControllingTerminal()) return true;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) return true;
        if (TerminalBehind(fd) == device) return true;
    }
    return false;
}

}  // namespace fwsend::posix
