#include "sim/SimulatedTime.h"

#include <cmath>
#include <optional>

#include "sim/SimulatedInstrument.h"

namespace tessaro::sim {

namespace {

using namespace std::chrono_literals;

constexpr auto kLookInterval = 1ms;
// A thread that has just written a command, or just woken, is seen as busy only once its
// bytes reach the instrument or it sleeps again: quiet must last a few looks before the
// clock moves.
constexpr int kQuietLooks = 3;

}  // namespace

SimulatedTime::SimulatedTime() {
    SimulatedInstrument::FollowProgramClock(true);
    driver_ = std::thread([this] { Drive(); });
}

SimulatedTime::~SimulatedTime() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    driver_.join();
    SimulatedInstrument::FollowProgramClock(false);
}

void SimulatedTime::Drive() {
    int quietLooks = 0;
    std::unique_lock lock(mutex_);
    while (!stopped_.wait_for(lock, kLookInterval, [this] { return stop_; })) {
        lock.unlock();
        quietLooks = NothingToDoNow() ? quietLooks + 1 : 0;
        if (quietLooks >= kQuietLooks && MoveToNextWake()) quietLooks = 0;
        lock.lock();
    }
}

bool SimulatedTime::NothingToDoNow() const { return clock_.RealTimeWorkers() == 0 && SimulatedInstrument::AllIdle(); }

bool SimulatedTime::MoveToNextWake() {
    // Time passes only for a thread that waits for it: a reply is never made due while the
    // thread that is to look for it is still on its way to its first look.
    std::optional<std::chrono::milliseconds> next = clock_.NextWake();
    if (!next) return false;
    if (const std::optional<double> due = SimulatedInstrument::EarliestReplyDue()) {
        // Rounded up, so that the reply is due once the clock stands there.
        const auto dueTime = std::chrono::milliseconds(static_cast<long long>(std::ceil(*due * 1000.0 - 1e-6)));
        if (dueTime > clock_.Monotonic() && dueTime < *next) next = dueTime;
    }
    if (!next) return false;
    clock_.AdvanceTo(*next);
    SimulatedInstrument::WakeAll();
    return true;
}

}  // namespace tessaro::sim
