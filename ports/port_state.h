#pragma once
// Whether this user can open each listed device now, found out without
// opening it (an open would raise the modem lines and may reset a board).

#include "ports/port_entry.h"

#include <string>
#include <vector>

namespace fwsend {

// In use: a process holds the device's lock file, or has it open where this
// user may look (all processes for root, the user's own otherwise; the
// holder of a pseudo-terminal's master is its far end, not a user). No
// permission: this user may not both read and write it; then the group to
// join, when the device's group (not root's) may, else its owner. Else free.
// procRoot and lockFolder are /proc and /run/lock; tests may point them
// elsewhere. The failure when procRoot could not be read to its end (then
// a device in use might show as free, and no state is given), else empty.
std::string FindPortStates(std::vector<PortEntry>& entries, const std::string& procRoot = "/proc",
                           const std::string& lockFolder = "/run/lock");

}  // namespace fwsend
