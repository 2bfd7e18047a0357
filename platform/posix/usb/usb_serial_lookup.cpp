#include "platform/posix/usb/usb_serial_lookup.h"

#include "platform/posix/usb/sysfs_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace fwsend::posix {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The name of the driver a sysfs device is bound to, from its driver link.
std::optional<std::string> DriverOf(const std::string& deviceDir) { return LinkLeaf(deviceDir + "/driver"); }

std::optional<unsigned> InterfaceNumberOf(const std::string& interfaceDir) {
    const auto text = ReadSysfsAttribute(interfaceDir + "/bInterfaceNumber");
    if (!text || text->empty()) return std::nullopt;
    char* end = nullptr;
    const unsigned long number = std::strtoul(text->c_str(), &end, 16);  // sysfs writes it in hex
    if (end == text->c_str() || number > 255) return std::nullopt;
    return static_cast<unsigned>(number);
}

// The tty's device is the USB interface itself (cdc_acm) or a port device
// below it (usb-serial drivers).
std::optional<std::string> InterfaceDirOf(const std::string& ttyDevice) {
    for (const auto& dir : {ttyDevice, ParentOf(ttyDevice)}) {
        if (PathExists(dir + "/bInterfaceNumber") && DriverOf(dir)) return dir;
    }
    return std::nullopt;
}

// The USB device is the first folder above the interface with a vendor id.
// The walk stops there: a device without a product string has none, and
// never takes its hub's.
std::optional<std::string> UsbDeviceDirOf(const std::string& interfaceDir, const std::string& sysfsRoot) {
    for (std::string dir = ParentOf(interfaceDir);
         dir.size() > sysfsRoot.size() && dir.compare(0, sysfsRoot.size(), sysfsRoot) == 0;
         dir = ParentOf(dir)) {
        if (PathExists(dir + "/idVendor")) return dir;
    }
    return std::nullopt;
}

// The kernel writes bNumInterfaces right-aligned: " 2".
unsigned InterfaceCountOf(const std::string& usbDeviceDir) {
    const auto text = ReadSysfsAttribute(usbDeviceDir + "/bNumInterfaces");
    if (!text) return 0;
    const unsigned long count = std::strtoul(text->c_str(), nullptr, 10);
    return count > 255 ? 0 : static_cast<unsigned>(count);
}

// An empty driver takes an interface of any driver.
std::optional<UsbSerialInterface> InterfaceOfTty(const DeviceRoots& roots, const std::string& sysfsRoot,
                                                 const std::string& ttyName, std::string_view driver) {
    const auto ttyDevice = CanonicalPath(roots.sysfs + "/class/tty/" + ttyName + "/device");
    if (!ttyDevice) return std::nullopt;  // not backed by a device: a virtual terminal, a pty
    const auto interfaceDir = InterfaceDirOf(*ttyDevice);
    if (!interfaceDir || (!driver.empty() && DriverOf(*interfaceDir) != driver)) return std::nullopt;
    const auto number = InterfaceNumberOf(*interfaceDir);
    const auto usbDevice = UsbDeviceDirOf(*interfaceDir, sysfsRoot);
    if (!number || !usbDevice) return std::nullopt;

    UsbSerialInterface found;
    found.ttyName = ttyName;
    found.devicePath = roots.dev + "/" + ttyName;
    found.product = ReadSysfsAttribute(*usbDevice + "/product").value_or("");
    found.vendorId = ReadSysfsAttribute(*usbDevice + "/idVendor").value_or("");
    found.productId = ReadSysfsAttribute(*usbDevice + "/idProduct").value_or("");
    found.serialNumber = ReadSysfsAttribute(*usbDevice + "/serial").value_or("");
    found.interfaceNumber = *number;
    found.interfaceCount = InterfaceCountOf(*usbDevice);
    found.usbDevice = *usbDevice;
    return found;
}

}  // namespace

