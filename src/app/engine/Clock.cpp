#include "engine/Clock.h"

#include <atomic>
#include <cmath>
#include <utility>

namespace tessaro {

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;
constexpr double kLargestDayCount = 1e9;

const QDate& DayZero() {
    static const QDate day(1899, 12, 30);
    return day;
}

TSystemClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

// Workers read the clock on their own threads; tests swap it between runs.
std::atomic<TClock*>& InstalledClock() {
    static std::atomic<TClock*> clock{nullptr};
    return clock;
}

}  // namespace

std::chrono::milliseconds TSystemClock::Monotonic() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

QDateTime TSystemClock::LocalNow() const { return QDateTime::currentDateTime(); }

TFakeClock::TFakeClock(QDateTime localStart) : local_(std::move(localStart)) {}

std::chrono::milliseconds TFakeClock::Monotonic() const {
    std::lock_guard lock(mutex_);
    return monotonic_;
}

QDateTime TFakeClock::LocalNow() const {
    std::lock_guard lock(mutex_);
    return local_;
}

void TFakeClock::Advance(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    monotonic_ += step;
    local_ = local_.addMSecs(step.count());
}

void TFakeClock::SetLocalNow(const QDateTime& local) {
    std::lock_guard lock(mutex_);
    local_ = local;
}

TClock& CurrentClock() {
    TClock* installed = InstalledClock().load();
    return installed != nullptr ? *installed : SystemClock();
}

TClock* SetCurrentClock(TClock* clock) { return InstalledClock().exchange(clock); }

std::chrono::milliseconds MonotonicNow() { return CurrentClock().Monotonic(); }

QDateTime LocalNow() { return CurrentClock().LocalNow(); }

double LocalDateTimeToDays(const QDateTime& local) {
    return static_cast<double>(DayZero().daysTo(local.date())) +
           local.time().msecsSinceStartOfDay() / kMillisecondsPerDay;
}

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
    return QDateTime(DayZero().addDays(wholeDays), QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds)));
}

double LocalNowDays() { return LocalDateTimeToDays(LocalNow()); }

TLocalDateTime ToLocalDateTime(const QDateTime& local) {
    const QDate date = local.date();
    const QTime time = local.time();
    return TLocalDateTime{date.year(),   date.month(),  date.day(), time.hour(),
                          time.minute(), time.second(), time.msec()};
}

}  // namespace tessaro
