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

// Processes the window thread's events until `done` holds; false after `limit` of real time.

}  // namespace tessaro::test
