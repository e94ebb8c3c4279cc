#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace tessaro::test {

namespace {}  // namespace

ClockDriver::ClockDriver(TFakeClock& clock) : clock_(clock) {
    thread_ = std::thread([this] {
        while (!stop_) {
            if (!clock_.AdvanceToNextWake()) std::this_thread::sleep_for(200us);
        }
    });
}

ClockDriver::~ClockDriver() {
    stop_ = true;
    thread_.join();
}

SettledClockDriver::SettledClockDriver(TFakeClock& clock, std::chrono::milliseconds settle) : clock_(clock) {
    thread_ = std::thread([this, settle] {
        int sleepers = -1;
        std::chrono::milliseconds now = clock_.Monotonic();
        auto stillSince = std::chrono::steady_clock::now();
        while (!stop_) {
            std::this_thread::sleep_for(200us);
            const int sleepingNow = clock_.Sleepers();
            const std::chrono::milliseconds nowNow = clock_.Monotonic();
            const auto real = std::chrono::steady_clock::now();
            if (sleepingNow != sleepers || nowNow != now) {
                sleepers = sleepingNow;
                now = nowNow;
                stillSince = real;
                continue;
            }
            if (sleepers > 0 && real - stillSince >= settle) clock_.AdvanceToNextWake();
        }
    });
}

SettledClockDriver::~SettledClockDriver() {
    stop_ = true;
    thread_.join();
}

}  // namespace tessaro::test
