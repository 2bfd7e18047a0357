#include "tests/support/tty_speeds.h"

#ifdef __linux__
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace fwsend {

TtySpeeds ReadTtySpeeds(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return {};
    return {tio.c_ispeed, tio.c_ospeed};
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
