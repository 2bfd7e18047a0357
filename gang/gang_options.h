#pragma once
// fwsend-gang's command line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fwsend::gang {

extern const char kGangUsage[];

struct GangOptions {
    bool help = false;
    std::string imageFile;   // -F's value
    std::string baudOption;  // the rate as fwsend takes it: -115200
    std::string reportFile;  // --report; empty: no report
    bool repeat = false;
    std::string slotsFile;  // --slots
    bool all = false;       // --all, narrowed by:
    std::string driver;     //   --driver
    std::string usbIds;     //   --usb, as vendor:product in lower case
    // The boards named on the command line, each as fwsend takes its options.
    std::vector<std::vector<std::string>> boardOptions;
};

// Nothing, with the reason, for a command line the usage text does not allow.
std::optional<GangOptions> ParseGangOptions(int argc, const char* const* argv, std::string* error);

}  // namespace fwsend::gang
