#pragma once
// A sysfs tree in a temporary directory, laid out as the kernel lays out
// USB serial converters, with a device-node directory beside it.

#include <optional>
#include <string>

#include "platform/posix/usb/usb_serial_lookup.h"
#include "tests/support/scratch_dir.h"

namespace fwsend::posix {

class FakeSysfs {
public:
    FakeSysfs();

    // A USB device named as the kernel names it ("1-2"; "1-1.2" behind the
    // hub "1-1", which must be added first) with this product string (none:
    // the device has no product file) and this many interfaces. ids is
    // "vendor:product".
    void AddUsbDevice(const std::string& usbDevice, const std::optional<std::string>& product,
                      unsigned interfaceCount = 1, const std::string& ids = "0403:6001");
    // The USB device's serial number string, as its "serial" attribute.
    void AddSerialNumber(const std::string& usbDevice, const std::string& serial);
    // An interface that no driver is bound to: it has no tty.
    void AddUnboundInterface(const std::string& usbDevice, unsigned interfaceNumber);
    // A usb-serial port tty (ttyUSB<n>) on interface number of usbDevice,
    // bound to driver (ftdi_sio, cp210x).
    void AddUsbSerialTty(const std::string& usbDevice, unsigned interfaceNumber, const std::string& driver,
                         const std::string& ttyName);
    // A cdc_acm tty, whose device link points at the interface itself.
    void AddAcmTty(const std::string& usbDevice, unsigned interfaceNumber, const std::string& ttyName);
    // A tty without a device (a virtual console).
    void AddVirtualTty(const std::string& ttyName);
    // An on-board port: <deviceDir>/tty/<ttyName> bound to driver, with the
    // 8250 driver's "type" attribute (0: no UART there). With serialBase, the
    // tty hangs below the serial core's controller and port devices, as on
    // kernels from 6.5 on.
    void AddUartTty(const std::string& deviceDir, const std::string& driver, const std::string& ttyName,
                    int type, bool serialBase = false);
    // A device node <dev>/<ttyName> that is a plain file: enough to be listed.
    void AddDeviceNode(const std::string& ttyName);
    // Makes <dev>/<ttyName> reach target (a pseudo-terminal's slave).
    void LinkDeviceNode(const std::string& ttyName, const std::string& target);
    // <dev>/serial/by-path/<name>, relative to <dev>/<ttyName> as udev makes it.
    void AddByPathLink(const std::string& name, const std::string& ttyName);

    const std::string& Root() const { return scratch_.Path(); }
    std::string SysfsRoot() const { return Root() + "/sys"; }
    DeviceRoots Roots() const { return {SysfsRoot(), Root() + "/dev"}; }

private:
    std::string UsbDeviceDir(const std::string& usbDevice) const;
    std::string InterfaceDir(const std::string& usbDevice, unsigned interfaceNumber) const;
    void AddClassEntry(const std::string& ttyName, const std::string& classDeviceDir);

    ScratchDir scratch_;
};

}  // namespace fwsend::posix
