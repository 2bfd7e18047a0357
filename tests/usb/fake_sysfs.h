#pragma once
// A sysfs tree in a temporary directory, laid out as the kernel lays out
// USB serial converters, with a device-node directory beside it.

#include <string>

#include "platform/posix/usb_serial_lookup.h"

class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // A USB device (e.g. "1-2") with this product string; the kernel's file
    // ends in a line end.
    void AddUsbDevice(const std::string& usbDevice, const std::string& product);
    // A usb-serial port tty (ttyUSB<n>) on interface number of usbDevice,
    // bound to driver (ftdi_sio, cp210x).
    void AddUsbSerialTty(const std::string& usbDevice, unsigned interfaceNumber,
                         const std::string& driver, const std::string& ttyName);
    // A cdc_acm tty, whose device link points at the interface itself.
    void AddAcmTty(const std::string& usbDevice, unsigned interfaceNumber, const std::string& ttyName);
    // A tty without a device (a virtual console).
    void AddVirtualTty(const std::string& ttyName);
    // Makes <dev>/<ttyName> reach target (a pseudo-terminal's slave).
    void LinkDeviceNode(const std::string& ttyName, const std::string& target);

    const std::string& Root() const { return root_; }
    std::string SysfsRoot() const { return root_ + "/sys"; }
    DeviceRoots Roots() const { return {SysfsRoot(), root_ + "/dev"}; }

private:
    std::string UsbDeviceDir(const std::string& usbDevice) const;
    std::string InterfaceDir(const std::string& usbDevice, unsigned interfaceNumber) const;
    void AddClassEntry(const std::string& ttyName, const std::string& classDeviceDir);

    std::string root_;
};
