// The sysfs walk and the FTDI naming on fake trees laid out as the kernel
// lays them out.
#include "platform/posix/usb/usb_serial_lookup.h"

#include <gtest/gtest.h>

#include "tests/support/fake_sysfs.h"

namespace fwsend::posix {

namespace {

// What a look that read the whole tree found.
template <typename Found>
Found Whole(const Listing<Found>& listing) {
    EXPECT_TRUE(listing.Complete()) << listing.failure;
    return listing.found;
}

std::vector<std::string> TtyNames(const std::vector<UsbSerialInterface>& found) {
    std::vector<std::string> names;
    for (const auto& interface : found) names.push_back(interface.ttyName);
    return names;
}

TEST(NaturalOrder, ComparesRunsOfDigitsAsNumbers) {
    EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(NaturalLess("ttyACM9", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB", "ttyUSB0"));
    EXPECT_FALSE(NaturalLess("ttyUSB3", "ttyUSB3"));
}

TEST(UsbSerialLookup, FindsOnlyTheTtysOfTheDriverInNaturalOrder) {
    FakeSysfs tree;
    tree.AddUsbDevice("1-1", "CP2102 USB to UART Bridge Controller");
    tree.AddUsbSerialTty("1-1", 0, "cp210x", "ttyUSB10");
    tree.AddUsbDevice("1-2", "FT232R USB UART");
    tree.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    tree.AddUsbDevice("1-3", "Second bridge");
    tree.AddUsbSerialTty("1-3", 0, "cp210x", "ttyUSB2");
    tree.AddUsbDevice("1-4", "Modem");
    tree.AddAcmTty("1-4", 0, "ttyACM0");
    tree.AddVirtualTty("tty0");

    const auto cp210x = Whole(FindUsbSerialInterfaces(tree.Roots(), "cp210x"));
    ASSERT_EQ(TtyNames(cp210x), (std::vector<std::string>{"ttyUSB2", "ttyUSB10"}));
    EXPECT_EQ(cp210x[0].product, "Second bridge");  // without the line end
    EXPECT_EQ(cp210x[0].devicePath, tree.Root() + "/dev/ttyUSB2");
    EXPECT_EQ(cp210x[1].product, "CP2102 USB to UART Bridge Controller");

    // A driver that binds the interface itself is found through the tty's own device.
    const auto acm = Whole(FindUsbSerialInterfaces(tree.Roots(), "cdc_acm"));
    ASSERT_EQ(TtyNames(acm), std::vector<std::string>{"ttyACM0"});
    EXPECT_EQ(acm[0].product, "Modem");
}

TEST(UsbSerialLookup, NoDevicesFindsNothingButATreeThatCannotBeReadIsAFailure) {
    FakeSysfs tree;
    tree.AddVirtualTty("tty0");
    EXPECT_TRUE(Whole(FindUsbSerialInterfaces(tree.Roots(), "ftdi_sio")).empty());

    // Not "nothing attached": the look could not look.
    const auto noTree = ListFtdiDevices({tree.Root() + "/missing", "/dev"});
    EXPECT_EQ(noTree.failure, tree.Root() + "/missing: No such file or directory");
    const auto noTtys = FindUsbSerialInterfaces({tree.Root(), "/dev"}, "cp210x");
    EXPECT_EQ(noTtys.failure, tree.Root() + "/class/tty: No such file or directory");
}

TEST(FtdiDevices, SingleInterfaceConverterIsNamedByItsProductString) {
    FakeSysfs tree;
    tree.AddUsbDevice("1-2", "FT232R USB UART");
    tree.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB0");
    const auto devices = Whole(ListFtdiDevices(tree.Roots()));
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].description, "FT232R USB UART");
    EXPECT_EQ(devices[0].devicePath, tree.Root() + "/dev/ttyUSB0");
}

TEST(FtdiDevices, EachInterfaceOfADualChipGetsALetterFromItsNumber) {
    FakeSysfs tree;
    tree.AddUsbDevice("1-2", "Dual RS232-HS", 2, "0403:6010");
    tree.AddUsbSerialTty("1-2", 1, "ftdi_sio", "ttyUSB4");
    tree.AddUsbSerialTty("1-2", 0, "ftdi_sio", "ttyUSB3");
    tree.AddUsbDevice("1-3", "FT232R USB UART");
    tree.AddUsbSerialTty("1-3", 0, "ftdi_sio", "ttyUSB5");
    const auto devices = Whole(ListFtdiDevices(tree.Roots()));
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].description, "Dual RS232-HS A");
    EXPECT_EQ(devices[0].devicePath, tree.Root() + "/dev/ttyUSB3");
    EXPECT_EQ(devices[1].description, "Dual RS232-HS B");
    EXPECT_EQ(devices[1].devicePath, tree.Root() + "/dev/ttyUSB4");
    EXPECT_EQ(devices[2].description, "FT232R USB UART");  // a single chip keeps its plain name
}

TEST(FtdiDevices, ChannelsAreLetteredByTheChipNotByWhatIsBound) {
    // Channel A is held by a JTAG program: unbound, no tty. B is still B.
    FakeSysfs tree;
    tree.AddUsbDevice("1-1", "USB2.0 Hub", 1, "05e3:0610");
    tree.AddUsbDevice("1-1.2", "Dual RS232-HS", 2, "0403:6010");
    tree.AddUnboundInterface("1-1.2", 0);
    tree.AddUsbSerialTty("1-1.2", 1, "ftdi_sio", "ttyUSB0");
    const auto devices = Whole(ListFtdiDevices(tree.Roots()));
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].description, "Dual RS232-HS B");
}

TEST(FtdiDevices, ADeviceWithoutAProductStringIsNeverNamedAfterItsHub) {
    // Two product-less single chips behind one hub: two nameless devices,
    // not one dual chip called after the hub.
    FakeSysfs tree;
    tree.AddUsbDevice("1-1", "USB2.0 Hub", 1, "05e3:0610");
    tree.AddUsbDevice("1-1.1", std::nullopt);
    tree.AddUsbSerialTty("1-1.1", 0, "ftdi_sio", "ttyUSB0");
    tree.AddUsbDevice("1-1.2", std::nullopt);
    tree.AddUsbSerialTty("1-1.2", 0, "ftdi_sio", "ttyUSB1");
    tree.AddUsbDevice("1-3", std::nullopt);  // straight on the root hub
    tree.AddUsbSerialTty("1-3", 0, "ftdi_sio", "ttyUSB2");
    const auto devices = Whole(ListFtdiDevices(tree.Roots()));
    ASSERT_EQ(devices.size(), 3u);
    for (const auto& device : devices) EXPECT_EQ(device.description, "") << device.devicePath;

    const auto found = Whole(FindUsbSerialInterfaces(tree.Roots(), "ftdi_sio"));
    EXPECT_NE(found[0].usbDevice, found[1].usbDevice);
    EXPECT_EQ(found[0].vendorId + ":" + found[0].productId, "0403:6001");
}

TEST(FtdiDevices, ACp210xBridgeIsNoFtdiDevice) {
    FakeSysfs tree;
    tree.AddUsbDevice("1-1", "USB Serial");
    tree.AddUsbSerialTty("1-1", 0, "cp210x", "ttyUSB0");
    EXPECT_TRUE(Whole(ListFtdiDevices(tree.Roots())).empty());
}

}  // namespace

}  // namespace fwsend::posix
