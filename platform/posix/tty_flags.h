#pragma once
// Turns wanted line settings into the flag words of a terminal. The words are
// plain integers with the values of <termios.h>, so the termios2 code (which
// cannot include that header) can take them unchanged.

#include "platform/posix/line_settings.h"

#include <cstdint>
#include <optional>

struct TtyFlags {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;  // without the speed bits
    std::uint32_t lflag = 0;
    std::uint8_t vmin = 0;
    std::uint8_t vtime = 0;
};

// Raw mode: no byte is translated or interpreted in either direction, no flow
// control, the receiver on and modem status lines ignored. Empty when the
// terminal interface cannot express the settings (data bits outside 5..8,
// mark/space parity where CMSPAR is missing).
std::optional<TtyFlags> ttyFlagsFor(const LineSettings& settings);
