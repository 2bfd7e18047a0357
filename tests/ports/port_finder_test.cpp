// fwsend-ports: what it finds on trees laid out as the kernel lays them out,
// what it says about each device's state, and how it prints them.
#include "platform/posix/tty/port_lock.h"
#include "platform/posix/usb/usb_serial_lookup.h"
#include "platform/posix/win32/port_name.h"
#include "ports/linux_ports.h"
#include "ports/port_report.h"
#include "ports/port_state.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/child_process.h"
#include "tests/support/fake_sysfs.h"
#include "tools/pty_pair.h"

namespace fwsend::posix {

namespace fs = std::filesystem;

namespace {

std::string TtyOf(const PortEntry& entry) { return entry.device.substr(entry.device.rfind('/') + 1); }

std::string Printed(void (*print)(std::FILE*, const std::vector<PortEntry>&),
                    const std::vector<PortEntry>& entries) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    print(out, entries);
    std::fclose(out);
    std::string printed(text, size);
    std::free(text);
    return printed;
}

TEST(PortFinder, ListsEachDeviceFwsendCanOpenWithTheOptionsThatNameIt) {
    FakeSysfs tree;
    tree.AddUartTty("/devices/pnp0/00:04", "serial", "ttyS0", 4);
    tree.AddUartTty("/devices/platform/serial8250", "serial8250", "ttyS1", 0);  // no UART there
    tree.AddUartTty("/devices/pnp0/00:05", "serial", "ttyS2", 1, true);
    tree.AddUsbDevice("1-1", "FT232R USB UART");
    tree.AddSerialNumber("1-1", "A50285BI");
    tree.AddUsbSerialTty("1-1", 0, "ftdi_sio", "ttyUSB0");
    // udev's two forms of the socket's name; the shorter is shown.
    tree.AddByPathLink("pci-0000:00:14.0-usbv2-0:1:1.0-port0", "ttyUSB0");
    tree.AddByPathLink("pci-0000:00:14.0-usb-0:1:1.0-port0", "ttyUSB0");
    tree.AddUsbDevice("1-2", "Dual RS232-HS", 2, "0403:6010");
    tree.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB1");
    tree.AddUsbSerialTty("1-2", 1, "ftdi_sio", "ttyUSB2");
    tree.AddUsbDevice("1-3", "CP2102 USB to UART Bridge Controller", 1, "10c4:ea60");
    tree.AddUsbSerialTty("1-3", 0, "cp210x", "ttyUSB10");
    tree.AddUsbDevice("1-4", "CP2102 USB to UART Bridge Controller", 1, "10c4:ea60");
    tree.AddUsbSerialTty("1-4", 0, "cp210x", "ttyUSB3");
    tree.AddUsbDevice("1-5", "Modem", 3, "1234:5678");
    tree.AddAcmTty("1-5", 2, "ttyACM0");
    tree.AddUsbDevice("1-7", std::nullopt);  // no product string
    tree.AddUsbSerialTty("1-7", 0, "ftdi_sio", "ttyUSB11");
    tree.AddUsbDevice("1-6", "Unplugged meanwhile");
    tree.AddUsbSerialTty("1-6", 0, "pl2303", "ttyUSB4");  // its node is gone
    tree.AddByPathLink("pci-0000:00:14.0-usb-0:6:1.0-port0", "ttyUSB4");
    tree.AddVirtualTty("tty0");
    // The first of two bridges of one description has no node: the CP2102
    // link still takes that one, never the second.
    tree.AddUsbDevice("1-8", "Twin", 1, "10c4:ea60");
    tree.AddUsbSerialTty("1-8", 0, "cp210x", "ttyUSB12");
    tree.AddUsbDevice("1-9", "Twin", 1, "10c4:ea60");
    tree.AddUsbSerialTty("1-9", 0, "cp210x", "ttyUSB13");
    for (const auto* tty : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB10", "ttyUSB3",
                            "ttyUSB11", "ttyUSB13", "ttyACM0", "tty0"})
        tree.AddDeviceNode(tty);

    const auto listing = ListLinuxPorts(tree.Roots());
    ASSERT_TRUE(listing.Complete()) << listing.failure;
    const auto& entries = listing.found;

