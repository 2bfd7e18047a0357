#include "platform/posix/win32_dcb.h"

namespace {

std::optional<LineParity> parityFrom(BYTE parity)
{
    switch (parity) {
    case NOPARITY: return LineParity::None;
    case ODDPARITY: return LineParity::Odd;
    case EVENPARITY: return LineParity::Even;
    case MARKPARITY: return LineParity::Mark;
    case SPACEPARITY: return LineParity::Space;
    default: return std::nullopt;
    }
}

std::optional<LineStopBits> stopBitsFrom(BYTE stopBits)
{
    switch (stopBits) {
    case ONESTOPBIT: return LineStopBits::One;
    case TWOSTOPBITS: return LineStopBits::Two;
    default: return std::nullopt;  // a terminal has no 1.5 stop bits
    }
}

// Only fixed levels: the terminal layer does no DTR/RTS handshaking.
std::optional<bool> fixedLevel(DWORD control)
{
    if (control == DTR_CONTROL_DISABLE)
        return false;
    if (control == DTR_CONTROL_ENABLE)
        return true;
    return std::nullopt;
}

bool asksForFlowControl(const DCB& dcb)
{
    return dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fOutX || dcb.fInX;
}

} // namespace

std::optional<LineSettings> lineSettingsFromDcb(const DCB& dcb)
{
    if (dcb.DCBlength != sizeof(DCB) || dcb.BaudRate == 0)
        return std::nullopt;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8)
        return std::nullopt;
    if (asksForFlowControl(dcb) || dcb.fNull)
        return std::nullopt;

    auto const parity = parityFrom(dcb.Parity);
    auto const stopBits = stopBitsFrom(dcb.StopBits);
    auto const dtr = fixedLevel(dcb.fDtrControl);
    auto const rts = fixedLevel(dcb.fRtsControl);
    if (!parity || !stopBits || !dtr || !rts)
        return std::nullopt;

    LineSettings settings;
    settings.baud = dcb.BaudRate;
    settings.dataBits = dcb.ByteSize;
    // Parity is what the line sends and expects; fParity only switches the
    // checking of received bytes.
    settings.parity = *parity;
    settings.checkParity = dcb.fParity != 0;
    settings.stopBits = *stopBits;
    settings.dtr = *dtr;
    settings.rts = *rts;
    return settings;
}
