#pragma once

#include <memory>

#include "transport/com.h"

// The transport class that a -T value selects. Values other than 1 and 2
// take the COM port; the run refuses them before it gets here.
std::unique_ptr<Com> CreateTransport(TransportType type);
