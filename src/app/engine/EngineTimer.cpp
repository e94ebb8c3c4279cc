#include "engine/EngineTimer.h"

#include <QTimer>
#include <exception>
#include <string>

#include "engine/Engine.h"

namespace tessaro {

TEngineTimer::TEngineTimer(TEngine& engine, QObject* parent)
    : QObject(parent), engine_(engine), timer_(new QTimer(this)) {
    timer_->setObjectName("TimerEngine");
    timer_->setInterval(kIntervalMs);
    // Coarse timers may fire up to 5 % early, which would make the 3 s data lines uneven.
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &TEngineTimer::Tick);
}

void TEngineTimer::Start() { timer_->start(); }

void TEngineTimer::Stop() { timer_->stop(); }

bool TEngineTimer::IsActive() const { return timer_->isActive(); }

void TEngineTimer::Tick() {
    if (ticking_) return;
    ticking_ = true;
    try {
        engine_.TimerEngineTimer();
        if (lastTickFailed_) engine_.MM("Engine ticks run again");
        lastTickFailed_ = false;
    } catch (const std::exception& error) {
        // A modal box here would hold up every later tick, and with them the programs and
        // the data lines, until someone clicks it away.
        if (!lastTickFailed_) engine_.ReportProblem(std::string("Engine tick failed: ") + error.what());
        lastTickFailed_ = true;
    }
    ticking_ = false;
}

}  // namespace tessaro
