#pragma once
// Which processes hold a character device open, found in /proc without
// opening anything: terminal programs (screen, cat, a getty, ModemManager)
// often hold a serial port with no lock file, no flock and no TIOCEXCL, and
// would eat what the port receives.
//
// A process that holds the master of a pseudo-terminal is its far end, not
// a user of its slave: it is never counted as holding the slave. Processes
// of other users are visible to root only.

#include "platform/posix/folder_listing.h"

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

namespace fwsend::posix {

constexpr char kDefaultProcRoot[] = "/proc";

// The lowest process id other than ignoredPid that holds device open, if
// any; a failure when procRoot could not be read to its end, since a holder
// may then have been missed.
Listing<std::optional<long>> FindDeviceHolder(dev_t device, long ignoredPid,
                                              const std::string& procRoot = kDefaultProcRoot);

// Every character device that some process holds open, with the lowest such
// process id; a failure as above.
Listing<std::map<dev_t, long>> FindHeldDevices(const std::string& procRoot = kDefaultProcRoot);

}  // namespace fwsend::posix
