#pragma once
// The line settings a terminal device is asked for, independent of how the
// caller describes them (a Windows DCB, a vendor record, ...).

#include <cstdint>
#include <optional>

namespace fwsend::posix {

enum class LineParity { None, Odd, Even, Mark, Space };
enum class LineStopBits { One, Two };

struct LineSettings {
    std::uint32_t baud = 9600;
    int dataBits = 8;                      // 5..8
    LineParity parity = LineParity::None;  // what is sent and expected on the wire
    bool checkParity = false;              // whether received parity errors are detected
    LineStopBits stopBits = LineStopBits::One;
    bool dtr = false;  // level of the DTR line
    bool rts = false;  // level of the RTS line
};

// Turns wanted line settings into the flag words of a terminal. The words are
// plain integers with the values of <termios.h>, so the termios2 code (which
// cannot include that header) can take them unchanged.

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
std::optional<TtyFlags> TtyFlagsFor(const LineSettings& settings);

}  // namespace fwsend::posix
