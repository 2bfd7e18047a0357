#pragma once
// The whole run of the tool, from the banner to the exit status.

#include <functional>
#include <memory>

#include "transport/com.h"

// Creates the (closed) transport for a transport type; null when this build
// has none for it.
using TransportFactory = std::function<std::unique_ptr<Com>(TransportType)>;

// Returns the process's exit status: 0 after a completed upload, else -1.
int Run(int argc, const char* const* argv);
int Run(int argc, const char* const* argv, const TransportFactory& createTransport);
