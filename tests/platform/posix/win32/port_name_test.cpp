#include "platform/posix/win32/port_name.h"

#include <gtest/gtest.h>

namespace fwsend::posix {

namespace {

TEST(PortName, MapsToDevicePaths) {
    const std::pair<const char*, const char*> names[] = {
        {"COM1", "/dev/ttyS0"},         {"COM12", "/dev/ttyS11"},
        {"COM01", "/dev/ttyS0"},        {"COM/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"COMttyACM0", "/dev/ttyACM0"}, {"COM1x", "/dev/1x"},
        {"/dev/pts/3", "/dev/pts/3"},   {"ttyUSB1", "/dev/ttyUSB1"},
        {"com3", "/dev/com3"},  // COM is matched as written, like a device named comedi0
        {"\\\\.\\COM10", "/dev/ttyS9"},
    };
    for (const auto& [name, path] : names)
        EXPECT_EQ(DevicePathForPortName(name).value_or("(none)"), path) << name;
}

TEST(PortName, NamesThatDesignateNothing) {
    for (const char* name : {"", "COM", "COM0", "COM00", "COM99999999999999999999", "\\\\.\\"})
        EXPECT_FALSE(DevicePathForPortName(name)) << name;
}

}  // namespace

}  // namespace fwsend::posix
