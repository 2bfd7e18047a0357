// Linux: the whole terminal state goes through TCGETS2/TCSETS2, so that any
// baud rate (14400, 56000, 128000, 256000 included) is set exactly with
// BOTHER, and so that a pseudo-terminal, which quietly drops PARENB and
// forces 8 data bits, is accepted as it is.
#ifdef __linux__

#include "platform/posix/tty_attributes.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool applyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud)
{
    if (baud == 0)
        return false;  // B0 would hang the line up, not set a rate

    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;

    tio.c_iflag = flags.iflag;
    tio.c_oflag = flags.oflag;
    tio.c_lflag = flags.lflag;
    tio.c_cflag = flags.cflag & ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    tio.c_cc[VMIN] = flags.vmin;
    tio.c_cc[VTIME] = flags.vtime;

    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

#endif
