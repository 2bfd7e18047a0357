#pragma once
namespace fwsend {

// The texts the run prints before anything else happens.

// "%s" takes the one-line notice; kept apart so the version stays in one place.
constexpr const char kBannerFormat[] = "fwsend v1.0 - %s\n\n";
constexpr const char kBannerNotice[] = "Firmware upgrade over serial link";

constexpr const char kUsageText[] =
    "usage: fwsend -F<filename.ext> [-COMx] [-baudrate] [-Tx] [-Dusbdevicename]\n"
    "\n"
    "  filename.ext    File containing flash upgrade buffer.\n"
    "  -COMx           Communications port number.\n"
    "  -baudrate       Communication baudrate, e.g. 9600, 115200.\n"
    "                  Supported baudrates:\n"
    "                    110, 300, 600, 1200, 2400,\n"
    "                    4800, 9600, 14400, 19200, 38400,\n"
    "                    56000, 57600, 115200, 128000, 256000\n"
    "\n"
    " -Tx              Communication over:\n"
    "                  0 : ComPort (default)\n"
    "                  1 : FTDI-USB (Direct-USB)\n"
    "                  2 : CP2102-USB (Direct-USB)\n"
    "\n"
    " -Dusbdevicename  USB-String\n"
    "                  If usbdevicename includes spaces, you have to use quotes\n"
    "                  e.g. -D\"Tarvo Link 300\"\n"
    "\n";

}  // namespace fwsend
