#include "engine/Clock.h"

#include <cmath>

namespace tessaro {

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;
constexpr double kLargestDayCount = 1e9;

}  // namespace

QDateTime DaysToLocalDateTime(double days) {
    // Beyond any date a QDate can hold, or not a number: no date-time.
    if (!std::isfinite(days) || std::fabs(days) > kLargestDayCount) return {};
    auto wholeDays = static_cast<qint64>(std::floor(days));
    auto milliseconds = std::lround((days - static_cast<double>(wholeDays)) * kMillisecondsPerDay);
    if (milliseconds >= static_cast<long>(kMillisecondsPerDay)) {
        ++wholeDays;
        milliseconds = 0;
    }
    // Date and time of day are set as such: adding the milliseconds to midnight would move
    // the result by an hour on the days the clocks change.
    static const QDate dayZero(1899, 12, 30);
    return QDateTime(dayZero.addDays(wholeDays), QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds)));
}

TLocalDateTime ToLocalDateTime(const QDateTime& local) {
    const QDate date = local.date();
    const QTime time = local.time();
    return TLocalDateTime{date.year(),   date.month(),  date.day(), time.hour(),
                          time.minute(), time.second(), time.msec()};
}

}  // namespace tessaro
