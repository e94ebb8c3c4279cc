#include "worker/DeviceWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

namespace tessaro {

namespace {

constexpr int kEndPollMs = 10;

}  // namespace

TDeviceWorker::TDeviceWorker(Channel channel, const char* stopped, QObject* parent)
    : QThread(parent), channel_(channel), stopped_(stopped) {}

void TDeviceWorker::run() {
    StartUp();
    while (!LoopEnded()) {
        if (Abandon) {
            Warn(Name + " Abandoned before the " + stopped_ + " confirmed its stop");
            EndLoop();
            break;
        }
        ExchangeWithWindow();
        Pass();
    }
    // The window sees IsTerminated through this last exchange.
    ExchangeWithWindow();
}

void TDeviceWorker::ExchangeWithWindow() {
    // A loop run on the creating thread itself (never in the program) must not wait for
    // itself.
    if (QThread::currentThread() == thread()) {
        DataExchange();
        return;
    }
    // The lock is held while the call is queued: the window thread takes it first thing, so
    // everything the worker did, Qt's queueing included, precedes the exchange.
    std::unique_lock lock(exchangeMutex_);
    exchangeServed_ = false;
    QMetaObject::invokeMethod(this, "ServeExchange", Qt::QueuedConnection);
    exchangeServedChanged_.wait(lock, [this] { return exchangeServed_; });
}

void TDeviceWorker::ServeExchange() {
    // Waits until the worker, done queueing this call, waits itself.
    { std::lock_guard lock(exchangeMutex_); }
    DataExchange();
    std::lock_guard lock(exchangeMutex_);
    exchangeServed_ = true;
    exchangeServedChanged_.notify_one();
}

void TDeviceWorker::EndAndWait() {
    if (ended_) return;
    ended_ = true;
    Write("Destroy thread: " + Name);
    if (isRunning()) Warn(Name + " still running: abandoned");
    StopRequested = true;
    Abandon = true;
    const bool servesExchanges = QThread::currentThread() == thread();
    while (!wait(QDeadlineTimer(kEndPollMs))) {
        if (servesExchanges) QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    // The worker's last step was to let go of the exchange lock; taking it once more orders
    // all it did before what follows, which the end of a QThread does not show the sanitizer.
    std::lock_guard afterLastExchange(exchangeMutex_);
}

void TDeviceWorker::Write(const std::string& line) const { qCInfo(channel_).noquote() << QString::fromStdString(line); }

void TDeviceWorker::Warn(const std::string& line) const {
    qCWarning(channel_).noquote() << QString::fromStdString(line);
}

}  // namespace tessaro
