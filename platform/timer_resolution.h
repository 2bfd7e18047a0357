#pragma once
namespace fwsend {

// Fine system timers for as long as the object lives. Before every frame the
// upload waits 2 ms for a silent line with reads whose timeouts are 1 ms;
// Windows' timers tick every 15.6 ms unless a program asks for finer ones, so
// each such wait could take up to 15 ms longer. On Windows this asks for a
// resolution of 1 ms and gives it back when it ends; elsewhere timers wake at
// their deadline and there is nothing to ask.

class FineTimerResolution {
public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

#ifdef _WIN32
private:
    bool granted_ = false;  // given back only when granted
#endif
};

#ifndef _WIN32
inline FineTimerResolution::FineTimerResolution() = default;
inline FineTimerResolution::~FineTimerResolution() = default;
#endif

}  // namespace fwsend
