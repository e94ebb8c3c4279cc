#include "discovery/BackgroundJobs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <exception>
#include <thread>

#include "discovery/OperationWindow.h"

namespace tessaro {

namespace {

bool operationRunning = false;

}  // namespace

void RunJobsServingEvents(const std::vector<std::function<void()>>& jobs,
                          const std::function<void(std::size_t)>& ended) {
    if (jobs.empty()) return;
    QEventLoop loop;
    QObject receiver;  // lives on this thread: what the jobs' endings are queued to
    std::vector<std::exception_ptr> failures(jobs.size());
    std::size_t endedCount = 0;

    std::vector<std::thread> threads;
    threads.reserve(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                jobs[i]();
            } catch (...) {
                failures[i] = std::current_exception();
            }
            QMetaObject::invokeMethod(
                &receiver,
                [&, i] {
                    ++endedCount;
                    try {
                        if (!failures[i]) ended(i);
                    } catch (...) {
                        failures[i] = std::current_exception();
                    }
                    if (endedCount == jobs.size()) loop.quit();
                },
                Qt::QueuedConnection);
        });
    }
    loop.exec();
    for (std::thread& thread : threads) thread.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

bool OperationRunning() { return operationRunning; }

TOperationFrame::TOperationFrame(TOperationWindow& window, TEngineTimer* timer, const std::string& caption)
    : window_(window), timer_(timer), timerWasActive_(timer != nullptr && timer->IsActive()) {
    operationRunning = true;
    if (timer_ != nullptr) timer_->Stop();
    window_.BeginOperation(caption);
    QCoreApplication::processEvents();
}

TOperationFrame::~TOperationFrame() {
    window_.EndOperation();
    if (timerWasActive_) timer_->Start();
    operationRunning = false;
}

}  // namespace tessaro
