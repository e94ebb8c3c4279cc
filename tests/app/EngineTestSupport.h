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

// Work outside the program's threads that the fake clock must wait for before it moves,
// such as an instrument still answering the program's last command.
class ClockHold {
public:
    virtual ~ClockHold() = default;
    // True while that work is in hand.
    virtual bool Holds() = 0;
    // The clock is about to move: what was in hand until now has been waited for.
    virtual void ClockMoves() = 0;
};

// For tests where real threads talk to simulated instruments over pseudo-terminals on a
// fake clock: moves `clock` to the next wake time once the threads have stood still for
// `settle` of real time, that is when the same threads have slept on the clock, at the same
// time, all along, and `hold` (if any) has held nothing all along, and no other thread of
// the process is running or waiting for a processor at that moment. An exchange's pauses and
// time-outs then pass in program time while its bytes take what real time they need: a
// thread doing real work (an exchange, a tick) keeps the clock where it is, and so does an
// instrument with a command in hand, however long a loaded machine makes it take. A hold
// that lasts `holdLimit` of real time is taken for an answer that never comes.
class SettledClockDriver {
public:
    explicit SettledClockDriver(TFakeClock& clock, ClockHold* hold = nullptr, std::chrono::milliseconds settle = 4ms,
                                std::chrono::milliseconds holdLimit = 2s);
    ~SettledClockDriver();
    SettledClockDriver(const SettledClockDriver&) = delete;
    SettledClockDriver& operator=(const SettledClockDriver&) = delete;

private:
    void Drive(std::chrono::milliseconds settle, std::chrono::milliseconds holdLimit);

    TFakeClock& clock_;
    ClockHold* hold_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Simulated instruments answer this long after a command in these tests, so that the
// exchanges of a simulated second take little real time.
inline constexpr int kQuickReplyDelayMs = 1;

}  // namespace tessaro::test
