#include "transport/transport_factory.h"

#include "transport/com_port.h"

std::unique_ptr<Com> CreateTransport(TransportType type) {
    switch (type) {
    case 1:  // FTDI: not built yet
    case 2:  // CP2102: not built yet
        return nullptr;
    default:
        return std::make_unique<ComPort>();
    }
}
