#include "fake_sysfs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr char kUsbBus[] = "/devices/pci0000:00/0000:00:14.0/usb1";

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Relative, as the kernel makes its links.
void Link(const fs::path& from, const fs::path& to) {
    fs::create_directories(from.parent_path());
    fs::create_directory_symlink(fs::relative(to, from.parent_path()), from);
}

std::string HexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x\n", value);
    return text;
}

}  // namespace

FakeSysfs::FakeSysfs() {
    char pattern[] = "/tmp/fake-sysfs-XXXXXX";
    if (char* made = ::mkdtemp(pattern)) root_ = made;
    fs::create_directories(SysfsRoot() + "/class/tty");
    fs::create_directories(root_ + "/dev");
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
}

std::string FakeSysfs::UsbDeviceDir(const std::string& usbDevice) const {
    return SysfsRoot() + kUsbBus + "/" + usbDevice;
}

std::string FakeSysfs::InterfaceDir(const std::string& usbDevice, unsigned interfaceNumber) const {
    return UsbDeviceDir(usbDevice) + "/" + usbDevice + ":1." + std::to_string(interfaceNumber);
}

void FakeSysfs::AddUsbDevice(const std::string& usbDevice, const std::string& product) {
    auto const dir = UsbDeviceDir(usbDevice);
    WriteFile(dir + "/idVendor", "0403\n");
    WriteFile(dir + "/idProduct", "6001\n");
    WriteFile(dir + "/product", product + "\n");
}

void FakeSysfs::AddUsbSerialTty(const std::string& usbDevice, unsigned interfaceNumber,
                                const std::string& driver, const std::string& ttyName) {
    auto const interface = InterfaceDir(usbDevice, interfaceNumber);
    WriteFile(interface + "/bInterfaceNumber", HexByte(interfaceNumber));
    Link(interface + "/driver", SysfsRoot() + "/bus/usb/drivers/" + driver);
    // The usb-serial port device below the interface has a driver link too.
    auto const port = interface + "/" + ttyName;
    Link(port + "/driver", SysfsRoot() + "/bus/usb-serial/drivers/" + driver);
    auto const classDevice = port + "/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "188:0\n");
    Link(classDevice + "/device", port);
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddAcmTty(const std::string& usbDevice, unsigned interfaceNumber, const std::string& ttyName) {
    auto const interface = InterfaceDir(usbDevice, interfaceNumber);
    WriteFile(interface + "/bInterfaceNumber", HexByte(interfaceNumber));
    Link(interface + "/driver", SysfsRoot() + "/bus/usb/drivers/cdc_acm");
    auto const classDevice = interface + "/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "166:0\n");
    Link(classDevice + "/device", interface);
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::AddVirtualTty(const std::string& ttyName) {
    auto const classDevice = SysfsRoot() + "/devices/virtual/tty/" + ttyName;
    WriteFile(classDevice + "/dev", "4:0\n");
    AddClassEntry(ttyName, classDevice);
}

void FakeSysfs::LinkDeviceNode(const std::string& ttyName, const std::string& target) {
    fs::create_symlink(target, root_ + "/dev/" + ttyName);
}

void FakeSysfs::AddClassEntry(const std::string& ttyName, const std::string& classDeviceDir) {
    Link(SysfsRoot() + "/class/tty/" + ttyName, classDeviceDir);
}
