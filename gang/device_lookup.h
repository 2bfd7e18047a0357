#pragma once
// The system's serial devices as the gang needs to know them: the port
// finder's list, and where a COM port name leads. POSIX: the Linux port
// finder, fwsend's own COM name mapping and realpath; Windows: the Windows
// port finder and the system's COM names.

#include <optional>
#include <string>
#include <vector>

#include "ports/port_entry.h"

namespace fwsend::gang {

// The serial devices attached now, as fwsend-ports lists them; withStates
// also finds out whether each is free (a look through every process). When
// the system's lists could not be read, no entries and *failure says why
// (left empty otherwise).
std::vector<PortEntry> AttachedPorts(bool withStates, std::string* failure = nullptr);

// The device that -COM's value (COMttyUSB0, COM3, COM/dev/serial/...) opens
// in fwsend, as named and with every link followed; resolved is empty when
// it does not exist. Nothing when the name designates no device at all.
struct ComPortPath {
    std::string named;
    std::string resolved;
};
std::optional<ComPortPath> LocateComPort(const std::string& comPortName);

// A port entry's device with every link followed; empty when it is gone.
std::string ResolvedDevice(const std::string& device);

}  // namespace fwsend::gang
