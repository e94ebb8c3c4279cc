#include "Sinks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLoggingCategory>
#include <QThread>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "TestApplication.h"
#include "text/Messages.h"

namespace tessaro {
namespace {

class SinksTest : public ::testing::Test {
protected:
    ~SinksTest() override {
        SetMessageSink(std::move(savedMessageSink));
        SetDiagnosticSink(std::move(savedDiagnosticSink));
    }

    QApplication& app = test::TestApplication();
    MessageSink savedMessageSink = SetMessageSink(nullptr);
    DiagnosticSink savedDiagnosticSink = SetDiagnosticSink(nullptr);
};

struct Presented {
    QString text;
    QThread* thread = nullptr;
};

TEST_F(SinksTest, MessageFromAWorkerIsShownOnTheWindowThreadWhileTheWorkerWaits) {
    Presented presented;
    std::atomic<bool> shown = false;
    InstallMessageSink([&](const QString& text) {
        presented = {text, QThread::currentThread()};
        shown = true;
    });

    std::atomic<bool> workerSawItShown = false;
    std::atomic<bool> workerDone = false;
    std::thread worker([&] {
        ShowMessage("No fluid selected for MFC – µl");
        workerSawItShown = shown.load();
        workerDone = true;
    });
    while (!workerDone) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();

    EXPECT_TRUE(workerSawItShown);
    EXPECT_EQ(presented.text, QString::fromUtf8("No fluid selected for MFC – µl"));
    EXPECT_EQ(presented.thread, app.thread());
}

TEST_F(SinksTest, MessageOnTheWindowThreadIsShownAtOnce) {
    Presented presented;
    InstallMessageSink([&](const QString& text) { presented = {text, QThread::currentThread()}; });
    ShowMessage("Saving device configuration failed");
    EXPECT_EQ(presented.text, "Saving device configuration failed");
    EXPECT_EQ(presented.thread, app.thread());
}

TEST_F(SinksTest, AWorkersMessageOnItsWayWhenADiversionBeginsIsDivertedNotPresented) {
    std::vector<QString> presented;
    InstallMessageSink([&](const QString& text) { presented.push_back(text); });

    std::atomic<bool> workerDone = false;
    std::thread worker([&] {
        ShowMessage("Set pump states failed. Used string: ");
        workerDone = true;
    });
    // The window thread serves nothing yet: the message waits for it (or has not left yet).
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<std::string> diverted;
    std::mutex divertedMutex;
    {
        const TMessageDiversion diversion([&](const std::string& text) {
            std::lock_guard lock(divertedMutex);
            diverted.push_back(text);
        });
        while (!workerDone) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        worker.join();
    }
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(diverted, std::vector<std::string>{"Set pump states failed. Used string: "});

    // Once the diversion has ended, messages are presented again.
    ShowMessage("Saving device configuration failed");
    EXPECT_EQ(presented, std::vector<QString>{"Saving device configuration failed"});
}

struct Logged {
    QString category;
    QString text;
};
std::vector<Logged> logged;

void CollectLogLine(QtMsgType, const QMessageLogContext& context, const QString& text) {
    logged.push_back({QString::fromUtf8(context.category), text});
}

TEST_F(SinksTest, ChannelLinesReachTheCategoryOfTheSameNameWhenSwitchedOn) {
    InstallDiagnosticSink();
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(CollectLogLine);

    DiagLog("Main form", "Initialization");  // channels stay quiet by default
    QLoggingCategory::setFilterRules("Main form.debug=true");
    DiagLog("Main form", "Initialization");
    DiagLog("SerialPort", "Initialization");  // not switched on
    QLoggingCategory::setFilterRules("SerialPort.debug=true");
    DiagLog("SerialPort", "COM3 opened");

    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].category, "Main form");
    EXPECT_EQ(logged[0].text, "Initialization");
    EXPECT_EQ(logged[1].category, "SerialPort");
    EXPECT_EQ(logged[1].text, "COM3 opened");
    EXPECT_EQ(&DiagnosticCategory("Main form"), &DiagnosticCategory(std::string("Main form")));
}

}  // namespace
}  // namespace tessaro
