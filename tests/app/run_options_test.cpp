#include "app/run_options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fwsend {

namespace {

RunOptions Parse(std::vector<const char*> args, ParseResult* result = nullptr) {
    args.insert(args.begin(), "fwsend");
    RunOptions options;
    const char* bad = nullptr;
    ParseResult r = ParseArguments(static_cast<int>(args.size()), args.data(), options, &bad);
    if (result) *result = r;
    return options;
}

TEST(ParseArguments, DefaultsWhenNothingMatches) {
    RunOptions o = Parse({"whatever", "-x", "115200"});
    EXPECT_EQ(o.baud, 0);
    EXPECT_STREQ(o.sourceFile, "");
    EXPECT_STREQ(o.comPortName, "");
    EXPECT_STREQ(o.usbDeviceName, "");
    EXPECT_EQ(o.transportType, 0);
    EXPECT_FALSE(o.debug);
}

TEST(ParseArguments, TypicalCommandLine) {
    RunOptions o = Parse({"-Ffirmware.txt", "-COM1", "-115200"});
    EXPECT_STREQ(o.sourceFile, "firmware.txt");
    EXPECT_STREQ(o.comPortName, "COM1");
    EXPECT_EQ(o.baud, 115200);
    EXPECT_EQ(o.transportType, 0);
}

TEST(ParseArguments, EveryBaudOptionMustMatchExactly) {
    for (int baud :
         {256000, 128000, 115200, 57600, 56000, 38400, 19200, 14400, 9600, 4800, 2400, 1200, 600, 300, 110}) {
        std::string arg = "-" + std::to_string(baud);
        EXPECT_EQ(Parse({arg.c_str()}).baud, baud);
    }
    EXPECT_EQ(Parse({"-9600x"}).baud, 0);
    EXPECT_EQ(Parse({"x-9600"}).baud, 0);
    EXPECT_EQ(Parse({"-9601"}).baud, 0);
    EXPECT_EQ(Parse({"9600"}).baud, 0);
    EXPECT_EQ(Parse({"-115200", "-9600x"}).baud, 115200);
}

TEST(ParseArguments, TransportTypeIsTheNumberAfterT) {
    EXPECT_EQ(Parse({"-T1"}).transportType, 1);
    EXPECT_EQ(Parse({"-T2", "-T"}).transportType, 0);
    EXPECT_EQ(Parse({"-T2", "-Tx"}).transportType, 0);
    EXPECT_EQ(Parse({"-T 7x"}).transportType, 7);
    EXPECT_EQ(Parse({"-T-3"}).transportType, -3);
    // Beyond 32 bits the value saturates rather than overflowing.
    EXPECT_EQ(Parse({"-T99999999999"}).transportType, INT32_MAX);
    EXPECT_EQ(Parse({"-T-99999999999"}).transportType, INT32_MIN);
}

TEST(ParseArguments, ValuesComeFromFixedPositionsWhereverTheOptionMatched) {
    RunOptions both = Parse({"-Fmy-Dfile"});
    EXPECT_STREQ(both.sourceFile, "my-Dfile");
    EXPECT_STREQ(both.usbDeviceName, "my-Dfile");

    RunOptions dFirst = Parse({"-D-COM3"});
    EXPECT_STREQ(dFirst.usbDeviceName, "-COM3");
    EXPECT_STREQ(dFirst.comPortName, "");

    RunOptions fileAndType = Parse({"-T1", "-Ffw-T2.hex"});
    EXPECT_STREQ(fileAndType.sourceFile, "fw-T2.hex");
    EXPECT_EQ(fileAndType.transportType, 0);  // the number read from "fw-T2.hex"

    EXPECT_STREQ(Parse({"-COM3"}).comPortName, "COM3");
    EXPECT_STREQ(Parse({"x-COM3"}).comPortName, "-COM3");
    EXPECT_STREQ(Parse({"-COM/dev/ttyUSB0"}).comPortName, "COM/dev/ttyUSB0");
    EXPECT_STREQ(Parse({"-DTarvo Link 300"}).usbDeviceName, "Tarvo Link 300");
    EXPECT_TRUE(Parse({"x-debugx"}).debug);
    EXPECT_FALSE(Parse({"-Debug"}).debug);  // case matters; this is a -D value
}

TEST(ParseArguments, APortPathIsTakenWholeAndSetsNothingElse) {
    // The stable names in /dev/serial/by-id/ hold "-F", "-D" and "-T".
    const char* const paths[] = {"-COM/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                                 "-COM/dev/serial/by-id/usb-Digilent_Digilent_USB_Device_2107-if01-port0",
                                 "-COM/dev/serial/by-id/usb-Texas_Instruments_XDS110_(03.00.00.25)-if00"};
    for (const char* path : paths) {
        RunOptions o = Parse({"-Ffw.txt", "-T2", "-DLink", "-115200", path});
        EXPECT_STREQ(o.comPortName, path + 1);
        EXPECT_STREQ(o.sourceFile, "fw.txt");
        EXPECT_STREQ(o.usbDeviceName, "Link");
        EXPECT_EQ(o.transportType, 2);
    }
    // Only a leading "-COM/" does so; elsewhere the old rules hold.
    RunOptions o = Parse({"x-COM/a-Fb"});
    EXPECT_STREQ(o.sourceFile, "COM/a-Fb");
    EXPECT_STREQ(o.comPortName, "-COM/a-Fb");
    EXPECT_STREQ(Parse({"-D-COM/dev/x"}).comPortName, "");
}

TEST(ParseArguments, LaterArgumentsOverwriteEarlierOnes) {
    RunOptions o = Parse({"-Fa", "-Fb", "-COM1", "-COM2", "-9600", "-300"});
    EXPECT_STREQ(o.sourceFile, "b");
    EXPECT_STREQ(o.comPortName, "COM2");
    EXPECT_EQ(o.baud, 300);
}

TEST(ParseArguments, ValuesUpToTheLimitFitAndLongerOnesAreRefused) {
    const std::string longest(kMaxNameLength, 'n');
    ParseResult result{};
    const std::string port = "COM" + std::string(kMaxNameLength - 3, 'c');
    RunOptions o = Parse({("-F" + longest).c_str(), ("-D" + longest).c_str(), ("-" + port).c_str()}, &result);
    EXPECT_EQ(result, ParseResult::Ok);
    EXPECT_EQ(std::string(o.sourceFile), longest);
    EXPECT_EQ(std::string(o.usbDeviceName), longest);
    EXPECT_EQ(std::string(o.comPortName), port);

    for (const std::string& arg : {"-F" + longest + "x", "-D" + longest + "x", "-COM" + longest}) {
        const char* args[] = {"fwsend", "-9600", arg.c_str()};
        RunOptions options;
        const char* bad = nullptr;
        EXPECT_EQ(ParseArguments(3, args, options, &bad), ParseResult::ValueTooLong) << arg;
        EXPECT_EQ(bad, args[2]);
    }
}

}  // namespace

}  // namespace fwsend