Listing<std::vector<UsbSerialInterface>> FindUsbSerialInterfaces(const DeviceRoots& roots,
                                                                 std::string_view driver) {
    Listing<std::vector<UsbSerialInterface>> listing;
    auto& found = listing.found;
    const auto sysfsRoot = CanonicalPath(roots.sysfs);
    if (!sysfsRoot) {
        listing.failure = ListingFailure(roots.sysfs, errno);
        return listing;
    }
    listing.failure = ForEachEntryOf(roots.sysfs + "/class/tty", [&](const std::string& name) {
        if (auto interface = InterfaceOfTty(roots, *sysfsRoot, name, driver))
            found.push_back(std::move(*interface));
    });
    if (!listing.Complete()) {
        found.clear();
        return listing;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.ttyName, b.ttyName); });
    return listing;
}

std::string UnreadableTreeReason(const std::string& failure) {
    return "USB devices cannot be looked for: " + failure + " (sysfs must be mounted on /sys and readable)";
}

std::optional<UsbSerialInterface> UsbSerialInterfaceOf(const DeviceRoots& roots, const std::string& ttyName) {
    const auto sysfsRoot = CanonicalPath(roots.sysfs);
    if (!sysfsRoot) return std::nullopt;
    return InterfaceOfTty(roots, *sysfsRoot, ttyName, {});
}

// Kernels from 6.5 on hang a tty below the serial core's controller and
// port devices (bus serial-base), whose drivers serve no line.
std::string DriverServingTty(const std::string& ttyDevice, const std::string& sysfsRoot) {
    for (std::string dir = ttyDevice; dir.size() > sysfsRoot.size(); dir = ParentOf(dir)) {
        const auto driver = DriverOf(dir);
        if (driver && LinkLeaf(dir + "/subsystem") != std::string("serial-base")) return *driver;
    }
    return {};
}

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the two numbers: fewer significant digits is smaller.
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            std::size_t endA = i, endB = j;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            const auto numberA = a.substr(i, endA - i), numberB = b.substr(j, endB - j);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

namespace {

constexpr char kFtdiDriver[] = "ftdi_sio";
constexpr char kCp210xDriver[] = "cp210x";

// Dual and quad chips show one interface per channel; the vendor library
// names them by a letter from the interface number. Whether a chip has
// channels is the chip's own count of interfaces: a channel that another
// driver holds (a JTAG program on channel A) still counts.
std::string DescriptionOf(const UsbSerialInterface& interface) {
    if (interface.interfaceCount < 2 || interface.interfaceNumber >= 26) return interface.product;
    return interface.product + ' ' + static_cast<char>('A' + interface.interfaceNumber);
}

// The interfaces bound to driver, each by the description its vendor
// library gives it.
Listing<std::vector<DescribedDevice>> DescribedDevicesOf(const DeviceRoots& roots, std::string_view driver,
                                                         std::string (*describe)(const UsbSerialInterface&)) {
    const auto interfaces = FindUsbSerialInterfaces(roots, driver);
    Listing<std::vector<DescribedDevice>> devices;
    devices.failure = interfaces.failure;
    devices.found.reserve(interfaces.found.size());
    for (const auto& interface : interfaces.found)
        devices.found.push_back({describe(interface), interface.devicePath});
    return devices;
}

std::string ProductOf(const UsbSerialInterface& interface) { return interface.product; }

}  // namespace

Listing<std::vector<DescribedDevice>> ListFtdiDevices(const DeviceRoots& roots) {
    return DescribedDevicesOf(roots, kFtdiDriver, DescriptionOf);
}

Listing<std::vector<DescribedDevice>> ListCp2102Bridges(const DeviceRoots& roots) {
    return DescribedDevicesOf(roots, kCp210xDriver, ProductOf);
}

// Exact and case-sensitive, as the vendor libraries match.
std::optional<std::size_t> FirstDescribedAs(const std::vector<DescribedDevice>& devices,
                                            std::string_view description) {
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].description == description) return i;
    return std::nullopt;
}

}  // namespace fwsend::posix
