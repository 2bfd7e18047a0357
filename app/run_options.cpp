#include "app/run_options.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace fwsend {

namespace {

struct BaudOption {
    const char* text;
    std::int32_t baud;
};

constexpr BaudOption kBaudOptions[] = {
    {"-256000", 256000}, {"-128000", 128000}, {"-115200", 115200}, {"-57600", 57600}, {"-56000", 56000},
    {"-38400", 38400},   {"-19200", 19200},   {"-14400", 14400},   {"-9600", 9600},   {"-4800", 4800},
    {"-2400", 2400},     {"-1200", 1200},     {"-600", 600},       {"-300", 300},     {"-110", 110},
};

constexpr char kComPortPath[] = "-COM/";

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// Copies the value that starts at offset into a name buffer; false when it
// does not fit. The option text matched guarantees the argument's length
// reaches offset.
bool TakeValue(const char* argument, std::size_t offset, char (&target)[kMaxNameLength + 1]) {
    const char* value = argument + offset;
    std::size_t valueLength = std::strlen(value);
    if (valueLength > kMaxNameLength) return false;
    std::memcpy(target, value, valueLength + 1);
    return true;
}

// atoi's reading of the number (blanks, sign, digits up to the first other
// character, 0 without a number), saturated to the 32-bit range instead of
// overflowing.
TransportType TransportFromText(const char* text) {
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<TransportType>(value);
}

}  // namespace

std::int32_t BaudFromArgument(const char* argument) {
    for (const BaudOption& option : kBaudOptions)
        if (std::strcmp(argument, option.text) == 0) return option.baud;
    return 0;
}

ParseResult ParseArguments(int argc, const char* const* argv, RunOptions& options, const char** badArgument) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        bool fits = true;
        // A port named by its path is taken whole: the /dev/serial/by-id/
        // names hold "-F", "-D" and "-T" (usb-FTDI_..., usb-Texas_...).
        if (std::strncmp(argument, kComPortPath, sizeof kComPortPath - 1) == 0) {
            if (TakeValue(argument, 1, options.comPortName)) continue;
            if (badArgument) *badArgument = argument;
            return ParseResult::ValueTooLong;
        }
        // "-F" is looked for in every argument, whatever else it holds.
        if (Contains(argument, "-F")) fits = TakeValue(argument, 2, options.sourceFile);

        if (Contains(argument, "-D")) {
            fits = TakeValue(argument, 2, options.usbDeviceName) && fits;
        } else if (Contains(argument, "-COM")) {
            // The dash goes, "COM" stays: -COM3 names COM3.
            fits = TakeValue(argument, 1, options.comPortName) && fits;
        } else if (Contains(argument, "-T")) {
            options.transportType = TransportFromText(argument + 2);
        } else {
            if (Contains(argument, "-debug")) options.debug = true;
            if (std::int32_t baud = BaudFromArgument(argument)) options.baud = baud;
        }

        if (!fits) {
            if (badArgument) *badArgument = argument;
            return ParseResult::ValueTooLong;
        }
    }
    return ParseResult::Ok;
}

}  // namespace fwsend
