#include "platform/posix/win32_timeouts.h"

#include <cstdint>

namespace {

// Computed in 64 bits: MAXDWORD * count does not fit in a DWORD.
std::optional<std::chrono::milliseconds> totalFor(DWORD multiplier, DWORD constant, DWORD count)
{
    if (multiplier == 0 && constant == 0)
        return std::nullopt;
    std::uint64_t const ms = std::uint64_t{multiplier} * count + constant;
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms));
}

} // namespace

ReadTiming readTimingFor(const COMMTIMEOUTS& timeouts, DWORD count)
{
    auto const interval = timeouts.ReadIntervalTimeout;
    auto const multiplier = timeouts.ReadTotalTimeoutMultiplier;
    auto const constant = timeouts.ReadTotalTimeoutConstant;

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
    if (interval != 0)
        timing.interval = std::chrono::milliseconds(interval);
    timing.total = totalFor(multiplier, constant, count);
    return timing;
}

std::optional<std::chrono::milliseconds> writeTimeoutFor(const COMMTIMEOUTS& timeouts,
                                                         DWORD count)
{
    return totalFor(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant,
                    count);
}
