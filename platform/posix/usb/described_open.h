#pragma once
// Opening a USB converter by its description, as both vendor layers do: the
// devices of that description are tried in their list's order, under the
// list's rule for several of one description.

#include "platform/posix/tty/tty_device.h"
#include "platform/posix/usb/usb_serial_lookup.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fwsend::posix {

struct DescribedOpen {
    std::optional<TtyDevice> device;  // opened exclusively; empty when none could be
    bool described = false;           // whether any device has the description
};

// A device that cannot be opened notes why (see TtyDevice::OpenExclusive).
DescribedOpen OpenByDescription(const std::vector<DescribedDevice>& devices, std::string_view description,
                                SameDescription rule);

// What a search that found no device of its description saw, for its
// reason: found "A", "B"; or none is attached.
std::string FoundDescriptions(const std::vector<DescribedDevice>& devices);

}  // namespace fwsend::posix
