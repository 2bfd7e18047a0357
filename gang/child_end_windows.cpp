// A Windows child that did not exit: Kill() ended it, or an exception did,
// whose NTSTATUS is its exit code.
#include <cstdio>

#include "gang/child_end.h"

namespace fwsend::gang {

namespace {

constexpr int kKillSignal = 9;

const char* ExceptionName(unsigned long status) {
    switch (status) {
    case 0xC0000005u: return "access violation";
    case 0xC00000FDu: return "stack overflow";
    case 0xC0000409u: return "stack buffer overrun";
    case 0xC000013Au: return "Ctrl-C";
    case 0xC0000135u: return "a DLL not found";
    default: return nullptr;
    }
}

}  // namespace

std::string DescribeSignalEnd(const ChildEnd& end) {
    if (end.exited) return {};
    if (end.signal == kKillSignal) return "killed (TerminateProcess)";
    const unsigned long status = static_cast<unsigned int>(end.status);
    char text[64];
    std::snprintf(text, sizeof text, "ended by exception 0x%08lX", status);
    const char* name = ExceptionName(status);
    return name ? std::string(text) + " (" + name + ")" : std::string(text);
}

}  // namespace fwsend::gang
