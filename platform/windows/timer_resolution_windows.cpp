// The system's timer resolution, through winmm's timeBeginPeriod and
// timeEndPeriod: each request is matched by exactly one release.

#include "platform/timer_resolution.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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
