#pragma once
// The program's two clocks, read through one replaceable object so that tests can run hours
// of program time in milliseconds and jump the wall clock at will:
// - the monotonic clock measures every duration (elapsed program time, intervals,
//   time-outs); it never goes backwards and ignores changes of the wall clock;
// - the local wall clock is only shown and written (time stamps, file names, the data
//   table). Daylight-saving changes and clock corrections move it by any amount, so no
//   duration is ever taken as the difference of two of its readings.

#include <QDateTime>
#include <chrono>
#include <mutex>

#include "text/LocalDateTime.h"

namespace tessaro {

class TClock {
public:
    virtual ~TClock() = default;
    // Milliseconds since an arbitrary origin fixed for the whole run.
    virtual std::chrono::milliseconds Monotonic() const = 0;
    virtual QDateTime LocalNow() const = 0;
};

class TSystemClock final : public TClock {
public:
    std::chrono::milliseconds Monotonic() const override;
    QDateTime LocalNow() const override;
};

// A clock that moves only when told to. Safe to read from worker threads while a test
// thread moves it.
class TFakeClock final : public TClock {
public:
    explicit TFakeClock(QDateTime localStart = QDateTime(QDate(2024, 1, 1), QTime(12, 0)));

    std::chrono::milliseconds Monotonic() const override;
    QDateTime LocalNow() const override;

    // Time passes: both clocks move by `step`.
    void Advance(std::chrono::milliseconds step);
    // The wall clock alone is set, as a daylight-saving change or a clock correction does.
    void SetLocalNow(const QDateTime& local);

private:
    mutable std::mutex mutex_;
    std::chrono::milliseconds monotonic_{0};
    QDateTime local_;
};

// The clock the whole program reads; the system clock unless a test installed another.
TClock& CurrentClock();
// Installs `clock` (nullptr: the system clock again) and returns the one it replaces. The
// caller keeps ownership and keeps the clock alive while it is installed.
TClock* SetCurrentClock(TClock* clock);

// Installs a clock for the lifetime of the guard and puts the previous one back.
class TScopedClock {
public:
    explicit TScopedClock(TClock& clock) : previous_(SetCurrentClock(&clock)) {}
    ~TScopedClock() { SetCurrentClock(previous_); }
    TScopedClock(const TScopedClock&) = delete;
    TScopedClock& operator=(const TScopedClock&) = delete;

private:
    TClock* previous_;
};

// Readings of the current clock.
std::chrono::milliseconds MonotonicNow();
QDateTime LocalNow();

// The date-time records of the program carry local time as days since 1899-12-30 with the
// time of day as the fraction (2024-01-01 12:00 is 45292.5). For display only.
double LocalDateTimeToDays(const QDateTime& local);
QDateTime DaysToLocalDateTime(double days);
double LocalNowDays();

// The core's form of a wall-clock reading.
TLocalDateTime ToLocalDateTime(const QDateTime& local);

}  // namespace tessaro
