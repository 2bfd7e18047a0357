#include "platform/posix/ftdi_devices.h"

namespace {

constexpr char kFtdiDriver[] = "ftdi_sio";

// Dual and quad chips show one interface per channel; the vendor library
// names them by a letter from the interface number. Whether a chip has
// channels is the chip's own count of interfaces: a channel that another
// driver holds (a JTAG program on channel A) still counts.
std::string descriptionOf(const UsbSerialInterface& interface)
{
    if (interface.interfaceCount < 2 || interface.interfaceNumber >= 26)
        return interface.product;
    return interface.product + ' ' + static_cast<char>('A' + interface.interfaceNumber);
}

} // namespace

std::vector<FtdiDevice> listFtdiDevices(const DeviceRoots& roots)
{
    auto const interfaces = findUsbSerialInterfaces(roots, kFtdiDriver);
    std::vector<FtdiDevice> devices;
    devices.reserve(interfaces.size());
    for (auto const& interface : interfaces)
        devices.push_back({descriptionOf(interface), interface.devicePath});
    return devices;
}
