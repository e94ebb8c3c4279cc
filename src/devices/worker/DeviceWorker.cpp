#include "worker/DeviceWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include "sanitizer/ThreadHandOver.h"

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
    HandOver(this);
    QMetaObject::invokeMethod(
        this,
        [this] {
            TakeOver(this);
            DataExchange();
            HandOver(this);
        },
        Qt::BlockingQueuedConnection);
    TakeOver(this);
}

void TDeviceWorker::EndAndWait() {
    if (ended_) return;
    ended_ = true;
    Write("Destroy thread: " + Name);
    if (isRunning()) Warn(Name + " still running: abandoned");
    Abandon = true;
    const bool servesExchanges = QThread::currentThread() == thread();
    while (!wait(QDeadlineTimer(kEndPollMs))) {
        if (servesExchanges) QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void TDeviceWorker::Write(const std::string& line) const { qCInfo(channel_).noquote() << QString::fromStdString(line); }

void TDeviceWorker::Warn(const std::string& line) const {
    qCWarning(channel_).noquote() << QString::fromStdString(line);
}

}  // namespace tessaro
