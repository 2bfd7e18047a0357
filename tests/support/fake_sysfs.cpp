#include "tests/support/fake_sysfs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fwsend::posix {

namespace fs = std::filesystem;

namespace {

// The root hub of bus 1, as an xHCI controller shows it.
constexpr char kUsbBus[] = "/devices/pci0000:00/0000:00:14.0/usb1";

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Relative, as the kernel makes its links: up to the target's parent and down
// by the target's name, even where the target is above the link
// (ttyUSB0/tty/ttyUSB0/device -> ../../../ttyUSB0).
void Link(const fs::path& from, const fs::path& to) {
    fs::create_directories(from.parent_path());
    const fs::path up = fs::relative(to.parent_path(), from.parent_path());
    fs::create_directory_symlink((up / to.filename()).lexically_normal(), from);
}

std::string HexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x\n", value);
    return text;
}

// The kernel writes bNumInterfaces right-aligned in two places: " 2".
std::string InterfaceCount(unsigned count) {
    char text[8];
    std::snprintf(text, sizeof text, "%2u\n", count);
    return text;
}

void WriteUsbDeviceAttributes(const std::string& dir, const std::string& ids, unsigned interfaceCount) {
    const auto colon = ids.find(':');
    WriteFile(dir + "/idVendor", ids.substr(0, colon) + "\n");
    WriteFile(dir + "/idProduct", ids.substr(colon + 1) + "\n");
    WriteFile(dir + "/bNumInterfaces", InterfaceCount(interfaceCount));
}

}  // namespace

FakeSysfs::FakeSysfs() {
    fs::create_directories(SysfsRoot() + "/class/tty");
    fs::create_directories(Root() + "/dev");
    const std::string rootHub = SysfsRoot() + kUsbBus;
    WriteUsbDeviceAttributes(rootHub, "1d6b:0002", 1);
    WriteFile(rootHub + "/product", "xHCI Host Controller\n");
    // The kernel gives a root hub its controller's name as serial number:
    // a device without one must not take it.
    WriteFile(rootHub + "/serial", "0000:00:14.0\n");
}

// "1-1.2" lives in the folder of its hub "1-1", which lives in the root hub's.
std::string FakeSysfs::UsbDeviceDir(const std::string& usbDevice) const {
    std::string dir = SysfsRoot() + kUsbBus;
    for (std::size_t end = usbDevice.find('.'); end != std::string::npos; end = usbDevice.find('.', end + 1))
        dir += "/" + usbDevice.substr(0, end);
    return dir + "/" + usbDevice;
}

std::string FakeSysfs::InterfaceDir(const std::string& usbDevice, unsigned interfaceNumber) const {
    return UsbDeviceDir(usbDevice) + "/" + usbDevice + ":1." + std::to_string(interfaceNumber);
}

void FakeSysfs::AddUsbDevice(const std::string& usbDevice, const std::optional<std::string>& product,
                             unsigned interfaceCount, const std::string& ids) {
    const auto dir = UsbDeviceDir(usbDevice);
    WriteUsbDeviceAttributes(dir, ids, interfaceCount);
    if (product) WriteFile(dir + "/product", *product + "\n");
}

void FakeSysfs::AddSerialNumber(const std::string& usbDevice, const std::string& serial) {
    WriteFile(UsbDeviceDir(usbDevice) + "/serial", serial + "\n");
}

void FakeSysfs::AddUnboundInterface(const std::string& usbDevice, unsigned interfaceNumber) {
    WriteFile(InterfaceDir(usbDevice, interfaceNumber) + "/bInterfaceNumber", HexByte(interfaceNumber));
}

void FakeSysfs::AddUsbSerialTty(const std::string& usbDevice, unsigned interfaceNumber,
                                const std::string& driver, const std::string& ttyName) {
    const auto interface = InterfaceDir(usbDevice, interfaceNumber);
    WriteFile(interface + "/bInterfaceNumber", HexByte(interfaceNumber));
    WriteFile(interface + "/bInterfaceClass", "ff\n");
    Link(interface + "/driver", SysfsRoot() + "/bus/usb/drivers/" + driver);
    // The usb-serial port device below the interface has a driver link too.
    const auto port = interface + "/" + ttyName;
    Link(port + "/driver", SysfsRoot() + "/bus/usb-serial/drivers/" + driver);
    WriteFile(port + "/port_number", "0\n");
    if (driver == "ftdi_sio") WriteFile(port + "/latency_timer", "16\n");
    const auto classDevice = port + "/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "188:0\n");
    Link(classDevice + "/device", port);
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddAcmTty(const std::string& usbDevice, unsigned interfaceNumber,
                          const std::string& ttyName) {
    const auto interface = InterfaceDir(usbDevice, interfaceNumber);
    WriteFile(interface + "/bInterfaceNumber", HexByte(interfaceNumber));
    Link(interface + "/driver", SysfsRoot() + "/bus/usb/drivers/cdc_acm");
    const auto classDevice = interface + "/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "166:0\n");
    Link(classDevice + "/device", interface);
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddVirtualTty(const std::string& ttyName) {
    const auto classDevice = SysfsRoot() + "/devices/virtual/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "4:0\n");
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddUartTty(const std::string& deviceDir, const std::string& driver,
                           const std::string& ttyName, int type, bool serialBase) {
    const auto sys = SysfsRoot();
    const auto device = sys + deviceDir;
    Link(device + "/driver", sys + "/bus/platform/drivers/" + driver);
    std::string portDevice = device;
    if (serialBase) {
        const auto ctrl = device + "/" + ttyName + "-ctrl";
        portDevice = ctrl + "/" + ttyName + "-port";
        Link(ctrl + "/driver", sys + "/bus/serial-base/drivers/ctrl");
        Link(ctrl + "/subsystem", sys + "/bus/serial-base");
        Link(portDevice + "/driver", sys + "/bus/serial-base/drivers/port");
        Link(portDevice + "/subsystem", sys + "/bus/serial-base");
    }
    const auto classDevice = portDevice + "/tty/" + ttyName;
    WriteFile(classDevice + "/type", std::to_string(type) + "\n");
    Link(classDevice + "/device", portDevice);
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddDeviceNode(const std::string& ttyName) { WriteFile(Root() + "/dev/" + ttyName, ""); }

void FakeSysfs::LinkDeviceNode(const std::string& ttyName, const std::string& target) {
    fs::create_symlink(target, Root() + "/dev/" + ttyName);
}

void FakeSysfs::AddByPathLink(const std::string& name, const std::string& ttyName) {
    const fs::path folder = Root() + "/dev/serial/by-path";
    fs::create_directories(folder);
    fs::create_symlink("../../" + ttyName, folder / name);
}

void FakeSysfs::AddClassEntry(const std::string& ttyName, const std::string& classDeviceDir) {
    Link(SysfsRoot() + "/class/tty/" + ttyName, classDeviceDir);
}

}  // namespace fwsend::posix
