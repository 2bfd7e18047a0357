#include "tools/pty_pair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>

namespace fwsend {

namespace {

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Waits until fd is ready for events or the time is up; false on the latter.
bool WaitFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

}  // namespace

PtyPair::PtyPair() {
    master_ = UniqueFd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_.Valid()) {
        Fail("posix_openpt");
        return;
    }
    const char* name = nullptr;
    if (grantpt(master_.Get()) != 0 || unlockpt(master_.Get()) != 0 ||
        (name = ptsname(master_.Get())) == nullptr) {
        Fail("grantpt");
        master_.Reset();
        return;
    }
    slavePath_ = name;
}

bool PtyPair::Fail(const char* step) {
    error_ = std::string(step) + ": " + std::strerror(errno);
    return false;
}

bool PtyPair::HoldSlave() {
    if (!IsOpen()) return false;
    slave_ = UniqueFd(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave_.Valid()) return Fail("open slave");
    if (!MakeRaw(slave_.Get())) return Fail("raw slave");
    if (!MakeRaw(master_.Get())) return Fail("raw master");
    const int flags = fcntl(master_.Get(), F_GETFL);
    if (flags < 0 || fcntl(master_.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
        return Fail("non-blocking master");
    return true;
}

bool PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && WaitFor(master_.Get(), POLLOUT, 5000)) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitFor(master_.Get(), POLLIN, static_cast<int>(left.count()))) break;
        const ssize_t n = ::read(master_.Get(), bytes.data() + done, count - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void PtyPair::Close() {
    master_.Reset();
    slave_.Reset();
}

}  // namespace fwsend
