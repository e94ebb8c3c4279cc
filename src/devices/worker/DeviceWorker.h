#pragma once
// What the two kinds of device worker share: a QThread that hands its exchange records to
// the window thread once per pass, and a way to end it when its instrument never confirms
// a stop.
//
// The records are copied by the derived class's DataExchange, run on the thread that
// created the worker (the window thread) through a blocking queued call while the worker
// waits. The window thread therefore has to keep processing its events for workers to
// advance, also while it waits for them to end.

#include <QThread>
#include <atomic>

namespace tessaro {

class TDeviceWorker : public QThread {
    Q_OBJECT

public:
    // Set by the window side to end the worker whatever its instrument does: the worker
    // looks at it between two instrument exchanges and during its pauses, leaves its loop
    // without waiting for the stop to be confirmed, reports IsTerminated and hands its
    // records over one last time. Setting it is safe from any thread at any time.
    std::atomic<bool> Abandon{false};

    // The two record copies, on the window thread only.
    virtual void DataExchange() = 0;

protected:
    explicit TDeviceWorker(QObject* parent = nullptr);

    // Worker thread: runs DataExchange on the window thread and returns when it has run.
    void ExchangeWithWindow();

    // The derived destructor calls this first, while its records still exist: it abandons
    // a worker that still runs and waits until the thread has ended, running the exchanges
    // the worker asks for meanwhile (the window thread is the one waiting, so nothing else
    // would run them).
    void EndAndWait();
};

}  // namespace tessaro
