// The system's timer resolution, through winmm's timeBeginPeriod and
// timeEndPeriod: each request is matched by exactly one release.

#include "platform/timer_resolution.h"

#include "platform/windows/windows_api.h"

namespace fwsend {

extern "C" {
__declspec(dllimport) UINT WINAPI timeBeginPeriod(UINT periodMs);
__declspec(dllimport) UINT WINAPI timeEndPeriod(UINT periodMs);
}

namespace {

constexpr UINT kPeriodMs = 1;
constexpr UINT kNoError = 0;  // TIMERR_NOERROR

}  // namespace

FineTimerResolution::FineTimerResolution() : granted_(timeBeginPeriod(kPeriodMs) == kNoError) {}

FineTimerResolution::~FineTimerResolution() {
    if (granted_) timeEndPeriod(kPeriodMs);
}

}  // namespace fwsend
