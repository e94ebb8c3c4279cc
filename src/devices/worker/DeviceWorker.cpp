#include "worker/DeviceWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "sanitizer/ThreadHandOver.h"

namespace tessaro {

namespace {

constexpr int kEndPollMs = 10;

}  // namespace

TDeviceWorker::TDeviceWorker(QObject* parent) : QThread(parent) {}

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
    Abandon = true;
    const bool servesExchanges = QThread::currentThread() == thread();
    while (!wait(QDeadlineTimer(kEndPollMs))) {
        if (servesExchanges) QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

}  // namespace tessaro
