// Systems other than Linux: standard rates through cfsetspeed and tcsetattr.
// A rate the system has no constant for, or that the driver does not keep,
// is a failure rather than a silently different speed.
#ifndef __linux__

#include "platform/posix/tty/tty_driver.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <cstring>

namespace fwsend::posix {

namespace {

bool SpeedFor(std::uint32_t baud, speed_t& speed) {
    struct Rate {
        std::uint32_t baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},         {75, B75},   {110, B110},   {134, B134},   {150, B150},   {200, B200},
        {300, B300},       {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800},
#ifdef B7200
        {7200, B7200},
#endif
        {9600, B9600},
#ifdef B14400
        {14400, B14400},
#endif
        {19200, B19200},
#ifdef B28800
        {28800, B28800},
#endif
        {38400, B38400},
#ifdef B57600
        {57600, B57600},
#endif
#ifdef B76800
        {76800, B76800},
#endif
#ifdef B115200
        {115200, B115200},
#endif
#ifdef B230400
        {230400, B230400},
#endif
    };
    for (const auto& rate : kRates) {
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

}  // namespace

AppliedAttributes ApplyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud) {
    using Outcome = AppliedAttributes::Outcome;
    speed_t speed{};
    if (!SpeedFor(baud, speed)) return {Outcome::NonStandardRate, 0};

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return {};
    tio.c_iflag = flags.iflag;
    tio.c_oflag = flags.oflag;
    tio.c_lflag = flags.lflag;
    tio.c_cflag = flags.cflag;
    tio.c_cc[VMIN] = flags.vmin;
    tio.c_cc[VTIME] = flags.vtime;
    if (::cfsetspeed(&tio, speed) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0) return {};

    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) return {};
    if (::cfgetospeed(&applied) != speed)
        return {Outcome::Applied, 0};  // some other rate: no number for it here
    return {Outcome::Applied, baud};
}

std::optional<std::size_t> TransmitQueueBytes(int fd) {
#ifdef TIOCOUTQ
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued >= 0) return static_cast<std::size_t>(queued);
#endif
    (void)fd;
    return std::nullopt;
}

std::optional<bool> LowLatency(int) { return std::nullopt; }

bool SetLowLatency(int, bool) { return false; }

static_assert(sizeof(termios) <= sizeof(SavedTtyAttributes::bytes), "termios outgrew the saved record");

std::optional<SavedTtyAttributes> SaveTtyAttributes(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return std::nullopt;
    SavedTtyAttributes saved{};
    std::memcpy(saved.bytes, &tio, sizeof tio);
    return saved;
}

bool RestoreTtyAttributes(int fd, const SavedTtyAttributes& saved) {
    termios tio{};
    std::memcpy(&tio, saved.bytes, sizeof tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace fwsend::posix

#endif
