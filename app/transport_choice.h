#pragma once
// What each -T value means, in one table: the class it creates, the option
// that names its device, its connection line and its name in the debug
// summary.

#include <memory>

#include "transport/com.h"

namespace fwsend {

struct RunOptions;

// The kinds of link a -T value chooses between.
enum class TransportMedium { ComPort, Ftdi, Cp2102 };

struct TransportChoice {
    TransportType type;
    TransportMedium medium;
    const char* summaryName;
    const char* connectionFormat;  // printf format; takes the COM port name
    bool namedByComPort;           // the device is -COM's value, else -D's
    std::unique_ptr<Com> (*create)();
};

// The table's row, or null for a value the usage text does not offer.
const TransportChoice* FindTransportChoice(TransportType type);

// The debug summary's name of any value: an unoffered one is shown as the
// last row's, as it always has been.
const char* SummaryName(TransportType type);

// The name the chosen transport opens and reports.
const char* DeviceNameFor(const TransportChoice& choice, const RunOptions& options);

// The -T value that chooses this medium: what the port finder offers.
TransportType TransportTypeOf(TransportMedium medium);

// The (closed) transport of an offered type; null for any other.
std::unique_ptr<Com> CreateTransport(TransportType type);

}  // namespace fwsend
