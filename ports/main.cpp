// fwsend-ports: lists the serial devices that fwsend can open, each with the
// option that names it.

#include "platform/standard_streams.h"
#include "ports/port_report.h"

#ifdef _WIN32
#include "ports/windows_ports.h"
#else
#include "ports/linux_ports.h"
#include "ports/port_state.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace fwsend {
namespace {

constexpr const char kUsage[] =
    "usage: fwsend-ports [--json]\n"
    "\n"
    "Lists every serial device that fwsend can open, one a line, with the\n"
    "option that names it (-COM..., or -T1/-T2 with -D\"description\"), its\n"
    "driver and USB ids, and whether it is free, in use (by which process) or\n"
    "not open to this user.\n"
    "\n"
    "  --json   the same as a JSON array, for scripts\n";

// Empty, with the reason on standard error, when the system's lists could
// not be read: a list that may miss a device, or show a port in use as
// free, is no list.
std::optional<std::vector<PortEntry>> AttachedPorts() {
#ifdef _WIN32
    return ListWindowsPorts();
#else
    auto ports = ListLinuxPorts(posix::DeviceRoots{});
    if (!ports.Complete()) {
        std::fprintf(
            stderr,
            "fwsend-ports: the serial devices cannot be listed: %s (sysfs must be mounted on /sys and "
            "readable)\n",
            ports.failure.c_str());
        return std::nullopt;
    }
    const auto stateFailure = FindPortStates(ports.found);
    if (!stateFailure.empty()) {
        std::fprintf(stderr,
                     "fwsend-ports: the processes that hold ports cannot be looked for: %s (/proc must be "
                     "mounted and readable)\n",
                     stateFailure.c_str());
        return std::nullopt;
    }
    return std::move(ports.found);
#endif
}

}  // namespace
}  // namespace fwsend

int main(int argc, char** argv) {
    using namespace fwsend;
    // A closed standard output would pass its number to the first folder
    // the look opens, and the list would go nowhere, yet report success.
    KeepStandardStreamsOpen();
    bool asJson = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            asJson = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", kUsage);
            return 0;
        } else {
            std::fprintf(stderr, "fwsend-ports: unknown argument '%s'\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    const auto entries = AttachedPorts();
    if (!entries) return 1;
    if (asJson)
        PrintPortJson(stdout, *entries);
    else
        PrintPortTable(stdout, *entries);
    // A list cut short by a full disk or a closed pipe must not pass for
    // the whole list.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "fwsend-ports: the list could not be written: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
