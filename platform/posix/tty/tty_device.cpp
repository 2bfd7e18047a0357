#include "platform/posix/tty/tty_device.h"

#include "platform/interrupt.h"
#include "platform/open_failure.h"
#include "platform/posix/tty/device_holders.h"
#include "platform/posix/tty/line_settings.h"
#include "platform/posix/tty/own_terminal.h"
#include "platform/posix/tty/poll_until.h"
#include "platform/posix/tty/tty_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

namespace fwsend::posix {

namespace {

using Clock = std::chrono::steady_clock;

// Longer waits are treated as "forever"; keeps deadlines far from overflow.
constexpr auto kLongestWait = std::chrono::hours(24 * 365 * 30);

// A write without a timeout of its own may take twice its time on the wire
// and this much more: room for a slow driver, but never a hang.
constexpr auto kWriteAllowance = std::chrono::seconds(8);

// How often a draining transmit queue is looked at, at most and at least.
constexpr auto kLongestDrainPause = std::chrono::milliseconds(50);
constexpr auto kShortestDrainPause = std::chrono::milliseconds(1);

// Whether a character device belongs to one of the kernel's terminal
// drivers, by their list of device numbers. Anything else (/dev/null, a
// sound card) is not a port: it is refused before it is opened, and before
// its holders are looked for, since every process may hold /dev/null. Where
// the list cannot be read, the open itself tells.
bool IsTerminalDevice(dev_t device) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> drivers(std::fopen("/proc/tty/drivers", "re"),
                                                                  std::fclose);
    if (!drivers) return true;
    // "serial  /dev/ttyS  4  64-111  serial": name, node, major, minors, type.
    char line[256];
    while (std::fgets(line, sizeof line, drivers.get()) != nullptr) {
        unsigned major = 0;
        unsigned first = 0;
        unsigned last = 0;
        const int fields = std::sscanf(line, "%*s %*s %u %u-%u", &major, &first, &last);
        if (fields < 2) continue;
        if (fields == 2) last = first;
        if (major == ::major(device) && ::minor(device) >= first && ::minor(device) <= last) return true;
    }
    return false;
}

std::string OpenFailureText(const std::string& path, int error) {
    std::string text = path + ": " + std::strerror(error);
    if (error == EACCES) text += ": add your user to the dialout group and log in again";
    return text;
}

std::optional<Clock::time_point> DeadlineAfter(Clock::time_point start,
                                               std::optional<std::chrono::milliseconds> wait) {
    if (!wait || *wait > kLongestWait) return std::nullopt;
    return start + *wait;
}

std::optional<Clock::time_point> Earlier(std::optional<Clock::time_point> a,
                                         std::optional<Clock::time_point> b) {
    if (!a) return b;
    if (!b) return a;
    return *a < *b ? a : b;
}

// A device without modem lines answers ENOTTY or EINVAL.
bool LacksModemLines(int error) { return error == ENOTTY || error == EINVAL; }

bool ChangeModemLine(int fd, int line, bool on) { return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0; }

bool ChangeModemLineIfPresent(int fd, int line, bool on) {
    return ChangeModemLine(fd, line, on) || LacksModemLines(errno);
}

}  // namespace

