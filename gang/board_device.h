#pragma once
// Which device a board names, found as fwsend finds it: for the report, for
// refusing two boards that name one device, and for telling when a slot's
// device goes away and comes back.

#include <optional>
#include <string>
#include <vector>

#include "gang/board.h"
#include "ports/port_entry.h"

namespace fwsend::gang {

struct DeviceLocation {
    bool present = false;
    std::string path;  // the device it leads to, links followed; empty when absent
    // What two boards naming one device have in common: the path, else (for
    // an absent device) the name fwsend would open.
    std::string identity;
    std::optional<PortEntry> entry;  // the port finder's entry for it, if it lists it
};

// ports: the port finder's list (see device_lookup.h). A -T1/-T2 board
// names the entry of that link and description that fwsend opens (rank 1).
DeviceLocation LocateBoardDevice(const BoardDevice& device, const std::vector<PortEntry>& ports);

// Whether the device is there now: the cheap look of LocateBoardDevice.
bool DevicePresent(const BoardDevice& device, const std::vector<PortEntry>& ports);

// Whether fwsend opens the board's device by a COM port name, rather than
// by its USB description.
bool NamedByComPort(const BoardDevice& device);

// "vendor:product" of an entry, or empty.
std::string UsbIdsOf(const PortEntry& entry);

}  // namespace fwsend::gang
