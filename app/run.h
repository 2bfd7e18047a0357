#pragma once
// The whole run of the tool, from the banner to the exit status.

#include <functional>
#include <memory>
#include <string>

#include "transport/com.h"
#include "upload/upload.h"

namespace fwsend {

// Creates the (closed) transport for a transport type; null when this build
// has none for it.
using TransportFactory = std::function<std::unique_ptr<Com>(TransportType)>;

// What a run takes from the system besides its arguments.
struct RunServices {
    TransportFactory createTransport;
    InterruptCheck interrupted;
    // Why the last failed Open failed, in a user's words; empty when unknown.
    std::function<std::string()> openFailureReason;
};

// Returns the process's exit status: 0 after a completed upload, else -1.
// The first form runs with the system's transports and catches interrupts.
int Run(int argc, const char* const* argv);
int Run(int argc, const char* const* argv, const RunServices& services);

}  // namespace fwsend
