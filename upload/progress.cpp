#include "upload/progress.h"

#include <cstdio>

namespace fwsend {

namespace {
// Each symbol shows on two consecutive sends.
constexpr char kSpinner[] = {'-', '-', '\\', '\\', '|', '|', '/', '/'};
}  // namespace

void ProgressLine::Show(std::int32_t acked, std::int32_t count) {
    std::printf("\r                        \rTransferring.. %c %d%% done.", kSpinner[spinner_],
                static_cast<int>(acked * 100 / count));
    spinner_ = (spinner_ + 1) % static_cast<int>(sizeof kSpinner);
    std::fflush(stdout);
}

void ProgressLine::Finish() {
    std::printf("\rTransferring.. 100%% done.  \n");
    std::fflush(stdout);
}

}  // namespace fwsend
