#include "platform/posix/tty/tty_device.h"

#include "platform/interrupt.h"
#include "platform/open_failure.h"
#include "platform/posix/tty/tty_driver.h"
#include "platform/posix/tty/line_settings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace fwsend::posix {

namespace {

using Clock = DeadlineWaiter::Clock;

// Longer waits are treated as "forever"; keeps deadlines far from overflow.
constexpr auto longestWait = std::chrono::hours(24 * 365 * 30);

// A write without a timeout of its own may take twice its time on the wire
// and this much more: room for a slow driver, but never a hang.
constexpr auto writeAllowance = std::chrono::seconds(8);

// How often a draining transmit queue is looked at, at most and at least.
constexpr auto longestDrainPause = std::chrono::milliseconds(50);
constexpr auto shortestDrainPause = std::chrono::milliseconds(1);

std::string openFailureText(const std::string& path, int error)
{
    std::string text = path + ": " + std::strerror(error);
    if (error == EACCES)
        text += ": add your user to the dialout group and log in again";
    return text;
}

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
    auto lock = PortLock::acquire(path);
    if (lock.outcome() == PortLock::Outcome::HeldByOther) {
        noteOpenFailure(path + ": in use by " + describeProcess(lock.holder()));
        return std::nullopt;
    }
    // Non-blocking: the open does not wait for carrier, and the reads and
    // writes wait in poll, where the timing is ours.
    int const fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        noteOpenFailure(errno == EBUSY ? path + ": in use by another program"
                                       : openFailureText(path, errno));
        return std::nullopt;
    }
    TtyDevice device(fd, path, std::move(lock));
    if (!::isatty(fd)) {
        noteOpenFailure(path + ": not a serial port");
        return std::nullopt;
    }
    // The lock keeps out every other open that locks, root's too; TIOCEXCL
    // also keeps out programs that do not lock (unless they run as root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        noteOpenFailure(path + ": in use by another program");
        return std::nullopt;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        noteOpenFailure(openFailureText(path, errno));
        return std::nullopt;
    }
    device.exclusiveMode_ = true;
    return device;
}

TtyDevice::TtyDevice(TtyDevice&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      lock_(std::move(other.lock_)),
      exclusiveMode_(std::exchange(other.exclusiveMode_, false)),
      lowLatencyToRestore_(std::exchange(other.lowLatencyToRestore_, std::nullopt)),
      line_(other.line_),
      waiter_(std::move(other.waiter_))
{
}

TtyDevice& TtyDevice::operator=(TtyDevice&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        lock_ = std::move(other.lock_);
        exclusiveMode_ = std::exchange(other.exclusiveMode_, false);
        lowLatencyToRestore_ = std::exchange(other.lowLatencyToRestore_, std::nullopt);
        line_ = other.line_;
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
    // The driver's mode outlives our descriptor: put back what we changed.
    if (lowLatencyToRestore_)
        setLowLatency(fd_, *lowLatencyToRestore_);
    // The exclusive flag belongs to the terminal, not to our descriptor.
    if (exclusiveMode_)
        ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    exclusiveMode_ = false;
    lowLatencyToRestore_.reset();
    lock_ = PortLock();
}

bool TtyDevice::applyLineSettings(const LineSettings& settings)
{
    auto const flags = ttyFlagsFor(settings);
    auto const held = flags ? applyTtyAttributes(fd_, *flags, settings.baud) : std::nullopt;
    if (!held) {
        noteOpenFailure(path_ + ": the driver refused " + std::to_string(settings.baud)
                        + " baud with these line settings");
        return false;
    }
    if (*held != settings.baud) {
        noteOpenFailure(*held == 0 ? path_ + ": the driver cannot run " + std::to_string(settings.baud) + " baud"
                                   : path_ + ": the driver kept " + std::to_string(*held)
                                         + " baud instead of " + std::to_string(settings.baud));
        return false;
    }
    line_ = settings;
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
    auto const limit = timeout ? *timeout : 2 * wireTime(count) + writeAllowance;
    auto const deadline = deadlineAfter(Clock::now(), limit);
    std::size_t written = 0;
    bool timedOut = false;
    while (written < count && !timedOut) {
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
            timedOut = true;
            break;
        case DeadlineWaiter::Result::Gone:
        case DeadlineWaiter::Result::Failed:
            return std::nullopt;
        }
    }
    if (!timedOut && waitUntilSent(deadline))
        return written;
    // What the driver still holds never went out: drop it, so that it is
    // not sent later, glued to the next frame.
    auto const queued = transmitQueueBytes(fd_).value_or(0);
    flush(false, true);
    return written - std::min(queued, written);
}

// The time count bytes take on the wire at the line's rate and framing.
std::chrono::milliseconds TtyDevice::wireTime(std::size_t count) const
{
    std::uint64_t const bitsPerByte = 1 + static_cast<std::uint64_t>(line_.dataBits)
                                    + (line_.parity == LineParity::None ? 0 : 1)
                                    + (line_.stopBits == LineStopBits::Two ? 2 : 1);
    std::uint64_t const baud = line_.baud == 0 ? 1 : line_.baud;
    return std::chrono::milliseconds((count * bitsPerByte * 1000 + baud - 1) / baud);
}

// A write returns when the driver holds the bytes, yet a UART or a USB
// converter may hold several kilobytes, seconds of them at a low rate: a
// wait for the target's answer must start once they have gone out.
bool TtyDevice::waitUntilSent(std::optional<Clock::time_point> deadline)
{
    for (;;) {
        auto const queued = transmitQueueBytes(fd_);
        if (!queued || *queued == 0)
            return true;  // gone out, or the driver cannot tell
        if (InterruptRequested())
            return false;
        auto const now = Clock::now();
        if (deadline && now >= *deadline)
            return false;
        Clock::duration pause = std::clamp<Clock::duration>(wireTime(*queued), shortestDrainPause,
                                                             longestDrainPause);
        if (deadline)
            pause = std::min<Clock::duration>(pause, *deadline - now);
        std::this_thread::sleep_for(pause);
    }
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
    auto const before = lowLatency(fd_);
    if (!before)
        return false;
    if (*before)
        return true;
    if (!setLowLatency(fd_, true))
        return false;
    lowLatencyToRestore_ = false;
    return true;
}

}  // namespace fwsend::posix
