#pragma once
// Applies flag words and a baud rate to an open terminal in one step. Kept
// free of <termios.h> types: on Linux it is implemented with termios2, whose
// kernel headers clash with <termios.h>.

#include "platform/posix/tty_flags.h"

#include <cstdint>

bool applyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud);
