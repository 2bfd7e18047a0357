#include "platform/posix/tty_device.h"

#include "platform/posix/tty_attributes.h"
#include "platform/posix/tty_flags.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

using Clock = DeadlineWaiter::Clock;

// Longer waits are treated as "forever"; keeps deadlines far from overflow.
constexpr auto longestWait = std::chrono::hours(24 * 365 * 30);

std::optional<Clock::time_point> deadlineAfter(Clock::time_point start,
                                               std::optional<std::chrono::milliseconds> wait)
{
    if (!wait || *wait > longestWait)
        return std::nullopt;
    return start + *wait;
}

std::optional<Clock::time_point> earlier(std::optional<Clock::time_point> a,
                                         std::optional<Clock::time_point> b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    return *a < *b ? a : b;
}

// A device without modem lines answers ENOTTY or EINVAL.
bool lacksModemLines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

bool changeModemLine(int fd, int line, bool on)
{
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

bool changeModemLineIfPresent(int fd, int line, bool on)
{
    return changeModemLine(fd, line, on) || lacksModemLines(errno);
}

} // namespace

std::optional<TtyDevice> TtyDevice::openExclusive(const std::string& path)
{
    // Non-blocking: the open does not wait for carrier, and the reads and
    // writes wait in poll, where the timing is ours.
    int const fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    TtyDevice device(fd);
    if (!::isatty(fd))
        return std::nullopt;
    // The lock keeps out every other open that locks, root's too; TIOCEXCL
    // also keeps out programs that do not lock (unless they run as root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return std::nullopt;
    if (::ioctl(fd, TIOCEXCL) != 0)
        return std::nullopt;
    device.exclusiveMode_ = true;
    return device;
}

TtyDevice::TtyDevice(TtyDevice&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      exclusiveMode_(std::exchange(other.exclusiveMode_, false)),
      waiter_(std::move(other.waiter_))
{
}

TtyDevice& TtyDevice::operator=(TtyDevice&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        exclusiveMode_ = std::exchange(other.exclusiveMode_, false);
        waiter_ = std::move(other.waiter_);
    }
    return *this;
}

TtyDevice::~TtyDevice()
{
    release();
}

void TtyDevice::release()
{
    if (fd_ < 0)
        return;
    // The exclusive flag belongs to the terminal, not to our descriptor.
    if (exclusiveMode_)
        ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    exclusiveMode_ = false;
}

bool TtyDevice::applyLineSettings(const LineSettings& settings)
{
    auto const flags = ttyFlagsFor(settings);
    if (!flags || !applyTtyAttributes(fd_, *flags, settings.baud))
        return false;
    return changeModemLineIfPresent(fd_, TIOCM_DTR, settings.dtr)
        && changeModemLineIfPresent(fd_, TIOCM_RTS, settings.rts);
}

std::optional<std::size_t> TtyDevice::read(std::uint8_t* buffer, std::size_t count,
                                           const ReadTiming& timing)
{
    auto const start = Clock::now();
    auto const totalDeadline = deadlineAfter(start, timing.total);
    std::optional<Clock::time_point> intervalDeadline;
    std::size_t received = 0;

    // What has been received stays the caller's even when the device goes
    // away; the next read reports the loss.
    auto const gone = [&]() -> std::optional<std::size_t> {
        if (received > 0)
            return received;
        return std::nullopt;
    };

    while (received < count) {
        ssize_t const n = ::read(fd_, buffer + received, count - received);
        if (n > 0) {
            received += static_cast<std::size_t>(n);
            if (timing.returnOnFirstBytes)
                break;
            intervalDeadline = deadlineAfter(Clock::now(), timing.interval);
            continue;
        }
        if (n == 0)
            return gone();  // hung up
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return gone();  // EIO: the other end or the device is gone

        switch (waiter_.waitFor(fd_, POLLIN, earlier(totalDeadline, intervalDeadline))) {
        case DeadlineWaiter::Result::Ready:
            break;
        case DeadlineWaiter::Result::TimedOut:
            return received;
        case DeadlineWaiter::Result::Gone:
        case DeadlineWaiter::Result::Failed:
            return gone();
        }
    }
    return received;
}

std::optional<std::size_t> TtyDevice::writeAll(const std::uint8_t* buffer, std::size_t count,
                                               std::optional<std::chrono::milliseconds> timeout)
{
    auto const deadline = deadlineAfter(Clock::now(), timeout);
    std::size_t written = 0;
    while (written < count) {
        ssize_t const n = ::write(fd_, buffer + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return std::nullopt;

        switch (waiter_.waitFor(fd_, POLLOUT, deadline)) {
        case DeadlineWaiter::Result::Ready:
            break;
        case DeadlineWaiter::Result::TimedOut:
            return written;
        case DeadlineWaiter::Result::Gone:
        case DeadlineWaiter::Result::Failed:
            return std::nullopt;
        }
    }
    return written;
}

bool TtyDevice::flush(bool received, bool transmitted)
{
    if (received && transmitted)
        return ::tcflush(fd_, TCIOFLUSH) == 0;
    if (received)
        return ::tcflush(fd_, TCIFLUSH) == 0;
    if (transmitted)
        return ::tcflush(fd_, TCOFLUSH) == 0;
    return true;
}

bool TtyDevice::setDtr(bool on)
{
    return changeModemLine(fd_, TIOCM_DTR, on);
}

bool TtyDevice::setRts(bool on)
{
    return changeModemLine(fd_, TIOCM_RTS, on);
}

bool TtyDevice::setBreak(bool on)
{
    return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
}

bool TtyDevice::requestLowLatency()
{
#ifdef __linux__
    serial_struct info{};
    if (::ioctl(fd_, TIOCGSERIAL, &info) != 0)
        return false;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd_, TIOCSSERIAL, &info) == 0;
#else
    return false;
#endif
}
