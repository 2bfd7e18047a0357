#pragma once
// What a terminal device's driver is asked beyond reading and writing: the
// line's attributes, the transmit queue and the low-latency flag. Kept
// apart for two reasons: on Linux the attributes go through termios2, whose
// kernel headers clash with <termios.h>; and tests link a scripted driver in
// its place, to show what a pseudo-terminal cannot (a rate the driver did
// not take, a queue that drains at the pace of the wire).

#include "platform/posix/tty/line_settings.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace fwsend::posix {

// What came of a change of the line's attributes.
struct AppliedAttributes {
    enum class Outcome {
        Applied,
        Refused,          // the driver refused the change
        NonStandardRate,  // the system sets standard rates (B9600, ...) only, and this is none
    };
    Outcome outcome = Outcome::Refused;
    // Applied: the rate the driver holds afterwards; 0 when it holds one
    // that has no number here.
    std::uint32_t heldBaud = 0;
};

// Applies flag words and a baud rate in one step, then reads back the rate
// the driver holds: a driver that cannot run a rate keeps its old one or
// rounds it, and says so only there.
AppliedAttributes ApplyTtyAttributes(int fd, const TtyFlags& flags, std::uint32_t baud);

// Bytes written but not yet on the wire; empty when the driver cannot tell.
std::optional<std::size_t> TransmitQueueBytes(int fd);

// The driver's low-latency mode (Linux serial drivers: the FTDI driver's
// latency timer goes to 1 ms); empty where the driver has none.
std::optional<bool> LowLatency(int fd);
bool SetLowLatency(int fd, bool on);

// The terminal's whole state as the driver holds it (termios2 on Linux,
// where it is offered), kept from the open to be put back at the close: a
// port is left as it was found, not raw at the upload's rate.
struct SavedTtyAttributes {
    alignas(8) unsigned char bytes[128];
};
std::optional<SavedTtyAttributes> SaveTtyAttributes(int fd);
// At once, not after the transmit queue has drained.
bool RestoreTtyAttributes(int fd, const SavedTtyAttributes& saved);

}  // namespace fwsend::posix
