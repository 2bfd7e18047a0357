#pragma once
// One board of the gang: its slot, and the options that name its device,
// exactly as fwsend takes them.

#include <string>
#include <vector>

#include "transport/com.h"

namespace fwsend::gang {

// What fwsend makes of a board's options.
struct BoardDevice {
    TransportType type = 0;
    std::string comPortName;    // -COM's value, "COM" included: COMttyUSB0
    std::string usbDeviceName;  // -D's value
};

struct Board {
    std::string slot;
    std::vector<std::string> options;  // -COMttyUSB0, or -T1 and -DDual RS232-HS B
    BoardDevice device;
};

}  // namespace fwsend::gang
