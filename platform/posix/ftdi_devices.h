#pragma once
// The attached FTDI interfaces under the names the D2XX library gives them,
// so that the same -D text opens a converter on Linux and on Windows.

#include "platform/posix/usb_serial_lookup.h"

#include <string>
#include <vector>

struct FtdiDevice {
    std::string description;  // the USB product string; "<product> A", "<product> B", ...
                              // for each interface of a multi-interface chip
    std::string devicePath;   // its terminal device node
};

// Every interface bound to ftdi_sio, in the natural order of the tty names.
std::vector<FtdiDevice> listFtdiDevices(const DeviceRoots& roots);
