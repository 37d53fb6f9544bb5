#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "player-interface/controls/TimeFormatter.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

TEST(TimeFormatterTests, MinutesAndSecondsUpToTheFirstHour) {
    const TimeFormatter formatter;
    EXPECT_EQ(formatter.stringFromSeconds(0), "00:00");
    EXPECT_EQ(formatter.stringFromSeconds(5), "00:05");
    EXPECT_EQ(formatter.stringFromSeconds(65.9), "01:05");  // truncated, not rounded
    EXPECT_EQ(formatter.stringFromSeconds(599.999), "09:59");
    EXPECT_EQ(formatter.stringFromSeconds(3599.9), "59:59");
}

TEST(TimeFormatterTests, HoursFromTheFirstFullHourAndNotReducedByDays) {
    const TimeFormatter formatter;
    EXPECT_EQ(formatter.stringFromSeconds(3600), "01:00:00");
    EXPECT_EQ(formatter.stringFromSeconds(3661.5), "01:01:01");
    EXPECT_EQ(formatter.stringFromSeconds(86400 + 59), "24:00:59");
    EXPECT_EQ(formatter.stringFromSeconds(360000), "100:00:00");
    // No thousands separator even for absurdly long media.
    EXPECT_EQ(formatter.stringFromSeconds(3600.0 * 12345), "12345:00:00");
}

TEST(TimeFormatterTests, AlwaysIncludingHours) {
    const TimeFormatter formatter{.alwaysIncludeHours = true};
    EXPECT_EQ(formatter.stringFromSeconds(5), "00:00:05");
    EXPECT_EQ(formatter.stringFromSeconds(3599.9), "00:59:59");
    EXPECT_EQ(formatter.stringFromSeconds(-61), "-00:01:01");
}

TEST(TimeFormatterTests, NegativeTimesKeepTheirSignEvenAtZero) {
    const TimeFormatter formatter;
    EXPECT_EQ(formatter.stringFromSeconds(-0.0), "-00:00");
    EXPECT_EQ(formatter.stringFromSeconds(-0.4), "-00:00");
    EXPECT_EQ(formatter.stringFromSeconds(-65.9), "-01:05");
    EXPECT_EQ(formatter.stringFromSeconds(-3600), "-01:00:00");
}

TEST(TimeFormatterTests, TimesThatCannotBeShownGiveDashes) {
    const TimeFormatter formatter;
    EXPECT_EQ(formatter.stringFromSeconds(std::numeric_limits<double>::quiet_NaN()), "--:--");
    EXPECT_EQ(formatter.stringFromSeconds(std::numeric_limits<double>::infinity()), "--:--");
    EXPECT_EQ(formatter.stringFromSeconds(-std::numeric_limits<double>::infinity()), "--:--");
    EXPECT_EQ(formatter.stringFromSeconds(std::ldexp(1.0, 64)), "--:--");
    EXPECT_EQ(TimeFormatter{.alwaysIncludeHours = true}.stringFromSeconds(std::nan("")),
              "--:--:--");
    // The largest count that fits still shows.
    EXPECT_EQ(formatter.stringFromSeconds(std::ldexp(1.0, 63)),
              std::to_string((1ULL << 63) / 3600) + ":" + std::to_string((1ULL << 63) / 60 % 60) +
                  ":0" + std::to_string((1ULL << 63) % 60));
}

}  // namespace
}  // namespace quillon
