#include "Sinks.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QThread>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "sanitizer/ThreadHandOver.h"
#include "text/Messages.h"

namespace tessaro {

namespace {

// Runs `work` on the thread of the application object and returns once it has run.
void RunOnWindowThread(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    HandOver(app);
    QMetaObject::invokeMethod(
        app,
        [&] {
            TakeOver(app);
            work();
            HandOver(app);
        },
        Qt::BlockingQueuedConnection);
    TakeOver(app);
}

void ShowMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

class CategoryRegistry {
public:
    const QLoggingCategory& Get(std::string_view channel) {
        std::lock_guard lock(mutex_);
        auto found = categories_.find(channel);
        if (found == categories_.end()) {
            // The map's node keeps the key's characters in place for the category's lifetime.
            found = categories_.emplace(std::string(channel), nullptr).first;
            found->second = std::make_unique<QLoggingCategory>(found->first.c_str(), QtWarningMsg);
        }
        return *found->second;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<QLoggingCategory>, std::less<>> categories_;
};

CategoryRegistry& Categories() {
    static CategoryRegistry registry;
    return registry;
}

}  // namespace

void InstallMessageSink(std::function<void(const QString& text)> present) {
    SetMessageSink([present = std::move(present)](const std::string& text) {
        const QString shown = QString::fromStdString(text);
        // A worker's message waits for the window thread; a diversion that began meanwhile
        // (the close) takes it instead of a box.
        RunOnWindowThread([&] {
            if (!DivertMessage(text)) present(shown);
        });
    });
}

void InstallMessageBoxSink() { InstallMessageSink(ShowMessageBox); }

const QLoggingCategory& DiagnosticCategory(std::string_view channel) { return Categories().Get(channel); }

void InstallDiagnosticSink() {
    SetDiagnosticSink([](std::string_view channel, std::string_view line) {
        const QLoggingCategory& category = DiagnosticCategory(channel);
        if (!category.isDebugEnabled()) return;
        QMessageLogger().debug(category).noquote()
            << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    });
}

void InstallWindowSinks() {
    InstallMessageBoxSink();
    InstallDiagnosticSink();
}

}  // namespace tessaro
