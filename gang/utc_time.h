#pragma once
// Times in UTC, ISO 8601, for the log and the report: 2026-12-09T10:04:05Z.
// Computed from the clock's count, the same on every platform.

#include <chrono>
#include <string>

namespace fwsend::gang {

using WallTime = std::chrono::system_clock::time_point;

// Whole seconds: 2026-12-09T10:04:05Z; with milliseconds: 2026-12-09T10:04:05.123Z.
std::string UtcText(WallTime time, bool withMilliseconds = false);

}  // namespace fwsend::gang
