#include "tests/support/tty_speeds.h"

#ifdef __linux__
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace fwsend {

namespace {

// Where termios2 is missing (qemu-user), the rate is one of the B codes.
std::uint32_t StandardRate(tcflag_t code) {
    constexpr struct {
        tcflag_t code;
        std::uint32_t baud;
    } kRates[] = {{B110, 110},     {B300, 300},     {B600, 600},       {B1200, 1200},
                  {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},
                  {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    for (const auto& rate : kRates)
        if (rate.code == code) return rate.baud;
    return 0;
}

}  // namespace

TtySpeeds ReadTtySpeeds(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) == 0) return {tio.c_ispeed, tio.c_ospeed};
    termios plain{};
    if (::ioctl(fd, TCGETS, &plain) != 0) return {};
    const tcflag_t input = (plain.c_cflag >> IBSHIFT) & CBAUD;  // 0: as the output
    const std::uint32_t output = StandardRate(plain.c_cflag & CBAUD);
    return {input == 0 ? output : StandardRate(input), output};
}

}  // namespace fwsend

#else
#include <termios.h>

namespace fwsend {

TtySpeeds ReadTtySpeeds(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return {};
    return {static_cast<std::uint32_t>(::cfgetispeed(&tio)), static_cast<std::uint32_t>(::cfgetospeed(&tio))};
}

}  // namespace fwsend

#endif
