// Linux: the whole terminal state goes through TCGETS2/TCSETS2, so that any
// baud rate (14400, 56000, 128000, 256000 included) is set exactly with
// BOTHER, and so that a pseudo-terminal, which quietly drops PARENB and
// forces 8 data bits, is accepted as it is.
#ifdef __linux__

#include "platform/posix/tty/tty_driver.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <cstring>

namespace fwsend::posix {

std::optional<std::uint32_t> ApplyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud) {
    if (baud == 0) return std::nullopt;  // B0 would hang the line up, not set a rate

    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return std::nullopt;

    tio.c_iflag = flags.iflag;
    tio.c_oflag = flags.oflag;
    tio.c_lflag = flags.lflag;
    tio.c_cflag = flags.cflag & ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    tio.c_cc[VMIN] = flags.vmin;
    tio.c_cc[VTIME] = flags.vtime;

    if (::ioctl(fd, TCSETS2, &tio) != 0) return std::nullopt;
    // The driver writes back the rate it runs: the 8250 keeps its old rate
    // for one beyond its clock, cp210x rounds to the rates the chip has.
    termios2 held{};
    if (::ioctl(fd, TCGETS2, &held) != 0) return std::nullopt;
    return held.c_ospeed;
}

std::optional<std::size_t> TransmitQueueBytes(int fd) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0) return std::nullopt;
    return static_cast<std::size_t>(queued);
}

std::optional<bool> LowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return std::nullopt;
    return (info.flags & ASYNC_LOW_LATENCY) != 0;
}

bool SetLowLatency(int fd, bool on) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return false;
    if (on)
        info.flags |= ASYNC_LOW_LATENCY;
    else
        info.flags &= ~ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

static_assert(sizeof(termios2) <= sizeof(SavedTtyAttributes::bytes), "termios2 outgrew the saved record");

std::optional<SavedTtyAttributes> SaveTtyAttributes(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return std::nullopt;
    SavedTtyAttributes saved{};
    std::memcpy(saved.bytes, &tio, sizeof tio);
    return saved;
}

bool RestoreTtyAttributes(int fd, const SavedTtyAttributes& saved) {
    termios2 tio{};
    std::memcpy(&tio, saved.bytes, sizeof tio);
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace fwsend::posix

#endif
