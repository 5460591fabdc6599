// Dates as days since 30 December 1899 and back, and the fixed clock tests set.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using win::SYSTEMTIME;

TEST(ClockTest, DateTimeConvertsBothWays) {
    const struct {
        SYSTEMTIME time;
        double value;
    } cases[] = {
        {{1899, 12, 6, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 3, 4, 1, 18, 0, 0, 0}, 61.75},
        {{2000, 2, 2, 29, 12, 0, 0, 0}, 36585.5},
        {{2026, 12, 3, 9, 23, 59, 59, 999}, 46365.0 + 86399999.0 / 86400000.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_DOUBLE_EQ(win::SystemTimeToDateTime(c.time), c.value);
        const SYSTEMTIME back = win::DateTimeToSystemTime(c.value);
        EXPECT_EQ(win::DateTimeText(back), win::DateTimeText(c.time));
        EXPECT_EQ(back.wDayOfWeek, c.time.wDayOfWeek);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
    }
}

TEST(ClockTest, FixedTimeIsTheMachinesNow) {
    ::setenv("VREL_FIXED_TIME", "2026-12-09T10:10:10.001", 1);
    const SYSTEMTIME now = win::DateTimeToSystemTime(win::Now());
    ::unsetenv("VREL_FIXED_TIME");
    EXPECT_EQ(win::DateTimeText(now), "12/9/2026 10:10:10 AM");
    EXPECT_EQ(now.wMilliseconds, 1);
}

}  // namespace
