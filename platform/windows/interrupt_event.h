#pragma once
// How a parent that shares no console with fwsend.exe interrupts it: it
// makes a manual-reset event of this name before fwsend runs (creating the
// child suspended) and sets it; fwsend watches the event when it finds one,
// and takes its setting as it takes Ctrl-Break. The name holds fwsend's
// process id, which its parent holds the process handle of, so the id
// cannot pass to another process meanwhile.

#include <string>

namespace fwsend {

inline std::string InterruptEventName(unsigned long processId) {
    return "Local\\fwsend-interrupt-" + std::to_string(processId);
}

}  // namespace fwsend
