#pragma once
// A terminal device (serial port, USB serial converter, pseudo-terminal)
// owned by this process alone: line settings, millisecond read timing,
// complete writes, flushing and the modem lines. Every transport that ends
// on a terminal device uses this; only the way the device is named differs.

#include "platform/posix/tty/line_settings.h"
#include "platform/posix/tty/port_claim.h"
#include "platform/posix/tty/port_lock.h"
#include "platform/posix/tty/tty_driver.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fwsend::posix {

// When a read of n bytes returns before all n have arrived.
struct ReadTiming {
    // Measured from the start of the read; none: no limit.
    std::optional<std::chrono::milliseconds> total;
    // Longest gap between two received bytes, counted from the first byte;
    // none: no limit.
    std::optional<std::chrono::milliseconds> interval;
    // Return as soon as any byte has been received.
    bool returnOnFirstBytes = false;
};

class TtyDevice {
public:
    // Opens path read-write, without becoming its controlling terminal and
    // closed on exec. Empty when the path is missing, is not a terminal, is
    // the terminal this process runs in, or is held by another open (another
    // process, or this one); the reason is noted for DescribeOpenFailure.
    // Every opening of a tty raises DTR and RTS, which reset many boards, so
    // a port in use is found out before it is touched: another fwsend's
    // claim, a lock file, a process that has it open. When released, the
    // terminal's settings are put back as they were found.
    static std::optional<TtyDevice> OpenExclusive(const std::string& path);

    TtyDevice(TtyDevice&& other) noexcept;
    TtyDevice& operator=(TtyDevice&& other) noexcept;
    TtyDevice(const TtyDevice&) = delete;
    TtyDevice& operator=(const TtyDevice&) = delete;
    ~TtyDevice();

    // Raw line with the given rate and framing, no flow control, then DTR
    // and RTS at the wanted levels. A device without modem lines (a
    // pseudo-terminal) is not an error here. A rate that the driver does not
    // hold afterwards is: the line would run at another speed.
    bool ApplyLineSettings(const LineSettings& settings);

    // Up to count bytes, as timing allows. The count received (0 on a
    // timeout with nothing), or empty on an error or when the device is gone
    // with nothing received in this call.
    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t count, const ReadTiming& timing);

    // Every byte, and returns once they have left the driver for the wire,
    // unless the timeout expires first (none: twice the bytes' time on the
    // wire plus 8 s, so that a device that stops taking bytes never hangs
    // the caller). The count that went out, or empty on an error. Bytes
    // still queued at the timeout are discarded, as a timed-out write is on
    // Windows.
    std::optional<std::size_t> WriteAll(const std::uint8_t* buffer, std::size_t count,
                                        std::optional<std::chrono::milliseconds> timeout);

    // Discards received and/or not yet transmitted bytes.
    bool Flush(bool received, bool transmitted);

    // Explicit requests: false when the device has no such line.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    bool SetBreak(bool on);

    // Asks the driver to hand received bytes on without delay (Linux serial
    // drivers); best effort, false when the driver does not support it. The
    // driver's mode is put back on close.
    bool RequestLowLatency();

private:
    TtyDevice(int fd, std::string path, PortClaim claim, PortLock lock)
        : fd_(fd), path_(std::move(path)), claim_(std::move(claim)), lock_(std::move(lock)) {}
    std::chrono::milliseconds WireTime(std::size_t count) const;
    bool WaitUntilSent(std::optional<std::chrono::steady_clock::time_point> deadline);
    void Release();

    int fd_ = -1;
    std::string path_;
    PortClaim claim_;
    PortLock lock_;
    bool exclusiveMode_ = false;                             // TIOCEXCL set by us, to be cleared on close
    std::optional<bool> lowLatencyToRestore_;                // the driver's mode before we changed it
    std::optional<SavedTtyAttributes> attributesToRestore_;  // the terminal's settings as found
    LineSettings line_;                                      // as last applied
};

}  // namespace fwsend::posix
