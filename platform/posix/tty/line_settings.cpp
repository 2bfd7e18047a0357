#include "platform/posix/tty/line_settings.h"

#include <termios.h>

namespace fwsend::posix {

namespace {

std::optional<std::uint32_t> SizeFlag(int dataBits) {
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
    }
}

std::optional<std::uint32_t> ParityFlags(LineParity parity) {
    switch (parity) {
    case LineParity::None: return 0u;
    case LineParity::Odd: return PARENB | PARODD;
    case LineParity::Even: return PARENB;
#ifdef CMSPAR
    // With CMSPAR the parity bit is constant: 1 with PARODD (mark), 0 without (space).
    case LineParity::Mark: return PARENB | PARODD | CMSPAR;
    case LineParity::Space: return PARENB | CMSPAR;
#endif
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<TtyFlags> TtyFlagsFor(const LineSettings& settings) {
    const auto size = SizeFlag(settings.dataBits);
    const auto parity = ParityFlags(settings.parity);
    if (!size || !parity) return std::nullopt;

    TtyFlags flags;
    // Parity is generated and expected by the line as soon as PARENB is set;
    // INPCK only decides whether a received parity error is detected.
    flags.iflag = settings.checkParity ? INPCK : 0u;
    flags.oflag = 0;
    flags.lflag = 0;
    flags.cflag = CREAD | CLOCAL | *size | *parity;
    if (settings.stopBits == LineStopBits::Two) flags.cflag |= CSTOPB;
    // With a non-blocking descriptor VMIN 1 makes read() return what is
    // there, fail with EAGAIN when nothing is, and return 0 only on hang-up.
    // Timing is done with poll, not with VTIME.
    flags.vmin = 1;
    flags.vtime = 0;
    return flags;
}

}  // namespace fwsend::posix
