#include "app/run.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/run_options.h"
#include "app/transport_choice.h"
#include "app/usage.h"
#include "platform/interrupt.h"
#include "platform/open_failure.h"
#include "platform/printable_text.h"
#include "upload/upload.h"

namespace fwsend {

namespace {

constexpr std::uint32_t kOpenTimeout = 2000;

void PrintSummary(const RunOptions& options) {
    std::printf("Baudrate          : %d\n", static_cast<int>(options.baud));
    std::printf("USB-Devicename    : %s\n", options.usbDeviceName);
    std::printf("Com-Port          : %s\n", options.comPortName);
    std::printf("Quelldatei        : %s\n", options.sourceFile);
    std::printf("Type              : %d %s\n\n", static_cast<int>(options.transportType),
                SummaryName(options.transportType));
}

int Usage() {
    std::printf("%s", kUsageText);
    return -1;
}

// A directory opens for reading on Linux and then reads as empty: it would
// upload nothing and report success.
std::FILE* OpenSourceFile(const char* path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return nullptr;
    return std::fopen(path, "rb");
}

}  // namespace

int Run(int argc, const char* const* argv) {
    CatchInterrupts();
    return Run(argc, argv, RunServices{CreateTransport, InterruptRequested, DescribeOpenFailure});
}

int Run(int argc, const char* const* argv, const RunServices& services) {
    std::printf(kBannerFormat, kBannerNotice);
    if (argc < 2) return Usage();

    RunOptions options;
    const char* tooLong = nullptr;
    if (ParseArguments(argc, argv, options, &tooLong) != ParseResult::Ok) {
        std::printf("Error: Argument '%s' is longer than %d characters.\n", tooLong,
                    static_cast<int>(kMaxNameLength));
        return -1;
    }
    if (options.debug) PrintSummary(options);

    // A -T value the usage text does not offer is refused, not guessed at.
    const TransportChoice* choice = FindTransportChoice(options.transportType);
    if (options.baud == 0 || options.sourceFile[0] == '\0' || !choice) return Usage();

    std::FILE* file = OpenSourceFile(options.sourceFile);
    if (!file) {
        std::printf("Error: Source-file '%s' not found or no rights.\n", options.sourceFile);
        return -1;
    }

    const char* deviceName = DeviceNameFor(*choice, options);
    if (deviceName[0] == '\0') {
        std::fclose(file);
        return Usage();
    }

    std::printf(choice->connectionFormat, options.comPortName);
    std::unique_ptr<Com> transport = services.createTransport(options.transportType);
    if (!transport || !transport->Open(deviceName, options.baud, kOpenTimeout)) {
        // Asked first: printing may change the system's record of it.
        const std::string reason = transport ? services.openFailureReason() : std::string();
        std::printf("Error: %s in use or does not exist.\n", deviceName);
        std::fflush(stdout);
        // The line above is what scripts know; the reason goes beside it.
        // Device text in it (product strings, process names) is shown, never
        // obeyed by the terminal.
        if (!reason.empty()) std::fprintf(stderr, "fwsend: %s\n", PrintableText(reason).c_str());
        std::fclose(file);
        return -1;
    }
    return Upload(*transport, file, SteadyMilliseconds, services.interrupted);
}

}  // namespace fwsend
