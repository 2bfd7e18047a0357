#include "tests/platform/posix/usb/scripted_tty_driver.h"

#include "platform/posix/tty/tty_driver.h"

namespace fwsend::posix {

ScriptedTtyDriver& Script() {
    static ScriptedTtyDriver script;
    return script;
}

AppliedAttributes ApplyTtyAttributes(int, const TtyFlags&, std::uint32_t baud) {
    return {AppliedAttributes::Outcome::Applied, Script().heldRate.value_or(baud)};
}

std::optional<std::size_t> TransmitQueueBytes(int) {
    auto& script = Script();
    const std::size_t index = std::min(script.queueQuestions, script.queueReadings.size() - 1);
    ++script.queueQuestions;
    return script.queueReadings[index];
}

std::optional<bool> LowLatency(int) { return Script().lowLatency; }

bool SetLowLatency(int, bool on) {
    if (!Script().lowLatency) return false;
    Script().lowLatency = on;
    Script().lowLatencyChanges.push_back(on);
    return true;
}

// The pseudo-terminal's own state is not what these tests look at.
std::optional<SavedTtyAttributes> SaveTtyAttributes(int) { return std::nullopt; }

bool RestoreTtyAttributes(int, const SavedTtyAttributes&) { return false; }

}  // namespace fwsend::posix
