#pragma once
// The command line, parsed.

#include <cstddef>
#include <cstdint>

#include "transport/com.h"

namespace fwsend {

// Longest value an option may carry; each lives in a zero-terminated buffer.
constexpr std::size_t kMaxNameLength = 99;

struct RunOptions {
    std::int32_t baud = 0;  // 0: no baud-rate option given
    char usbDeviceName[kMaxNameLength + 1] = {};
    char comPortName[kMaxNameLength + 1] = {};
    char sourceFile[kMaxNameLength + 1] = {};
    TransportType transportType = 0;
    bool debug = false;
};

enum class ParseResult {
    Ok,
    ValueTooLong,  // the offending argument is reported through badArgument
};

// Fills options from argv[1..argc-1]; later arguments overwrite earlier ones.
// An argument that begins with "-COM/" names the port by its path and sets
// nothing else. A value longer than kMaxNameLength is refused, never cut.
ParseResult ParseArguments(int argc, const char* const* argv, RunOptions& options, const char** badArgument);

// The baud rate an argument names exactly ("-115200" gives 115200), or 0.
std::int32_t BaudFromArgument(const char* argument);

}  // namespace fwsend
