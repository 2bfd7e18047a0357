#include "gang/board_device.h"

#include <algorithm>

#include "app/transport_choice.h"
#include "gang/device_lookup.h"

namespace fwsend::gang {

bool NamedByComPort(const BoardDevice& device) {
    const TransportChoice* choice = FindTransportChoice(device.type);
    return choice && choice->namedByComPort;
}

std::string UsbIdsOf(const PortEntry& entry) {
    if (entry.vendorId.empty() || entry.productId.empty()) return {};
    return entry.vendorId + ":" + entry.productId;
}

namespace {

bool IsOpenedEntry(const PortEntry& entry, const BoardDevice& device) {
    return entry.link && entry.link->type == device.type && entry.link->description == device.usbDeviceName &&
           entry.link->rank == 1;
}

}  // namespace

bool DevicePresent(const BoardDevice& device, const std::vector<PortEntry>& ports) {
    if (NamedByComPort(device)) {
        const auto path = LocateComPort(device.comPortName);
        return path && !path->resolved.empty();
    }
    return std::any_of(ports.begin(), ports.end(),
                       [&device](const PortEntry& entry) { return IsOpenedEntry(entry, device); });
}

DeviceLocation LocateBoardDevice(const BoardDevice& device, const std::vector<PortEntry>& ports) {
    DeviceLocation location;
    if (NamedByComPort(device)) {
        const auto path = LocateComPort(device.comPortName);
        location.identity = path ? path->named : device.comPortName;
        if (!path || path->resolved.empty()) return location;
        location.present = true;
        location.path = location.identity = path->resolved;
        for (const PortEntry& entry : ports)
            if (ResolvedDevice(entry.device) == location.path) location.entry = entry;
        return location;
    }
    location.identity = "-T" + std::to_string(device.type) + " -D" + device.usbDeviceName;
    for (const PortEntry& entry : ports) {
        if (!IsOpenedEntry(entry, device)) continue;
        const std::string resolved = ResolvedDevice(entry.device);
        location.present = true;
        location.path = location.identity = resolved.empty() ? entry.device : resolved;
        location.entry = entry;
        break;
    }
    return location;
}

}  // namespace fwsend::gang
