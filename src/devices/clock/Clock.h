#pragma once
// The program's two clocks, read through one replaceable object so that tests can run hours
// of program time in milliseconds and jump the wall clock at will:
// - the monotonic clock measures every duration (elapsed program time, intervals,
//   time-outs, the pauses of the worker threads); it never goes backwards and ignores
//   changes of the wall clock;
// - the local wall clock is only shown and written (time stamps, file names, the data
//   table). Daylight-saving changes and clock corrections move it by any amount, so no
//   duration is ever taken as the difference of two of its readings.
// The worker threads read the same clock as the window thread, so a test that installs a
// fake clock drives both.

#include <QDateTime>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

namespace tessaro {

class TClock {
public:
    virtual ~TClock() = default;
    // Milliseconds since an arbitrary origin fixed for the whole run.
    virtual std::chrono::milliseconds Monotonic() const = 0;
    virtual QDateTime LocalNow() const = 0;
    // Blocks the calling thread until `duration` has passed on the monotonic clock, or
    // until `interrupt` is set (noticed within a few milliseconds of real time).
    virtual void Sleep(std::chrono::milliseconds duration, const std::atomic<bool>& interrupt) const = 0;

    void Sleep(std::chrono::milliseconds duration) const;

    // Marks a stretch of work that runs on real time whatever clock is installed (bytes
    // moving on a line). The system clock ignores it; a fake clock that moves itself waits
    // until every such stretch has ended. Use TRealTimeWork rather than the pair.
    virtual void EnterRealTimeWork() const {}
    virtual void LeaveRealTimeWork() const {}
};

class TSystemClock final : public TClock {
public:
    std::chrono::milliseconds Monotonic() const override;
    QDateTime LocalNow() const override;
    void Sleep(std::chrono::milliseconds duration, const std::atomic<bool>& interrupt) const override;
    using TClock::Sleep;
};

// A clock that moves only when told to. Safe to read from worker threads while a test
// thread moves it. A thread sleeping on it wakes once the test has advanced the clock past
// its wake time, so a test decides exactly when each pause of a worker ends.
class TFakeClock final : public TClock {
public:
    explicit TFakeClock(QDateTime localStart = QDateTime(QDate(2024, 1, 1), QTime(12, 0)));

    std::chrono::milliseconds Monotonic() const override;
    QDateTime LocalNow() const override;
    void Sleep(std::chrono::milliseconds duration, const std::atomic<bool>& interrupt) const override;
    using TClock::Sleep;

    // Time passes: both clocks move by `step`.
    void Advance(std::chrono::milliseconds step);
    // The wall clock alone is set, as a daylight-saving change or a clock correction does.
    void SetLocalNow(const QDateTime& local);

    // Threads in Sleep whose wake time has not come yet.
    int Sleepers() const;
    // Advances both clocks to the earliest wake time of a sleeping thread; false, and the
    // clock unmoved, when no thread sleeps.
    bool AdvanceToNextWake();
    // On: every Sleep moves the clock on to its own wake time at once, so a single thread
    // that waits (a driver's time-out, say) runs through its pauses without anyone stepping
    // the clock. Meant for one waiting thread; an interrupted Sleep moves nothing.
    void SetAdvanceOnSleep(bool on);

    // The earliest wake time of a sleeping thread still ahead of the clock.
    std::optional<std::chrono::milliseconds> NextWake() const;
    // Both clocks move to `time` when it lies ahead; an earlier time moves nothing.
    void AdvanceTo(std::chrono::milliseconds time);

    void EnterRealTimeWork() const override;
    void LeaveRealTimeWork() const override;
    // Threads inside a stretch of real-time work now.
    int RealTimeWorkers() const;

private:
    // Const because a Sleep in advance-on-sleep mode moves the clock too.
    void AdvanceLocked(std::chrono::milliseconds step) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable advanced_;
    mutable std::chrono::milliseconds monotonic_{0};
    mutable QDateTime local_;
    bool advanceOnSleep_ = false;
    mutable std::multiset<std::chrono::milliseconds> wakeTimes_;  // of the threads in Sleep
    mutable int realTimeWorkers_ = 0;
};

// A stretch of real-time work on the current clock for the lifetime of the guard.
class TRealTimeWork {
public:
    TRealTimeWork();
    ~TRealTimeWork();
    TRealTimeWork(const TRealTimeWork&) = delete;
    TRealTimeWork& operator=(const TRealTimeWork&) = delete;

private:
    const TClock& clock_;
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

// A flag that is never raised, for waits that nothing interrupts.
const std::atomic<bool>& NeverInterrupted();

// Readings of the current clock.
std::chrono::milliseconds MonotonicNow();
QDateTime LocalNow();

// The date-time records of the program carry local time as days since 1899-12-30 with the
// time of day as the fraction (2024-01-01 12:00 is 45292.5). For display only.
double LocalDateTimeToDays(const QDateTime& local);
double LocalNowDays();

}  // namespace tessaro
