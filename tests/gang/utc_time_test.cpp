// Report and log times: UTC, ISO 8601, across the calendar's corners.

#include <gtest/gtest.h>

#include "gang/utc_time.h"

namespace fwsend::gang {
namespace {

WallTime At(long long milliseconds) { return WallTime(std::chrono::milliseconds(milliseconds)); }

TEST(UtcText, GivesTheCalendarDateAndTime) {
    EXPECT_EQ(UtcText(At(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(UtcText(At(951782400000)), "2000-02-29T00:00:00Z");  // a leap day of a century
    EXPECT_EQ(UtcText(At(1796810645123), true), "2026-12-09T10:04:05.123Z");
    EXPECT_EQ(UtcText(At(1796810645999)), "2026-12-09T10:04:05Z");  // cut, not rounded
    EXPECT_EQ(UtcText(At(4107542399000)), "2100-02-28T23:59:59Z");  // no leap day in 2100
    EXPECT_EQ(UtcText(At(-1), true), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace fwsend::gang
