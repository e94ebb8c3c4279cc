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

}  // namespace tessaro::test
