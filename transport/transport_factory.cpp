#include "transport/transport_factory.h"

#include "transport/com_cp2102.h"
#include "transport/com_ftdi.h"
#include "transport/com_port.h"

std::unique_ptr<Com> CreateTransport(TransportType type) {
    switch (type) {
    case 1: return std::make_unique<ComFTDI>();
    case 2: return std::make_unique<ComCP2102>();
    default: return std::make_unique<ComPort>();
    }
}
