#include "gang/send_tally.h"

#include <algorithm>

namespace fwsend::gang {

SendTally::SendTally(const std::vector<std::int32_t>& frameSizes) {
    std::int64_t total = 0;
    for (const std::int32_t size : frameSizes) total += size;
    std::int64_t acked = 0;
    for (const std::int32_t size : frameSizes) {
        // As fwsend computes it: accepted bytes * 100 / all bytes, truncated.
        percentOfFrame_.push_back(static_cast<int>(acked * 100 / total));
        acked += size;
    }
}

int SendTally::FramesShowing(int percent) const {
    const auto range = std::equal_range(percentOfFrame_.begin(), percentOfFrame_.end(), percent);
    return static_cast<int>(range.second - range.first);
}

void SendTally::Redraw(int percent) {
    ++sends_;
    if (percent == runPercent_) {
        ++runSends_;
        return;
    }
    if (percent < runPercent_) consistent_ = false;
    if (runPercent_ >= 0) framesOfEarlierRuns_ += FramesShowing(runPercent_);
    runPercent_ = percent;
    runSends_ = 1;
}

SendCount SendTally::Count(std::optional<int> framesSent) const {
    SendCount count;
    count.sends = sends_;
    if (framesSent) {
        count.resends = std::max(0, sends_ - *framesSent);
        return count;
    }
    const int lastRunFrames = std::min(FramesShowing(runPercent_), runSends_);
    count.resends = std::max(0, sends_ - framesOfEarlierRuns_ - lastRunFrames);
    count.exact = consistent_ && lastRunFrames <= 1;
    return count;
}

}  // namespace fwsend::gang
