#pragma once
// The one console line that shows how far the upload is.

#include <cstdint>

namespace fwsend {

class ProgressLine {
public:
    // Redraws the line before a send: the spinner turns on every send, the
    // percentage counts accepted bytes only, truncated.
    void Show(std::int32_t acked, std::int32_t count);
    // Leaves the line at 100 % and moves below it.
    void Finish();

private:
    int spinner_ = 0;
};

}  // namespace fwsend
