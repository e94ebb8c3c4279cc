#pragma once
// What the engine tests share: one QCoreApplication for the test program, a thread that
// moves a fake clock whenever someone sleeps on it, and a loop that serves the window
// thread's events until a condition holds.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "QtEventLoopSupport.h"
#include "clock/Clock.h"

namespace tessaro::test {

using namespace std::chrono_literals;

// Moves `clock` to the next wake time as soon as a thread sleeps on it, so sleeps of any
// length pass at once in real time.
class ClockDriver {
public:
    explicit ClockDriver(TFakeClock& clock);
    ~ClockDriver();
    ClockDriver(const ClockDriver&) = delete;
    ClockDriver& operator=(const ClockDriver&) = delete;

private:
    TFakeClock& clock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// For tests where real threads talk to simulated instruments over pseudo-terminals on a
// fake clock: moves `clock` to the next wake time once the threads have stood still for
// `settle` of real time, that is when the same threads have slept on the clock, at the same
// time, all along. A reply on its way over a pseudo-terminal arrives within that margin, so
// an exchange's pauses and time-outs pass in program time while its bytes take real time.
// A thread doing real work (an exchange, a tick) keeps the clock where it is.
class SettledClockDriver {
public:
    explicit SettledClockDriver(TFakeClock& clock, std::chrono::milliseconds settle = 4ms);
    ~SettledClockDriver();
    SettledClockDriver(const SettledClockDriver&) = delete;
    SettledClockDriver& operator=(const SettledClockDriver&) = delete;

private:
    TFakeClock& clock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Simulated instruments answer this long after a command in these tests: short, so that
// the settling margin above holds it many times over.
inline constexpr int kQuickReplyDelayMs = 1;

}  // namespace tessaro::test
