#include "ports/linux_ports.h"

#include "app/transport_choice.h"
#include "platform/posix/usb/by_path_names.h"
#include "platform/posix/usb/sysfs_files.h"
#include "platform/posix/usb/usb_serial_lookup.h"
#include "platform/posix/win32/port_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include <limits.h>
#include <unistd.h>

namespace fwsend {

using namespace posix;

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The chip type in the tty's "type" attribute, which the serial core shows
// as TIOCGSERIAL reports it (PORT_* of <linux/serial.h>): 0, unknown, is a
// port the 8250 driver reserved where no UART answered.
std::string UartName(long type) {
    static const char* const kNames[] = {"unknown", "8250",  "16450",   "16550", "16550A",
                                         "Cirrus",  "16650", "16650V2", "16750", "Startech",
                                         "16C950",  "16654", "16850",   "RSA"};
    if (type >= 0 && type < static_cast<long>(sizeof kNames / sizeof kNames[0])) return kNames[type];
    return "type " + std::to_string(type);
}

// The shortest -COM option that fwsend maps to this tty: COMn for ttyS(n-1),
// else COM and the name.
std::string ComOptionFor(const std::string& ttyName) {
    std::string const device = "/dev/" + ttyName;
    if (StartsWith(ttyName, "ttyS")) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(ttyName.c_str() + 4, &end, 10);
        std::string const numbered = "COM" + std::to_string(number + 1);
        if (*end == '\0' && end != ttyName.c_str() + 4 && DevicePathForPortName(numbered) == device)
            return "-" + numbered;
    }
    if (DevicePathForPortName("COM" + ttyName) == device) return "-COM" + ttyName;
    return {};
}

// Any tty with a device behind it, whatever its driver names it: ttyS,
// ttyUSB, ttyACM, and a board's own UARTs (ttyAMA, ttymxc, ttyO, ttySAC,
// ttyTHS, ttyLP, ...). Virtual terminals, pseudo-terminals and the console
// have none.
std::optional<PortEntry> SerialPort(const DeviceRoots& roots, const std::string& sysfsRoot,
                                    const std::string& ttyName) {
    std::string const classDir = roots.sysfs + "/class/tty/" + ttyName;
    const auto device = CanonicalPath(classDir + "/device");
    if (!device) return std::nullopt;  // no device behind it
    PortEntry entry;
    entry.device = roots.dev + "/" + ttyName;
    if (!PathExists(entry.device)) return std::nullopt;
    // The serial core gives each of its ports a type; the UART drivers, USB
    // ones excepted, are its.
    if (const auto type = ReadSysfsAttribute(classDir + "/type")) {
        const long number = std::strtol(type->c_str(), nullptr, 10);
        if (number == 0) return std::nullopt;  // a port the driver reserved, with no UART
        entry.uart = UartName(number);
    }
    entry.driver = DriverServingTty(*device, sysfsRoot);
    entry.comOption = ComOptionFor(ttyName);
    return entry;
}

std::string TtyNameOf(const PortEntry& entry) { return entry.device.substr(entry.device.rfind('/') + 1); }

// The USB device's ids, product string and serial number, from the same
// lookup that opens the converters, and the by-path name udev gave it.
void AddUsbDetails(std::vector<PortEntry>& entries, const DeviceRoots& roots) {
    const auto byPath = ByPathNames(roots);
    for (auto& entry : entries) {
        const std::string tty = TtyNameOf(entry);
        if (const auto usb = UsbSerialInterfaceOf(roots, tty)) {
            entry.vendorId = usb->vendorId;
            entry.productId = usb->productId;
            entry.product = usb->product;
            entry.serialNumber = usb->serialNumber;
        }
        const auto link = byPath.find(tty);
        if (link != byPath.end()) entry.byPathName = link->second;
    }
}

// Each device of a list an open by description searches, ranked among
// those of its description in the order the open tries them. Devices
// without a node count too: the open tries them as well.
void AddLinksOf(std::map<std::string, DescribedLink>& byDevice, const std::vector<DescribedDevice>& devices,
                TransportMedium medium, SameDescription rule) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        DescribedLink link{TransportTypeOf(medium), devices[i].description, 1, 0,
                           rule == SameDescription::FirstOnly};
        for (std::size_t j = 0; j < devices.size(); ++j) {
            if (devices[j].description != devices[i].description) continue;
            ++link.sameCount;
            if (j < i) ++link.rank;
        }
        byDevice[devices[i].devicePath] = link;
    }
}

// The -T1 and -T2 descriptions, each from the list its transport searches.
// The failure of either list, if any.
std::string AddDescribedLinks(std::vector<PortEntry>& entries, const DeviceRoots& roots) {
    std::map<std::string, DescribedLink> byDevice;
    const auto ftdis = ListFtdiDevices(roots);
    if (!ftdis.Complete()) return ftdis.failure;
    const auto bridges = ListCp2102Bridges(roots);
    if (!bridges.Complete()) return bridges.failure;
    AddLinksOf(byDevice, ftdis.found, TransportMedium::Ftdi, kFtdiSameDescription);
    AddLinksOf(byDevice, bridges.found, TransportMedium::Cp2102, kCp2102SameDescription);
    for (auto& entry : entries) {
        const auto found = byDevice.find(entry.device);
        if (found != byDevice.end()) entry.link = found->second;
    }
    return {};
}

}  // namespace

Listing<std::vector<PortEntry>> ListLinuxPorts(const DeviceRoots& roots) {
    Listing<std::vector<PortEntry>> listing;
    auto& entries = listing.found;
    const auto sysfsRoot = CanonicalPath(roots.sysfs);
    if (!sysfsRoot) {
        listing.failure = ListingFailure(roots.sysfs, errno);
        return listing;
    }
    listing.failure = ForEachEntryOf(roots.sysfs + "/class/tty", [&](const std::string& name) {
        if (auto entry = SerialPort(roots, *sysfsRoot, name)) entries.push_back(std::move(*entry));
    });
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return NaturalLess(TtyNameOf(a), TtyNameOf(b)); });
    if (listing.Complete()) AddUsbDetails(entries, roots);
    if (listing.Complete()) listing.failure = AddDescribedLinks(entries, roots);
    if (!listing.Complete()) entries.clear();
    return listing;
}

}  // namespace fwsend