std::optional<TtyDevice> TtyDevice::OpenExclusive(const std::string& path) {
    // What the name leads to, looked at before anything is opened.
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0) {
        NoteOpenFailure(OpenFailureText(path, errno));
        return std::nullopt;
    }
    if (!S_ISCHR(node.st_mode) || !IsTerminalDevice(node.st_rdev)) {
        NoteOpenFailure(path + ": not a serial port");
        return std::nullopt;
    }
    if (IsOwnTerminal(node.st_rdev)) {
        NoteOpenFailure(path + ": the terminal fwsend runs in, not a port");
        return std::nullopt;
    }
    // Another fwsend, found without any folder to write in.
    auto claim = PortClaim::Take(node.st_rdev);
    if (claim.Result() == PortClaim::Outcome::HeldByOther) {
        NoteOpenFailure(path + ": in use by " + DescribeProcess(claim.Holder()));
        return std::nullopt;
    }
    auto lock = PortLock::Acquire(path);
    if (lock.Result() == PortLock::Outcome::HeldByOther) {
        NoteOpenFailure(path + ": in use by " + DescribeProcess(lock.Holder()));
        return std::nullopt;
    }
    // Programs that hold a port without any lock. A look that could not
    // read the list of processes may have missed one: no open then.
    const auto holder = FindDeviceHolder(node.st_rdev, static_cast<long>(::getpid()));
    if (!holder.Complete()) {
        NoteOpenFailure(path + ": the processes that may hold it cannot be looked for: " + holder.failure +
                        " (/proc must be mounted and readable)");
        return std::nullopt;
    }
    if (holder.found) {
        NoteOpenFailure(path + ": in use by " + DescribeProcess(*holder.found));
        return std::nullopt;
    }
    // Non-blocking: the open does not wait for carrier, and the reads and
    // writes wait in poll, where the timing is ours.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        NoteOpenFailure(errno == EBUSY ? path + ": in use by another program" : OpenFailureText(path, errno));
        return std::nullopt;
    }
    TtyDevice device(fd, path, std::move(claim), std::move(lock));
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || opened.st_rdev != node.st_rdev) {
        NoteOpenFailure(path + ": the name led to another device while it was opened");
        return std::nullopt;
    }
    if (!::isatty(fd)) {
        NoteOpenFailure(path + ": not a serial port");
        return std::nullopt;
    }
    // The lock keeps out every other open that locks, root's too; TIOCEXCL
    // also keeps out programs that do not lock (unless they run as root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        NoteOpenFailure(path + ": in use by another program");
        return std::nullopt;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        NoteOpenFailure(OpenFailureText(path, errno));
        return std::nullopt;
    }
    device.exclusiveMode_ = true;
    device.attributesToRestore_ = SaveTtyAttributes(fd);
    // The slack is the thread's, not the device's: set here, once per open,
    // it serves every wait on the device from the thread that opened it,
    // which is how the tool uses a port, rather than costing a call per wait.
    UseSmallestTimerSlack();
    return device;
}

TtyDevice::TtyDevice(TtyDevice&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      claim_(std::move(other.claim_)),
      lock_(std::move(other.lock_)),
      exclusiveMode_(std::exchange(other.exclusiveMode_, false)),
      lowLatencyToRestore_(std::exchange(other.lowLatencyToRestore_, std::nullopt)),
      attributesToRestore_(std::exchange(other.attributesToRestore_, std::nullopt)),
      line_(other.line_) {}

TtyDevice& TtyDevice::operator=(TtyDevice&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        claim_ = std::move(other.claim_);
        lock_ = std::move(other.lock_);
        exclusiveMode_ = std::exchange(other.exclusiveMode_, false);
        lowLatencyToRestore_ = std::exchange(other.lowLatencyToRestore_, std::nullopt);
        attributesToRestore_ = std::exchange(other.attributesToRestore_, std::nullopt);
        line_ = other.line_;
    }
    return *this;
}

TtyDevice::~TtyDevice() { Release(); }

void TtyDevice::Release() {
    if (fd_ < 0) return;
    // The terminal's settings and the driver's mode outlive our descriptor:
    // put back what we changed.
    if (attributesToRestore_) RestoreTtyAttributes(fd_, *attributesToRestore_);
    if (lowLatencyToRestore_) SetLowLatency(fd_, *lowLatencyToRestore_);
    // The exclusive flag belongs to the terminal, not to our descriptor.
    if (exclusiveMode_) ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    exclusiveMode_ = false;
    lowLatencyToRestore_.reset();
    attributesToRestore_.reset();
    lock_ = PortLock();
    claim_ = PortClaim();
}

bool TtyDevice::ApplyLineSettings(const LineSettings& settings) {
    using Outcome = AppliedAttributes::Outcome;
    const auto flags = TtyFlagsFor(settings);
    const auto applied = flags ? ApplyTtyAttributes(fd_, *flags, settings.baud) : AppliedAttributes{};
    const std::string baud = std::to_string(settings.baud);
    if (applied.outcome == Outcome::NonStandardRate) {
        NoteOpenFailure(path_ + ": this system sets only standard rates, and " + baud +
                        " baud is not one: choose another");
        return false;
    }
    if (applied.outcome == Outcome::Refused) {
        NoteOpenFailure(path_ + ": the driver refused " + baud + " baud with these line settings");
        return false;
    }
    const auto held = applied.heldBaud;
    if (held != settings.baud) {
        NoteOpenFailure(held == 0 ? path_ + ": the driver cannot run " + baud + " baud"
                                  : path_ + ": the driver kept " + std::to_string(held) +
                                        " baud instead of " + baud);
        return false;
    }
    line_ = settings;
    return ChangeModemLineIfPresent(fd_, TIOCM_DTR, settings.dtr) &&
           ChangeModemLineIfPresent(fd_, TIOCM_RTS, settings.rts);
}

