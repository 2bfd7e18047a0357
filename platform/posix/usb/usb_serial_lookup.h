#pragma once
// Finds the terminal devices of USB serial converters in sysfs, by the
// kernel driver bound to their USB interface (ftdi_sio, cp210x, ...), with
// the USB device's product string that names them; and the driver that
// serves any tty.

#include "platform/posix/folder_listing.h"

#include <cstddef>
#include <optional>
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
    std::string serialNumber;      // the USB device's serial number string; empty when it has none
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

// The USB interface behind one tty, whatever driver is bound to it; empty
// for a tty that is not a USB device's.
std::optional<UsbSerialInterface> UsbSerialInterfaceOf(const DeviceRoots& roots, const std::string& ttyName);

// The driver that serves a tty: the first one bound on the way up from its
// device (an on-board UART's platform driver, ftdi_sio, cdc_acm), passing
// the serial core's own port and controller devices. ttyDevice is the
// canonical path of /sys/class/tty/<tty>/device, sysfsRoot that of the
// sysfs root. Empty when none is.
std::string DriverServingTty(const std::string& ttyDevice, const std::string& sysfsRoot);

// Orders names by their text, with runs of digits compared as numbers.
bool NaturalLess(std::string_view a, std::string_view b);

// The converters that -T1 and -T2 open by their description, under the
// names the vendor libraries give them, so that the same -D text opens a
// converter on Linux and on Windows. Each list is in the order an open by
// description tries them: the natural order of the tty names.

struct DescribedDevice {
    std::string description;  // what -D must say, exactly
    std::string devicePath;   // its terminal device node
};

// Of several devices with the description asked for, the one an open takes.
enum class SameDescription {
    FirstFree,  // the first that no other program holds
    FirstOnly,  // the first, free or not: a later one is never tried
};

// Every interface bound to ftdi_sio, in the natural order of the tty names:
// the USB product string, or "<product> A", "<product> B", ... for each
// interface of a multi-interface chip; a failure as above.
Listing<std::vector<DescribedDevice>> ListFtdiDevices(const DeviceRoots& roots);
constexpr SameDescription kFtdiSameDescription = SameDescription::FirstFree;

// Every interface bound to cp210x, by its USB product string: the bridges
// that the USBXpress layer numbers 0, 1, ... The CP2102 link takes the first
// bridge of the description it is given, as the USBXpress callers search;
// a failure as above.
Listing<std::vector<DescribedDevice>> ListCp2102Bridges(const DeviceRoots& roots);
constexpr SameDescription kCp2102SameDescription = SameDescription::FirstOnly;

// The index of the device that an open by this description takes first;
// empty when none is so described.
std::optional<std::size_t> FirstDescribedAs(const std::vector<DescribedDevice>& devices,
                                            std::string_view description);

}  // namespace fwsend::posix
