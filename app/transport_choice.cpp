#include "app/transport_choice.h"

#include <iterator>

#include "app/run_options.h"
#include "transport/com_cp2102.h"
#include "transport/com_ftdi.h"
#include "transport/com_port.h"

namespace fwsend {

namespace {

template <typename Transport>
std::unique_ptr<Com> Create() {
    return std::make_unique<Transport>();
}

constexpr TransportChoice kTransportChoices[] = {
    {0, "Com-Port", "Connection with Serial Com-Port %s...\n", true, Create<ComPort>},
    {1, "FTDI-Device", "Connection with FTDI-USB Device...\n", false, Create<ComFTDI>},
    {2, "CP2102-Device", "Connection with CP2102-USB Device...\n", false, Create<ComCP2102>},
};

}  // namespace

const TransportChoice* FindTransportChoice(TransportType type) {
    for (const TransportChoice& choice : kTransportChoices)
        if (choice.type == type) return &choice;
    return nullptr;
}

const char* SummaryName(TransportType type) {
    const TransportChoice* choice = FindTransportChoice(type);
    return choice ? choice->summaryName : std::prev(std::end(kTransportChoices))->summaryName;
}

const char* DeviceNameFor(const TransportChoice& choice, const RunOptions& options) {
    return choice.namedByComPort ? options.comPortName : options.usbDeviceName;
}

std::unique_ptr<Com> CreateTransport(TransportType type) {
    const TransportChoice* choice = FindTransportChoice(type);
    return choice ? choice->create() : nullptr;
}

}  // namespace fwsend
