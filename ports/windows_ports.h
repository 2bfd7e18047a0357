#pragma once
// The serial devices of a Windows system that fwsend can open: the COM ports
// the system lists, and the converters that the vendor libraries report,
// where those libraries are installed.

#include "ports/port_entry.h"

#include <vector>

namespace fwsend {

// COM ports from HKLM\HARDWARE\DEVICEMAP\SERIALCOMM in the order of their
// numbers, then the FTDI devices of FTD2XX.dll and the CP2102 bridges of
// SiUSBXp.dll in the libraries' own order. The state stays Unknown: only an
// open would tell, and an open raises the modem lines.
std::vector<PortEntry> ListWindowsPorts();

}  // namespace fwsend
