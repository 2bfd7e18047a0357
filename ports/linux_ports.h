#pragma once
// The serial devices of a Linux system that fwsend can open, found in sysfs
// with the lookup that fwsend's own transports use.

#include "platform/posix/usb/usb_serial_lookup.h"
#include "ports/port_entry.h"

#include <vector>

namespace fwsend {

// Every tty with a device behind it whose device node exists (a UART, of
// the 8250 driver or a board's own, only where one answered; USB serial
// converters), in the natural order of the tty names: each with its -COM
// option, its driver, the USB device's ids, product string and serial
// number, its /dev/serial/by-path name, and for FTDI and CP210x converters
// the -D description that fwsend matches, ranked in the order in which
// fwsend tries devices of equal description. The state is left Unknown (see
// port_state.h). A failure, and no entries, when sysfs could not be read: a
// list that may miss devices is no list.
posix::Listing<std::vector<PortEntry>> ListLinuxPorts(const posix::DeviceRoots& roots);

}  // namespace fwsend
