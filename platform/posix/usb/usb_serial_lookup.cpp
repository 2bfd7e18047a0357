#include "platform/posix/usb/usb_serial_lookup.h"

#include "platform/posix/usb/sysfs_files.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include <dirent.h>

namespace fwsend::posix {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The name of the driver a sysfs device is bound to, from its driver link.
std::optional<std::string> driverOf(const std::string& deviceDir)
{
    return linkLeaf(deviceDir + "/driver");
}

std::optional<unsigned> interfaceNumberOf(const std::string& interfaceDir)
{
    auto const text = readSysfsAttribute(interfaceDir + "/bInterfaceNumber");
    if (!text || text->empty())
        return std::nullopt;
    char* end = nullptr;
    unsigned long const number = std::strtoul(text->c_str(), &end, 16);  // sysfs writes it in hex
    if (end == text->c_str() || number > 255)
        return std::nullopt;
    return static_cast<unsigned>(number);
}

// The tty's device is the USB interface itself (cdc_acm) or a port device
// below it (usb-serial drivers).
std::optional<std::string> interfaceDirOf(const std::string& ttyDevice)
{
    for (auto const& dir : {ttyDevice, parentOf(ttyDevice)}) {
        if (pathExists(dir + "/bInterfaceNumber") && driverOf(dir))
            return dir;
    }
    return std::nullopt;
}

// The USB device is the first folder above the interface with a vendor id.
// The walk stops there: a device without a product string has none, and
// never takes its hub's.
std::optional<std::string> usbDeviceDirOf(const std::string& interfaceDir, const std::string& sysfsRoot)
{
    for (std::string dir = parentOf(interfaceDir);
         dir.size() > sysfsRoot.size() && dir.compare(0, sysfsRoot.size(), sysfsRoot) == 0;
         dir = parentOf(dir)) {
        if (pathExists(dir + "/idVendor"))
            return dir;
    }
    return std::nullopt;
}

// The kernel writes bNumInterfaces right-aligned: " 2".
unsigned interfaceCountOf(const std::string& usbDeviceDir)
{
    auto const text = readSysfsAttribute(usbDeviceDir + "/bNumInterfaces");
    if (!text)
        return 0;
    unsigned long const count = std::strtoul(text->c_str(), nullptr, 10);
    return count > 255 ? 0 : static_cast<unsigned>(count);
}

std::optional<UsbSerialInterface> usbSerialInterface(const DeviceRoots& roots,
                                                     const std::string& sysfsRoot,
                                                     const std::string& ttyName,
                                                     std::string_view driver)
{
    auto const ttyDevice = canonicalPath(roots.sysfs + "/class/tty/" + ttyName + "/device");
    if (!ttyDevice)
        return std::nullopt;  // not backed by a device: a virtual terminal, a pty
    auto const interfaceDir = interfaceDirOf(*ttyDevice);
    if (!interfaceDir || driverOf(*interfaceDir) != driver)
        return std::nullopt;
    auto const number = interfaceNumberOf(*interfaceDir);
    auto const usbDevice = usbDeviceDirOf(*interfaceDir, sysfsRoot);
    if (!number || !usbDevice)
        return std::nullopt;

    UsbSerialInterface found;
    found.ttyName = ttyName;
    found.devicePath = roots.dev + "/" + ttyName;
    found.product = readSysfsAttribute(*usbDevice + "/product").value_or("");
    found.vendorId = readSysfsAttribute(*usbDevice + "/idVendor").value_or("");
    found.productId = readSysfsAttribute(*usbDevice + "/idProduct").value_or("");
    found.interfaceNumber = *number;
    found.interfaceCount = interfaceCountOf(*usbDevice);
    found.usbDevice = *usbDevice;
    return found;
}

} // namespace

std::vector<UsbSerialInterface> findUsbSerialInterfaces(const DeviceRoots& roots,
                                                        std::string_view driver)
{
    std::vector<UsbSerialInterface> found;
    auto const sysfsRoot = canonicalPath(roots.sysfs);
    if (!sysfsRoot)
        return found;
    std::unique_ptr<DIR, int (*)(DIR*)> ttys(::opendir((roots.sysfs + "/class/tty").c_str()),
                                            ::closedir);
    if (!ttys)
        return found;
    while (dirent const* entry = ::readdir(ttys.get())) {
        std::string const name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (auto interface = usbSerialInterface(roots, *sysfsRoot, name, driver))
            found.push_back(std::move(*interface));
    }
    std::sort(found.begin(), found.end(), [](auto const& a, auto const& b) {
        return naturalLess(a.ttyName, b.ttyName);
    });
    return found;
}

bool naturalLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the two numbers: fewer significant digits is smaller.
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA])) ++endA;
            while (endB < b.size() && isDigit(b[endB])) ++endB;
            auto const numberA = a.substr(i, endA - i), numberB = b.substr(j, endB - j);
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}


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

}  // namespace fwsend::posix
