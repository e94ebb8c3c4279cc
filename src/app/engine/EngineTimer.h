#pragma once
// The engine's one-second timer (TimerEngine) on the window thread. The window owns one; so
// does the headless program. A tick is never re-entered: a timeout that comes while a tick
// runs (for instance from a wait inside it that serves events) is dropped. An exception
// never leaves a tick into Qt's event loop: the operator is told once per run of failing
// ticks, in the log and a notice that waits for nobody, and the ticks go on.

#include <QObject>

class QTimer;

namespace tessaro {

class TEngine;

class TEngineTimer : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    explicit TEngineTimer(TEngine& engine, QObject* parent = nullptr);

    // Runs while the window lives; the device search and the maintenance tools stop it
    // meanwhile.
    void Start();
    void Stop();
    bool IsActive() const;
    QTimer& TimerEngine() { return *timer_; }

    // One tick as the timer runs it.
    void Tick();

private:
    TEngine& engine_;
    QTimer* timer_;
    bool ticking_ = false;
    bool lastTickFailed_ = false;  // a failing tick is told once, not every second
};

}  // namespace tessaro
