#pragma once
// A terminal driver that says what the test tells it to, linked in place of
// the system's: the rate it holds after a change, its transmit queue, its
// low-latency mode. The device itself is a pseudo-terminal.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fwsend::posix {

struct ScriptedTtyDriver {
    // The rate the driver reports after a change; none: the one asked for.
    std::optional<std::uint32_t> heldRate;
    // Successive answers on the transmit queue; the last one repeats.
    std::vector<std::size_t> queueReadings = {0};
    std::size_t queueQuestions = 0;
    // The low-latency mode; none: the driver has none.
    std::optional<bool> lowLatency;
    std::vector<bool> lowLatencyChanges;
};

// The one script, reset by each test.
ScriptedTtyDriver& Script();

}  // namespace fwsend::posix
