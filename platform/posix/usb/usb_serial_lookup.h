#pragma once
// Finds the terminal devices of USB serial converters in sysfs, by the
// kernel driver bound to their USB interface (ftdi_sio, cp210x, ...), with
// the USB device's product string that names them.

#include "platform/posix/folder_listing.h"

#include <string>
#include <string_view>
#include <vector>

namespace fwsend::posix {

// Where the kernel's device tree and the device nodes are; tests point
// these at trees of their own.
struct DeviceRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

struct UsbSerialInterface {
    std::string ttyName;     // e.g. ttyUSB0
    std::string devicePath;  // the device node: <dev>/<ttyName>
    std::string product;     // the USB device's product string, without its line end;
                             // empty when the device has none
    std::string vendorId;    // idVendor and idProduct as sysfs writes them: "0403"
    std::string productId;
    unsigned interfaceNumber = 0;  // bInterfaceNumber of the USB interface
    unsigned interfaceCount = 0;   // bNumInterfaces of the USB device, bound or not
    std::string usbDevice;         // the USB device's sysfs directory: same for all its interfaces
};

// Every tty of /sys/class/tty whose USB interface is bound to driver, in the
// natural order of the tty names (ttyUSB2 before ttyUSB10). A failure when
// the tree could not be read: then nothing was looked at, rather than a
// list that may miss devices.
Listing<std::vector<UsbSerialInterface>> FindUsbSerialInterfaces(const DeviceRoots& roots,
                                                                 std::string_view driver);

// Why an open by description failed when the tree could not be read.
std::string UnreadableTreeReason(const std::string& failure);

// Orders names by their text, with runs of digits compared as numbers.
bool NaturalLess(std::string_view a, std::string_view b);

// The attached FTDI interfaces under the names the D2XX library gives them,
// so that the same -D text opens a converter on Linux and on Windows.

struct FtdiDevice {
    std::string description;  // the USB product string; "<product> A", "<product> B", ...
                              // for each interface of a multi-interface chip
    std::string devicePath;   // its terminal device node
};

// Every interface bound to ftdi_sio, in the natural order of the tty names;
// a failure as above.
Listing<std::vector<FtdiDevice>> ListFtdiDevices(const DeviceRoots& roots);

}  // namespace fwsend::posix
