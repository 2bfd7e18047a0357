#include "pty_pair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <termios.h>

namespace {

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool Fail(std::string& error, const char* step) {
    error = std::string(step) + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool OpenPtyPair(PtyPair& pty, std::string& error) {
    pty.master = UniqueFd(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!pty.master.Valid()) return Fail(error, "posix_openpt");
    if (grantpt(pty.master.Get()) != 0) return Fail(error, "grantpt");
    if (unlockpt(pty.master.Get()) != 0) return Fail(error, "unlockpt");
    const char* name = ptsname(pty.master.Get());
    if (name == nullptr) return Fail(error, "ptsname");
    pty.slavePath = name;

    pty.slave = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!pty.slave.Valid()) return Fail(error, "open slave");
    if (!MakeRaw(pty.slave.Get())) return Fail(error, "raw slave");
    if (!MakeRaw(pty.master.Get())) return Fail(error, "raw master");
    return true;
}