    std::vector<std::string> ttys;
    for (const auto& entry : entries) ttys.push_back(TtyOf(entry));
    ASSERT_EQ(ttys, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS2", "ttyUSB0", "ttyUSB1", "ttyUSB2",
                                              "ttyUSB3", "ttyUSB10", "ttyUSB11", "ttyUSB13"}));
    // Every -COM option is one that fwsend maps back to this very device.
    for (const auto& entry : entries) {
        ASSERT_EQ(entry.comOption.compare(0, 1, "-"), 0) << entry.device;
        EXPECT_EQ(DevicePathForPortName(entry.comOption.substr(1)), "/dev/" + TtyOf(entry));
    }
    EXPECT_EQ(entries[1].comOption, "-COM1");
    EXPECT_EQ(entries[3].comOption, "-COMttyUSB0");

    // Drivers, the serial core's own layers passed; the UART's chip type.
    EXPECT_EQ(entries[0].driver, "cdc_acm");
    EXPECT_EQ(entries[1].driver, "serial");
    EXPECT_EQ(entries[1].uart, "16550A");
    EXPECT_EQ(entries[2].driver, "serial");
    EXPECT_EQ(entries[2].uart, "8250");
    EXPECT_EQ(entries[0].product, "Modem");
    EXPECT_EQ(entries[0].vendorId + ":" + entries[0].productId, "1234:5678");
    EXPECT_EQ(entries[4].vendorId + ":" + entries[4].productId, "0403:6010");
    EXPECT_FALSE(entries[0].link);
    EXPECT_FALSE(entries[1].link);
    // The stable names: the device's serial number, the socket's by-path link.
    EXPECT_EQ(entries[3].serialNumber, "A50285BI");
    EXPECT_EQ(entries[3].byPathName, tree.Root() + "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
    EXPECT_EQ(
        entries[4].serialNumber + entries[4].byPathName + entries[1].serialNumber + entries[1].byPathName,
        "");

    // The FTDI descriptions are exactly those the FTDI transport matches.
    const auto ftdi = ListFtdiDevices(tree.Roots()).found;
    ASSERT_EQ(ftdi.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(entries[3 + i].link);
        EXPECT_EQ(entries[3 + i].link->type, 1);
        EXPECT_EQ(entries[3 + i].link->description, ftdi[i].description);
    }
    EXPECT_EQ(DescribedOption(*entries[5].link), "-T1 -D\"Dual RS232-HS B\"");
    // Without a product string -D cannot name it; -COM still can.
    ASSERT_TRUE(entries[8].link);
    EXPECT_EQ(entries[8].link->description, ftdi[3].description);
    EXPECT_EQ(DescribedOption(*entries[8].link), "");
    EXPECT_EQ(entries[8].comOption, "-COMttyUSB11");

    // Two bridges of one description: the CP2102 transport takes ttyUSB3,
    // the first in natural order, never ttyUSB10.
    ASSERT_TRUE(entries[6].link && entries[7].link);
    EXPECT_EQ(entries[6].link->type, 2);
    EXPECT_EQ(entries[6].link->rank, 1u);
    EXPECT_EQ(entries[7].link->rank, 2u);
    EXPECT_EQ(entries[7].link->sameCount, 2u);
    EXPECT_TRUE(entries[7].link->firstOnly);
    EXPECT_FALSE(entries[3].link->firstOnly);
    ASSERT_TRUE(entries[9].link);
    EXPECT_EQ(entries[9].link->rank, 2u);
    EXPECT_EQ(entries[9].link->sameCount, 2u);
}

TEST(PortFinder, ABoardsOwnUartsAreListedButNotVirtualTtysNorEmptySlots) {
    FakeSysfs tree;
    tree.AddUartTty("/devices/platform/soc/fe201000.serial", "uart-pl011", "ttyAMA0", 32);
    tree.AddUartTty("/devices/platform/soc/30890000.serial", "imx-uart", "ttymxc1", 62, true);
    tree.AddUartTty("/devices/platform/serial8250", "serial8250", "ttyS3", 0);  // no UART there
    tree.AddVirtualTty("ttyprintk");
    tree.AddVirtualTty("tty1");
    for (const auto* tty : {"ttyAMA0", "ttymxc1", "ttyS3", "ttyprintk", "tty1"}) tree.AddDeviceNode(tty);

    const auto listing = ListLinuxPorts(tree.Roots());
    ASSERT_TRUE(listing.Complete()) << listing.failure;
    ASSERT_EQ(listing.found.size(), 2u);
    EXPECT_EQ(listing.found[0].device, tree.Root() + "/dev/ttyAMA0");
    EXPECT_EQ(listing.found[0].comOption, "-COMttyAMA0");
    EXPECT_EQ(listing.found[0].driver, "uart-pl011");
    EXPECT_EQ(listing.found[1].comOption, "-COMttymxc1");
    EXPECT_EQ(listing.found[1].driver, "imx-uart");
    EXPECT_FALSE(listing.found[1].link);
}

