// fake-sysfs-tree: lays out the unit tests' fake sysfs tree for the devices
// the stand's guest has (QEMU's FTDI converter, a CP2102, a dual FTDI chip),
// prints its root, and removes it once standard input closes. The stand walks
// it as it walks the guest's /sys and compares the two.

#include <cstdio>
#include <iostream>
#include <string>

#include "tests/support/fake_sysfs.h"

int main() {
    fwsend::posix::FakeSysfs sysfs;
    sysfs.AddUsbDevice("1-1", std::string("QEMU USB SERIAL"), 1, "0403:6001");
    sysfs.AddSerialNumber("1-1", "1");
    sysfs.AddUsbSerialTty("1-1", 0, "ftdi_sio", "ttyUSB0");
    sysfs.AddUsbDevice("1-2", std::string("Stand CP2102 Bridge"), 1, "10c4:ea60");
    sysfs.AddSerialNumber("1-2", "ST12");
    sysfs.AddUsbSerialTty("1-2", 0, "cp210x", "ttyUSB1");
    sysfs.AddUsbDevice("1-3", std::string("Stand Dual RS232"), 2, "0403:6010");
    sysfs.AddSerialNumber("1-3", "ST13");
    sysfs.AddUsbSerialTty("1-3", 0, "ftdi_sio", "ttyUSB2");
    sysfs.AddUsbSerialTty("1-3", 1, "ftdi_sio", "ttyUSB3");
    std::printf("%s\n", sysfs.SysfsRoot().c_str());
    std::fflush(stdout);
    std::string ignored;
    while (std::getline(std::cin, ignored)) {}
    return 0;
}
