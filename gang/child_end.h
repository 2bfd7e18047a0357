#pragma once
// How a child's end is told: its exit status as scripts see it, and for one
// that a signal ended, which.

#include <string>

#include "gang/child_process.h"

namespace fwsend::gang {

// "killed by signal 9 (SIGKILL)"; empty for a child that exited.
std::string DescribeSignalEnd(const ChildEnd& end);

}  // namespace fwsend::gang