TEST(PortFinder, ATreeThatCannotBeReadIsAFailureNotAnEmptyList) {
    const auto noTree = ListLinuxPorts(DeviceRoots{"/nonexistent/sys", "/nonexistent/dev"});
    EXPECT_EQ(noTree.failure, "/nonexistent/sys: No such file or directory");
    EXPECT_TRUE(noTree.found.empty());
    std::vector<PortEntry> entries(1);
    entries[0].device = "/dev/null";
    EXPECT_EQ(FindPortStates(entries, "/nonexistent/proc"), "/nonexistent/proc: No such file or directory");
    EXPECT_EQ(entries[0].state, PortState::Unknown);  // no state rather than a guess

    EXPECT_EQ(Printed(PrintPortTable, {}), "No serial devices found.\n");
    EXPECT_EQ(Printed(PrintPortJson, {}), "[]\n");
}

TEST(PortState, ADeviceIsInUseByTheHolderOfItsLockFileOrOfAnOpenDescriptor) {
    PtyPair held, locked, idle;
    ASSERT_TRUE(held.IsOpen() && locked.IsOpen() && idle.IsOpen());
    FakeSysfs lockRoot;  // a folder of our own for lock files
    std::string const lockFolder = lockRoot.Root() + "/lock";
    fs::create_directories(lockFolder);
    // The holder named by the lock file is a live process: our parent.
    std::ofstream(lockFolder + "/" + LockFileName(locked.SlavePath())) << "      " << ::getppid() << "\n";
    const ChildProcess holder = HoldingSleep(held.SlavePath());
    ASSERT_TRUE(holder.WaitUntilRunning("sleep", 10000));
    // We hold the master of idle: the far end of its slave, not a user.
    ASSERT_TRUE(idle.HoldSlave());
    std::vector<PortEntry> entries(3);
    entries[0].device = held.SlavePath();
    entries[1].device = locked.SlavePath();
    entries[2].device = idle.SlavePath();

    EXPECT_EQ(FindPortStates(entries, "/proc", lockFolder), "");

    EXPECT_EQ(entries[0].state, PortState::InUse);
    EXPECT_EQ(entries[0].holderPid, holder.Pid());
    EXPECT_EQ(entries[0].holderName, "sleep");
    EXPECT_EQ(entries[1].state, PortState::InUse);
    EXPECT_EQ(entries[1].holderPid, static_cast<long>(::getppid()));
    EXPECT_EQ(entries[2].state, PortState::Free);
}

