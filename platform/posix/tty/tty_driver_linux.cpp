// Linux: the whole terminal state goes through TCGETS2/TCSETS2, so that any
// baud rate (14400, 56000, 128000, 256000 included) is set exactly with
// BOTHER, and so that a pseudo-terminal, which quietly drops PARENB and
// forces 8 data bits, is accepted as it is. Where the kernel interface lacks
// those two (qemu-user, WSL1, some seccomp sandboxes answer ENOTTY or
// ENOSYS), TCGETS/TCSETS carry the standard rates, whose B constants they
// know; any other rate is refused there, never run at some other speed.
#ifdef __linux__

#include "platform/posix/tty/tty_driver.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace fwsend::posix {

namespace {

using Outcome = AppliedAttributes::Outcome;

bool Termios2Missing(int error) { return error == ENOTTY || error == ENOSYS; }

struct StandardRate {
    std::uint32_t baud;
    tcflag_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// The plain termios record is the front of termios2: a state saved through
// one is put back through the other.
static_assert(offsetof(termios2, c_cc) == offsetof(termios, c_cc) && sizeof(termios) <= sizeof(termios2),
              "termios is not the front of termios2");

// For termios and termios2 alike.
template <typename Record>
void SetFlags(Record& tio, const TtyFlags& flags) {
    tio.c_iflag = flags.iflag;
    tio.c_oflag = flags.oflag;
    tio.c_lflag = flags.lflag;
    tio.c_cflag = flags.cflag & ~(CBAUD | (CBAUD << IBSHIFT));  // the input rate follows the output's
    tio.c_cc[VMIN] = flags.vmin;
    tio.c_cc[VTIME] = flags.vtime;
}

AppliedAttributes ApplyStandardRate(int fd, const TtyFlags& flags, std::uint32_t baud) {
    const StandardRate* rate = nullptr;
    for (const auto& standard : kStandardRates)
        if (standard.baud == baud) rate = &standard;
    if (rate == nullptr) return {Outcome::NonStandardRate, 0};

    termios tio{};
    if (::ioctl(fd, TCGETS, &tio) != 0) return {};
    SetFlags(tio, flags);
    tio.c_cflag |= rate->code;
    if (::ioctl(fd, TCSETS, &tio) != 0) return {};
    termios held{};
    if (::ioctl(fd, TCGETS, &held) != 0) return {};
    for (const auto& standard : kStandardRates)
        if (standard.code == (held.c_cflag & CBAUD)) return {Outcome::Applied, standard.baud};
    return {Outcome::Applied, 0};  // BOTHER: a rate the driver chose, not in this table
}

}  // namespace

AppliedAttributes ApplyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud) {
    if (baud == 0) return {};  // B0 would hang the line up, not set a rate

    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return Termios2Missing(errno) ? ApplyStandardRate(fd, flags, baud) : AppliedAttributes{};

    SetFlags(tio, flags);
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;

    if (::ioctl(fd, TCSETS2, &tio) != 0) return {};
    // The driver writes back the rate it runs: the 8250 keeps its old rate
    // for one beyond its clock, cp210x rounds to the rates the chip has.
    termios2 held{};
    if (::ioctl(fd, TCGETS2, &held) != 0) return {};
    return {Outcome::Applied, held.c_ospeed};
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
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        termios plain{};
        if (!Termios2Missing(errno) || ::ioctl(fd, TCGETS, &plain) != 0) return std::nullopt;
        std::memcpy(&tio, &plain, sizeof plain);
    }
    SavedTtyAttributes saved{};
    std::memcpy(saved.bytes, &tio, sizeof tio);
    return saved;
}

bool RestoreTtyAttributes(int fd, const SavedTtyAttributes& saved) {
    termios2 tio{};
    std::memcpy(&tio, saved.bytes, sizeof tio);
    if (::ioctl(fd, TCSETS2, &tio) == 0) return true;
    if (!Termios2Missing(errno)) return false;
    termios plain{};
    std::memcpy(&plain, &tio, sizeof plain);
    return ::ioctl(fd, TCSETS, &plain) == 0;
}

}  // namespace fwsend::posix

#endif
