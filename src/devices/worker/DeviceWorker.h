#pragma once
// What the two kinds of device worker share: a QThread that hands its exchange records to
// the window thread once per pass, runs one pass of its own after each hand-over until its
// loop has ended, and can be ended when its instrument never confirms a stop.
//
// The records are copied by DataExchange, run on the thread that created the worker (the
// window thread) through a queued call while the worker waits. The window thread therefore
// has to keep processing its events for workers to advance, also while it waits for them to
// end.

#include <QLoggingCategory>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

namespace tessaro {

class TDeviceWorker : public QThread {
    Q_OBJECT

public:
    // Set by the window side to end the worker whatever its instrument does: the worker
    // looks at it between two instrument exchanges, its driver's waits end on it, it
    // leaves its loop without waiting for the stop to be confirmed, reports IsTerminated
    // and hands its records over one last time. Setting it is safe from any thread at any
    // time.
    std::atomic<bool> Abandon{false};
    // Set by the window side with its stop request (GUIOut.ToTerminate), which reaches the
    // worker only at its next exchange: a pass that does nothing but wait (a simulated
    // device's) ends its wait at once, so the stop is confirmed without waiting out the
    // pause. Safe from any thread at any time.
    std::atomic<bool> StopRequested{false};
    std::string Name;  // starts every diagnostic line of the worker

    // The two record copies, on the window thread only.
    virtual void DataExchange() = 0;

protected:
    using Channel = const QLoggingCategory& (*)();
    // `stopped` names what has to confirm the stop ("pump", "controller") in the line
    // written when the worker is abandoned.
    TDeviceWorker(Channel channel, const char* stopped, QObject* parent);

    // The worker's thread: StartUp, then passes until the loop has ended.
    void run() final;
    // Worker thread, once before the first pass (the driver is set by then).
    virtual void StartUp() {}
    // Worker thread: one pass of the loop, after each exchange with the window.
    virtual void Pass() = 0;
    // The worker's report says its loop has ended / makes it say so.
    virtual bool LoopEnded() const = 0;
    virtual void EndLoop() = 0;

    // Worker thread: runs DataExchange on the window thread and returns when it has run.
    void ExchangeWithWindow();

    // Every derived destructor calls this first, while its driver still exists (a base
    // destructor would run after the driver is gone): it says the worker is destroyed,
    // abandons it when it still runs and waits until the thread has ended, running the
    // exchanges the worker asks for meanwhile (the window thread is the one waiting, so
    // nothing else would run them). Later calls do nothing.
    void EndAndWait();

    void Write(const std::string& line) const;
    void Warn(const std::string& line) const;

private:
    // Window thread: runs the exchange the worker waits for.
    Q_INVOKABLE void ServeExchange();

    Channel channel_;
    const char* stopped_;
    bool ended_ = false;
    // The worker waits on these for its exchange. They, not Qt's event queue, order the
    // records' hand-over between the two threads, so ThreadSanitizer sees it too.
    std::mutex exchangeMutex_;
    std::condition_variable exchangeServedChanged_;
    bool exchangeServed_ = false;
};

// A worker with its four exchange records. The window writes GUIOut and reads GUIIn; once
// per pass DataExchange copies ThreadOut to GUIIn and GUIOut to ThreadIn. Each record type
// has the flag IsTerminated (worker: its loop has ended).
template <typename TRecord>
class TDeviceWorkerWith : public TDeviceWorker {
public:
    TRecord GUIIn;      // the window's copy of the worker's report; window thread only
    TRecord GUIOut;     // what the window wants; window thread only
    TRecord ThreadIn;   // the worker's copy of GUIOut
    TRecord ThreadOut;  // the worker's report

    void DataExchange() override {
        GUIIn = ThreadOut;
        ThreadIn = GUIOut;
    }

protected:
    using TDeviceWorker::TDeviceWorker;

    bool LoopEnded() const final { return ThreadOut.IsTerminated; }
    void EndLoop() final { ThreadOut.IsTerminated = true; }
};

}  // namespace tessaro