TEST(PortState, ADeviceThisUserMayNotOpenSaysWhoMay) {
    FakeSysfs tree;
    tree.AddDeviceNode("ttyS0");
    tree.AddDeviceNode("ttyS1");
    fs::permissions(tree.Root(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    std::vector<PortEntry> entries(2);
    entries[0].device = tree.Root() + "/dev/ttyS0";
    entries[1].device = tree.Root() + "/dev/ttyS1";
    fs::permissions(entries[0].device, fs::perms::none);

    if (::geteuid() != 0) {
        FindPortStates(entries);
        EXPECT_EQ(entries[0].state, PortState::NoPermission);
        EXPECT_EQ(entries[0].group, "");
        EXPECT_FALSE(entries[0].owner.empty());
        return;
    }
    // Root may open every device: the check runs as nobody, against a device
    // of root's only and one that a group (dialout's number) may open.
    fs::permissions(entries[1].device, fs::perms::owner_read | fs::perms::owner_write |
                                           fs::perms::group_read | fs::perms::group_write);
    ASSERT_EQ(::chown(entries[1].device.c_str(), 0, 20), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool nobody = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        FindPortStates(entries);
        const bool told = entries[0].state == PortState::NoPermission && entries[0].owner == "root" &&
                          entries[0].group.empty() && entries[1].state == PortState::NoPermission &&
                          !entries[1].group.empty() && entries[1].group != "root";
        ::_exit(!nobody ? 2 : told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(PortReport, OneLineADeviceWithOptionsAShellTakesAsTheyStand) {
    std::vector<PortEntry> entries(3);
    entries[0].device = "/dev/ttyS0";
    entries[0].comOption = "-COM1";
    entries[0].driver = "serial";
    entries[0].uart = "16550A";
    entries[0].state = PortState::NoPermission;
    entries[0].group = "dialout";
    entries[1].device = "/dev/ttyUSB0";
    entries[1].comOption = "-COMttyUSB0";
    entries[1].driver = "cp210x";
    entries[1].vendorId = "10c4";
    entries[1].productId = "ea60";
    entries[1].product = "Probe \"$1\"";
    entries[1].serialNumber = "0001";
    entries[1].byPathName = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    entries[1].link = DescribedLink{2, "Probe \"$1\"", 2, 2, true};
    entries[1].state = PortState::InUse;
    entries[1].holderPid = 4242;
    entries[1].holderName = "minicom";
    entries[2].device = "/dev/ttyUSB1";
    entries[2].comOption = "-COMttyUSB1";
    entries[2].driver = "ftdi_sio";
    entries[2].byPathName = "/dev/serial/by-path/" + std::string(80, 'p');
    entries[2].link = DescribedLink{1, "", 1, 1};
    entries[2].state = PortState::Free;

    EXPECT_EQ(
        Printed(PrintPortTable, entries),
        "DEVICE        OPTIONS                              DRIVER AND DEVICE              STATE\n"
        "/dev/ttyS0    -COM1                                serial UART 16550A             no permission: "
        "join group dialout (sudo usermod -aG dialout \"$USER\", then log in again)\n"
        "/dev/ttyUSB0  -COMttyUSB0  or  -T2 -D'Probe \"$1\"'  cp210x 10c4:ea60 \"Probe \"$1\"\"  in use by "
        "pid 4242 (minicom); -T2 never takes this one, 2nd of 2 so named\n"
        "              -COM/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0  serial number 0001\n"
        "/dev/ttyUSB1  -COMttyUSB1                          ftdi_sio                       free; -T1 cannot "
        "name it: no product string\n"
        "              /dev/serial/by-path/" +
            std::string(80, 'p') + " (too long for -COM: 103 characters)\n");

    std::string const json = Printed(PrintPortJson, {entries[1]});
    EXPECT_EQ(
        json,
        "[\n  {\"device\":\"/dev/ttyUSB0\",\"option\":\"-COMttyUSB0\",\"driver\":\"cp210x\",\"uart\":null,"
        "\"vendorId\":\"10c4\",\"productId\":\"ea60\",\"product\":\"Probe \\\"$1\\\"\",\"serialNumber\":"
        "\"0001\",\"byPath\":\"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0\",\"link\":{\"type\":2,"
        "\"description\":\"Probe \\\"$1\\\"\",\"option\":\"-T2 -D'Probe \\\"$1\\\"'\",\"rank\":2,"
        "\"sameDescription\":2,\"firstOnly\":true},\"state\":\"in-use\",\"holderPid\":4242,\"holderName\":"
        "\"minicom\",\"group\":null,\"owner\":null}\n]\n");
}

TEST(PortReport, DeviceTextIsShownNeverObeyedAndJsonStaysUtf8) {
    std::vector<PortEntry> entries(2);
    entries[0].device = "/dev/ttyUSB0";
    entries[0].driver = "ftdi_sio";
    entries[0].product = "Link-Flash\x1b]0;owned\a\r\n";
    entries[0].link = DescribedLink{1, entries[0].product, 1, 1};
    entries[0].state = PortState::InUse;
    entries[0].holderPid = 77;
    entries[0].holderName = "serialmonitor-\xc3";
    entries[0].serialNumber = "\xff\x1b[2J01";
    entries[1].device = "/dev/ttyUSB1";
    entries[1].driver = "cp210x";
    entries[1].link = DescribedLink{2, "Link-Flash 300", 1, 1};
    entries[1].state = PortState::Free;

    const std::string table = Printed(PrintPortTable, entries);
    EXPECT_EQ(table.find_first_of("\x1b\a\r"), std::string::npos) << table;
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << table;
    // The option passes the very bytes to bash and shows them escaped.
    EXPECT_NE(table.find("-T1 -D$'Link-Flash\\x1b]0;owned\\x07\\x0d\\x0a'"), std::string::npos) << table;
    EXPECT_NE(table.find("in use by pid 77 (serialmonitor-\\xc3)"), std::string::npos) << table;
    EXPECT_NE(table.find("serial number \\xff\\x1b[2J01\n"), std::string::npos) << table;
    EXPECT_NE(table.find("  free; give -F<file> after -D: the description holds \"-F\"\n"), std::string::npos)
        << table;

    // A JSON reader takes it whole: device text exactly, bytes that are not
    // UTF-8 as U+FFFD.
    const std::string json = Printed(PrintPortJson, entries);
    ASSERT_TRUE(nlohmann::json::accept(json)) << json;
    const auto parsed = nlohmann::json::parse(json);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0]["product"], entries[0].product);
    EXPECT_EQ(parsed[0]["link"]["description"], entries[0].product);
    EXPECT_EQ(parsed[0]["holderName"], "serialmonitor-\xef\xbf\xbd");
    EXPECT_EQ(parsed[0]["serialNumber"], "\xef\xbf\xbd\x1b[2J01");
    EXPECT_EQ(parsed[1]["serialNumber"], nullptr);
    EXPECT_EQ(json.find_first_of("\x1b\a\r"), std::string::npos) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 4) << json;
}

}  // namespace

}  // namespace fwsend::posix
