#include "platform/posix/si_line_control.h"

namespace {

std::optional<LineParity> parityFrom(unsigned code)
{
    switch (code) {
    case 0: return LineParity::None;
    case 1: return LineParity::Odd;
    case 2: return LineParity::Even;
    case 3: return LineParity::Mark;
    case 4: return LineParity::Space;
    default: return std::nullopt;
    }
}

std::optional<LineStopBits> stopBitsFrom(unsigned code)
{
    switch (code) {
    case 0: return LineStopBits::One;
    case 2: return LineStopBits::Two;
    default: return std::nullopt;
    }
}

std::optional<bool> outputLevel(BYTE mask)
{
    if (mask == SI_HELD_INACTIVE)
        return false;
    if (mask == SI_HELD_ACTIVE)
        return true;
    return std::nullopt;  // firmware handshaking
}

} // namespace

std::optional<LineSettings> withLineControl(LineSettings current, WORD lineControl)
{
    unsigned const dataBits = lineControl >> 8;
    auto const parity = parityFrom((lineControl >> 4) & 0xF);
    auto const stopBits = stopBitsFrom(lineControl & 0xF);
    if (dataBits < 5 || dataBits > 8 || !parity || !stopBits)
        return std::nullopt;
    current.dataBits = static_cast<int>(dataBits);
    current.parity = *parity;
    current.checkParity = *parity != LineParity::None;
    current.stopBits = *stopBits;
    return current;
}

std::optional<LineSettings> withFlowControl(LineSettings current, BYTE ctsMask, BYTE rtsMask,
                                            BYTE dtrMask, BYTE dcdMask, BYTE dsrMask, BOOL xonXoff)
{
    if (ctsMask != SI_STATUS_INPUT || dcdMask != SI_STATUS_INPUT || dsrMask != SI_STATUS_INPUT
        || xonXoff)
        return std::nullopt;
    auto const rts = outputLevel(rtsMask);
    auto const dtr = outputLevel(dtrMask);
    if (!rts || !dtr)
        return std::nullopt;
    current.rts = *rts;
    current.dtr = *dtr;
    return current;
}
