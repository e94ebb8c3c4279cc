#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace tessaro::test {

namespace {

// Whether a thread of this process other than `self` runs or waits only for its turn on a
// processor (or for the disk): doing real work, which the fake clock must not overtake.
bool AnotherThreadBusy(pid_t self) {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (task.path().filename() == std::to_string(self)) continue;
        std::ifstream statFile(task.path() / "stat");
        std::string stat;
        std::getline(statFile, stat);
        const std::size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size()) continue;
        const char state = stat[nameEnd + 2];
        if (state == 'R' || state == 'D') return true;
    }
    return false;
}

}  // namespace

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

SettledClockDriver::SettledClockDriver(TFakeClock& clock, ClockHold* hold, std::chrono::milliseconds settle,
                                       std::chrono::milliseconds holdLimit)
    : clock_(clock), hold_(hold) {
    thread_ = std::thread([this, settle, holdLimit] { Drive(settle, holdLimit); });
}

void SettledClockDriver::Drive(std::chrono::milliseconds settle, std::chrono::milliseconds holdLimit) {
    using RealClock = std::chrono::steady_clock;
    int sleepers = -1;
    std::chrono::milliseconds now = clock_.Monotonic();
    RealClock::time_point stillSince = RealClock::now();
    RealClock::time_point freeSince = stillSince;
    const pid_t self = gettid();
    while (!stop_) {
        std::this_thread::sleep_for(200us);
        const int sleepingNow = clock_.Sleepers();
        const std::chrono::milliseconds nowNow = clock_.Monotonic();
        const RealClock::time_point real = RealClock::now();
        if (sleepingNow != sleepers || nowNow != now) {
            sleepers = sleepingNow;
            now = nowNow;
            stillSince = real;
            freeSince = real;
            continue;
        }
        if (hold_ != nullptr && hold_->Holds()) freeSince = real;
        const bool heldTooLong = real - stillSince >= holdLimit;
        if (sleepers > 0 && (real - freeSince >= settle || heldTooLong)) {
            if (!heldTooLong && AnotherThreadBusy(self)) {
                freeSince = real;
                continue;
            }
            if (hold_ != nullptr) hold_->ClockMoves();
            clock_.AdvanceToNextWake();
        }
    }
}

SettledClockDriver::~SettledClockDriver() {
    stop_ = true;
    thread_.join();
}

}  // namespace tessaro::test
