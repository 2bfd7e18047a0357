#include <cstring>

#include "gang/child_end.h"

namespace fwsend::gang {

std::string DescribeSignalEnd(const ChildEnd& end) {
    if (end.exited) return {};
    const char* name = ::sigabbrev_np(end.signal);
    return "killed by signal " + std::to_string(end.signal) + (name ? std::string(" (SIG") + name + ")" : "");
}

}  // namespace fwsend::gang
