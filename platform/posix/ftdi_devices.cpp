#include "platform/posix/ftdi_devices.h"

#include <algorithm>

namespace {

constexpr char kFtdiDriver[] = "ftdi_sio";

// Dual and quad chips show one interface per channel; the vendor library
// names them by a letter from the interface number.
std::string descriptionOf(const UsbSerialInterface& interface,
                          const std::vector<UsbSerialInterface>& all)
{
    auto const sameDevice = std::count_if(all.begin(), all.end(), [&](auto const& other) {
        return other.usbDevice == interface.usbDevice;
    });
    if (sameDevice < 2 || interface.interfaceNumber >= 26)
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
        devices.push_back({descriptionOf(interface, interfaces), interface.devicePath});
    return devices;
}