std::optional<std::size_t> TtyDevice::Read(std::uint8_t* buffer, std::size_t count,
                                           const ReadTiming& timing) {
    const auto start = Clock::now();
    const auto totalDeadline = DeadlineAfter(start, timing.total);
    std::optional<Clock::time_point> intervalDeadline;
    std::size_t received = 0;

    // What has been received stays the caller's even when the device goes
    // away; the next read reports the loss.
    const auto gone = [&]() -> std::optional<std::size_t> {
        if (received > 0) return received;
        return std::nullopt;
    };

    while (received < count) {
        const ssize_t n = ::read(fd_, buffer + received, count - received);
        if (n > 0) {
            received += static_cast<std::size_t>(n);
            if (timing.returnOnFirstBytes) break;
            intervalDeadline = DeadlineAfter(Clock::now(), timing.interval);
            continue;
        }
        if (n == 0) return gone();  // hung up
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return gone();  // EIO: the other end or the device is gone

        switch (PollUntil(fd_, POLLIN, Earlier(totalDeadline, intervalDeadline))) {
        case PollResult::Ready: break;
        case PollResult::TimedOut: return received;
        case PollResult::Gone:
        case PollResult::Interrupted:
        case PollResult::Failed: return gone();
        }
    }
    return received;
}

std::optional<std::size_t> TtyDevice::WriteAll(const std::uint8_t* buffer, std::size_t count,
                                               std::optional<std::chrono::milliseconds> timeout) {
    const auto limit = timeout ? *timeout : 2 * WireTime(count) + kWriteAllowance;
    const auto deadline = DeadlineAfter(Clock::now(), limit);
    std::size_t written = 0;
    bool timedOut = false;
    while (written < count && !timedOut) {
        const ssize_t n = ::write(fd_, buffer + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;

        switch (PollUntil(fd_, POLLOUT, deadline)) {
        case PollResult::Ready: break;
        case PollResult::TimedOut: timedOut = true; break;
        case PollResult::Gone:
        case PollResult::Interrupted:
        case PollResult::Failed: return std::nullopt;
        }
    }
    if (!timedOut && WaitUntilSent(deadline)) return written;
    // What the driver still holds never went out: drop it, so that it is
    // not sent later, glued to the next frame.
    const auto queued = TransmitQueueBytes(fd_).value_or(0);
    Flush(false, true);
    return written - std::min(queued, written);
}

// The time count bytes take on the wire at the line's rate and framing.
std::chrono::milliseconds TtyDevice::WireTime(std::size_t count) const {
    std::uint64_t const bitsPerByte = 1 + static_cast<std::uint64_t>(line_.dataBits) +
                                      (line_.parity == LineParity::None ? 0 : 1) +
                                      (line_.stopBits == LineStopBits::Two ? 2 : 1);
    std::uint64_t const baud = line_.baud == 0 ? 1 : line_.baud;
    return std::chrono::milliseconds((count * bitsPerByte * 1000 + baud - 1) / baud);
}

// A write returns when the driver holds the bytes, yet a UART or a USB
// converter may hold several kilobytes, seconds of them at a low rate: a
// wait for the target's answer must start once they have gone out.
bool TtyDevice::WaitUntilSent(std::optional<Clock::time_point> deadline) {
    for (;;) {
        const auto queued = TransmitQueueBytes(fd_);
        if (!queued || *queued == 0) return true;  // gone out, or the driver cannot tell
        if (InterruptRequested()) return false;
        const auto now = Clock::now();
        if (deadline && now >= *deadline) return false;
        Clock::duration pause =
            std::clamp<Clock::duration>(WireTime(*queued), kShortestDrainPause, kLongestDrainPause);
        if (deadline) pause = std::min<Clock::duration>(pause, *deadline - now);
        std::this_thread::sleep_for(pause);
    }
}

bool TtyDevice::Flush(bool received, bool transmitted) {
    if (received && transmitted) return ::tcflush(fd_, TCIOFLUSH) == 0;
    if (received) return ::tcflush(fd_, TCIFLUSH) == 0;
    if (transmitted) return ::tcflush(fd_, TCOFLUSH) == 0;
    return true;
}

bool TtyDevice::SetDtr(bool on) { return ChangeModemLine(fd_, TIOCM_DTR, on); }

bool TtyDevice::SetRts(bool on) { return ChangeModemLine(fd_, TIOCM_RTS, on); }

bool TtyDevice::SetBreak(bool on) { return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

bool TtyDevice::RequestLowLatency() {
    const auto before = LowLatency(fd_);
    if (!before) return false;
    if (*before) return true;
    if (!SetLowLatency(fd_, true)) return false;
    lowLatencyToRestore_ = false;
    return true;
}

}  // namespace fwsend::posix
