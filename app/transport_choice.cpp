#include "app/transport_choice.h"

#include <cstddef>
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
    {0, TransportMedium::ComPort, "Com-Port", "Connection with Serial Com-Port %s...\n", true,
     Create<ComPort>},
    {1, TransportMedium::Ftdi, "FTDI-Device", "Connection with FTDI-USB Device...\n", false, Create<ComFTDI>},
    {2, TransportMedium::Cp2102, "CP2102-Device", "Connection with CP2102-USB Device...\n", false,
     Create<ComCP2102>},
};

constexpr std::size_t kRowCount = std::size(kTransportChoices);

// kRowCount when the medium has no row.
constexpr std::size_t RowOf(TransportMedium medium) {
    std::size_t row = 0;
    while (row < kRowCount && kTransportChoices[row].medium != medium) ++row;
    return row;
}
static_assert(RowOf(TransportMedium::ComPort) < kRowCount && RowOf(TransportMedium::Ftdi) < kRowCount &&
                  RowOf(TransportMedium::Cp2102) < kRowCount,
              "every medium has its -T value");

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

TransportType TransportTypeOf(TransportMedium medium) { return kTransportChoices[RowOf(medium)].type; }

std::unique_ptr<Com> CreateTransport(TransportType type) {
    const TransportChoice* choice = FindTransportChoice(type);
    return choice ? choice->create() : nullptr;
}

}  // namespace fwsend
