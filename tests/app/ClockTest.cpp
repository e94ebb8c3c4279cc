#include "engine/Clock.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaro {
namespace {

using namespace std::chrono_literals;

TEST(Clock, LocalDateTimeAsDaysSince1899) {
    const QDateTime noon(QDate(2024, 1, 1), QTime(12, 0));
    EXPECT_DOUBLE_EQ(LocalDateTimeToDays(noon), 45292.5);
    EXPECT_DOUBLE_EQ(LocalDateTimeToDays(QDateTime(QDate(1899, 12, 30), QTime(6, 0))), 0.25);

    const QDateTime late(QDate(2031, 3, 30), QTime(23, 59, 59, 999));
    EXPECT_EQ(DaysToLocalDateTime(LocalDateTimeToDays(late)), late);
    EXPECT_EQ(DaysToLocalDateTime(45292.5), noon);
    EXPECT_FALSE(DaysToLocalDateTime(std::nan("")).isValid());
    EXPECT_FALSE(DaysToLocalDateTime(1e300).isValid());

    const TLocalDateTime parts = ToLocalDateTime(late);
    EXPECT_EQ(parts.Year, 2031);
    EXPECT_EQ(parts.Month, 3);
    EXPECT_EQ(parts.Day, 30);
    EXPECT_EQ(parts.Hour, 23);
    EXPECT_EQ(parts.Minute, 59);
    EXPECT_EQ(parts.Second, 59);
    EXPECT_EQ(parts.Millisecond, 999);
}

TEST(Clock, FakeClockMovesOnlyWhenToldAndIsInstalledForItsScope) {
    TFakeClock fake(QDateTime(QDate(2024, 10, 27), QTime(2, 30)));
    {
        TScopedClock installed(fake);
        EXPECT_EQ(&CurrentClock(), &fake);
        const auto start = MonotonicNow();
        fake.Advance(1500ms);
        EXPECT_EQ(MonotonicNow() - start, 1500ms);
        EXPECT_EQ(LocalNow(), QDateTime(QDate(2024, 10, 27), QTime(2, 30, 1, 500)));

        fake.SetLocalNow(QDateTime(QDate(2024, 10, 27), QTime(1, 30)));
        EXPECT_EQ(MonotonicNow() - start, 1500ms);
    }
    EXPECT_NE(&CurrentClock(), &fake);
}

}  // namespace
}  // namespace tessaro
