#pragma once
// Sends the upgrade image to the target's boot loader frame by frame.

#include <cstdint>
#include <functional>

#include "transport/com.h"
#include "upload/upgrade_image.h"

namespace fwsend {

// The target accepts a frame with this byte; any other byte rejects it.
// NOLINTNEXTLINE(readability-identifier-naming): the protocol's own name
constexpr std::uint8_t FRAME_ACK = 0x11;

// A frame is sent at most this many times in a row before the run gives up.
constexpr int kMaxSends = 4;

// Timeout values given to the transport: while stale input is drained, and
// while the verdict on a frame is awaited.
constexpr std::uint32_t kDrainTimeout = 1;
constexpr std::uint32_t kVerdictTimeout = 4000;

// A target that keeps sending this long without a pause fails the run.
constexpr std::int64_t kDrainLimitMs = 1000;

// Milliseconds on a steady clock.
using MillisecondClock = std::function<std::int64_t()>;
std::int64_t SteadyMilliseconds();

// True once the user has asked the run to stop (Ctrl-C and the like).
using InterruptCheck = std::function<bool()>;

// Uploads an image that ReadUpgradeImage accepted through the open transport
// and prints the verdict. Closes the transport before it returns 0 (every
// frame accepted) or -1. An interrupt ends the upload through the same
// failure path as a silent target.
int Upload(Com& transport, const UpgradeImage& image, const MillisecondClock& now,
           const InterruptCheck& interrupted);

}  // namespace fwsend
