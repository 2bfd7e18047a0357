#pragma once
// Sends and resends of one board, counted from fwsend's progress line.
//
// fwsend redraws the line once before every send of a frame, resends
// included, with the share of the image's bytes accepted so far, truncated
// to a whole percent. So the redraws count the sends exactly, and the frames
// a run of equal percentages covers are known from the frame sizes: every
// frame whose accepted bytes before it give that percentage. Resends are the
// sends beyond one per frame sent:
// - exact when the board succeeded (every frame sent), when fwsend named the
//   frame it failed at (frames 0 to that one sent), and for every run of
//   equal percentages that a higher one followed;
// - otherwise (interrupted, or in the last run while it goes) the fewest
//   that fit the redraws: as many frames of the last run taken to have been
//   sent as it has sends, at most all of its frames.

#include <cstdint>
#include <optional>
#include <vector>

namespace fwsend::gang {

struct SendCount {
    int sends = 0;
    int resends = 0;
    bool exact = true;
};

class SendTally {
public:
    explicit SendTally(const std::vector<std::int32_t>& frameSizes);

    // One redraw, showing this percentage.
    void Redraw(int percent);
    // framesSent: how many frames fwsend is known to have sent, if known.
    SendCount Count(std::optional<int> framesSent = std::nullopt) const;

private:
    int FramesShowing(int percent) const;

    std::vector<int> percentOfFrame_;  // what the line shows while each frame is sent
    int sends_ = 0;
    int framesOfEarlierRuns_ = 0;
    int runPercent_ = -1;
    int runSends_ = 0;
    bool consistent_ = true;
};

}  // namespace fwsend::gang
