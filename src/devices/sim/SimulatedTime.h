#pragma once
// Program time that runs by itself, as fast as the program and the simulated instruments
// let it: a fake clock, installed while this lives, that a driver thread moves on to the
// next wake-up (a sleeping thread's or an instrument's reply) whenever nothing is left to
// do at the present time and some thread sleeps on the clock. Nothing is left to do when every simulated instrument is
// idle, no thread is inside real-time work (bytes moving on a line), and that has held for a few real milliseconds in a
// row. Pauses, poll intervals, time-outs, reply delays and the instruments' own motions (a pump's strokes, a
// controller's settling) then cost only the real time of the work between them, in the order they would have happened.
//
// Create it before the instruments it is to drive and let it outlive every thread that
// sleeps on its clock.

#include <QDateTime>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "clock/Clock.h"

namespace tessaro::sim {

class SimulatedTime {
public:
    SimulatedTime();
    ~SimulatedTime();
    SimulatedTime(const SimulatedTime&) = delete;
    SimulatedTime& operator=(const SimulatedTime&) = delete;

    TFakeClock& Clock() { return clock_; }
    std::chrono::milliseconds Elapsed() const { return clock_.Monotonic(); }

private:
    void Drive();
    bool NothingToDoNow() const;
    bool MoveToNextWake();

    TFakeClock clock_;
    TScopedClock installed_{clock_};
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread driver_;
};

}  // namespace tessaro::sim
