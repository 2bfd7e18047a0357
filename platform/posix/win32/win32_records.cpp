#include "platform/posix/win32/win32_records.h"

namespace fwsend::posix {

namespace {

std::optional<LineParity> ParityFrom(BYTE parity) {
    switch (parity) {
    case NOPARITY: return LineParity::None;
    case ODDPARITY: return LineParity::Odd;
    case EVENPARITY: return LineParity::Even;
    case MARKPARITY: return LineParity::Mark;
    case SPACEPARITY: return LineParity::Space;
    default: return std::nullopt;
    }
}

std::optional<LineStopBits> StopBitsFrom(BYTE stopBits) {
    switch (stopBits) {
    case ONESTOPBIT: return LineStopBits::One;
    case TWOSTOPBITS: return LineStopBits::Two;
    default: return std::nullopt;  // a terminal has no 1.5 stop bits
    }
}

// Only fixed levels: the terminal layer does no DTR/RTS handshaking.
std::optional<bool> FixedLevel(DWORD control) {
    if (control == DTR_CONTROL_DISABLE) return false;
    if (control == DTR_CONTROL_ENABLE) return true;
    return std::nullopt;
}

bool AsksForFlowControl(const DCB& dcb) {
    return dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fOutX || dcb.fInX;
}

}  // namespace

std::optional<LineSettings> LineSettingsFromDcb(const DCB& dcb) {
    if (dcb.DCBlength != sizeof(DCB) || dcb.BaudRate == 0) return std::nullopt;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return std::nullopt;
    if (AsksForFlowControl(dcb) || dcb.fNull) return std::nullopt;

    const auto parity = ParityFrom(dcb.Parity);
    const auto stopBits = StopBitsFrom(dcb.StopBits);
    const auto dtr = FixedLevel(dcb.fDtrControl);
    const auto rts = FixedLevel(dcb.fRtsControl);
    if (!parity || !stopBits || !dtr || !rts) return std::nullopt;

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

namespace {

// Computed in 64 bits: MAXDWORD * count does not fit in a DWORD.
std::optional<std::chrono::milliseconds> TotalFor(DWORD multiplier, DWORD constant, DWORD count) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    std::uint64_t const ms = std::uint64_t{multiplier} * count + constant;
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms));
}

}  // namespace

ReadTiming ReadTimingFor(const COMMTIMEOUTS& timeouts, DWORD count) {
    const auto interval = timeouts.ReadIntervalTimeout;
    const auto multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const auto constant = timeouts.ReadTotalTimeoutConstant;

    ReadTiming timing;
    if (interval == MAXDWORD && multiplier == 0 && constant == 0) {
        timing.total = std::chrono::milliseconds(0);
        return timing;
    }
    if (interval == MAXDWORD && multiplier == MAXDWORD && constant > 0 && constant < MAXDWORD) {
        timing.total = std::chrono::milliseconds(constant);
        timing.returnOnFirstBytes = true;
        return timing;
    }
    if (interval != 0) timing.interval = std::chrono::milliseconds(interval);
    timing.total = TotalFor(multiplier, constant, count);
    return timing;
}

std::optional<std::chrono::milliseconds> WriteTimeoutFor(const COMMTIMEOUTS& timeouts, DWORD count) {
    return TotalFor(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, count);
}

}  // namespace fwsend::posix
