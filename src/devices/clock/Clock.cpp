#include "clock/Clock.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace tessaro {

namespace {

using namespace std::chrono_literals;

constexpr double kMillisecondsPerDay = 86400000.0;
// How often a sleeping thread looks at its interrupt flag.
constexpr auto kInterruptCheck = 10ms;

TSystemClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

// Workers read the clock on their own threads; tests swap it between runs.
std::atomic<TClock*>& InstalledClock() {
    static std::atomic<TClock*> clock{nullptr};
    return clock;
}

}  // namespace

const std::atomic<bool>& NeverInterrupted() {
    static const std::atomic<bool> never{false};
    return never;
}

void TClock::Sleep(std::chrono::milliseconds duration) const { Sleep(duration, NeverInterrupted()); }

std::chrono::milliseconds TSystemClock::Monotonic() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

QDateTime TSystemClock::LocalNow() const { return QDateTime::currentDateTime(); }

void TSystemClock::Sleep(std::chrono::milliseconds duration, const std::atomic<bool>& interrupt) const {
    const auto wake = std::chrono::steady_clock::now() + duration;
    while (!interrupt.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= wake) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(wake - now, kInterruptCheck));
    }
}

TFakeClock::TFakeClock(QDateTime localStart) : local_(std::move(localStart)) {}

std::chrono::milliseconds TFakeClock::Monotonic() const {
    std::lock_guard lock(mutex_);
    return monotonic_;
}

QDateTime TFakeClock::LocalNow() const {
    std::lock_guard lock(mutex_);
    return local_;
}

void TFakeClock::Sleep(std::chrono::milliseconds duration, const std::atomic<bool>& interrupt) const {
    std::unique_lock lock(mutex_);
    const std::chrono::milliseconds wake = monotonic_ + duration;
    if (advanceOnSleep_ && wake > monotonic_ && !interrupt.load()) AdvanceLocked(wake - monotonic_);
    const auto entry = wakeTimes_.insert(wake);
    // The interrupt flag is set without the mutex, so it is looked at on a short real-time
    // period rather than waited for.
    while (monotonic_ < wake && !interrupt.load()) advanced_.wait_for(lock, kInterruptCheck);
    wakeTimes_.erase(entry);
}

void TFakeClock::Advance(std::chrono::milliseconds step) {
    std::lock_guard lock(mutex_);
    AdvanceLocked(step);
}

void TFakeClock::AdvanceLocked(std::chrono::milliseconds step) const {
    monotonic_ += step;
    local_ = local_.addMSecs(step.count());
    advanced_.notify_all();
}

void TFakeClock::SetLocalNow(const QDateTime& local) {
    std::lock_guard lock(mutex_);
    local_ = local;
}

void TFakeClock::SetAdvanceOnSleep(bool on) {
    std::lock_guard lock(mutex_);
    advanceOnSleep_ = on;
}

int TFakeClock::Sleepers() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::distance(wakeTimes_.upper_bound(monotonic_), wakeTimes_.end()));
}

bool TFakeClock::AdvanceToNextWake() {
    std::lock_guard lock(mutex_);
    const auto next = wakeTimes_.upper_bound(monotonic_);
    if (next == wakeTimes_.end()) return false;
    AdvanceLocked(*next - monotonic_);
    return true;
}

std::optional<std::chrono::milliseconds> TFakeClock::NextWake() const {
    std::lock_guard lock(mutex_);
    const auto next = wakeTimes_.upper_bound(monotonic_);
    if (next == wakeTimes_.end()) return std::nullopt;
    return *next;
}

void TFakeClock::AdvanceTo(std::chrono::milliseconds time) {
    std::lock_guard lock(mutex_);
    if (time > monotonic_) AdvanceLocked(time - monotonic_);
}

void TFakeClock::EnterRealTimeWork() const {
    std::lock_guard lock(mutex_);
    ++realTimeWorkers_;
}

void TFakeClock::LeaveRealTimeWork() const {
    std::lock_guard lock(mutex_);
    --realTimeWorkers_;
}

int TFakeClock::RealTimeWorkers() const {
    std::lock_guard lock(mutex_);
    return realTimeWorkers_;
}

// The clock is taken once, so that a clock swapped meanwhile is still left by its own guard.
TRealTimeWork::TRealTimeWork() : clock_(CurrentClock()) { clock_.EnterRealTimeWork(); }

TRealTimeWork::~TRealTimeWork() { clock_.LeaveRealTimeWork(); }

TClock& CurrentClock() {
    TClock* installed = InstalledClock().load();
    return installed != nullptr ? *installed : SystemClock();
}

TClock* SetCurrentClock(TClock* clock) { return InstalledClock().exchange(clock); }

std::chrono::milliseconds MonotonicNow() { return CurrentClock().Monotonic(); }

QDateTime LocalNow() { return CurrentClock().LocalNow(); }

double LocalDateTimeToDays(const QDateTime& local) {
    static const QDate dayZero(1899, 12, 30);
    return static_cast<double>(dayZero.daysTo(local.date())) +
           local.time().msecsSinceStartOfDay() / kMillisecondsPerDay;
}

double LocalNowDays() { return LocalDateTimeToDays(LocalNow()); }

}  // namespace tessaro
