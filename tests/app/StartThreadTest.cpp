#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "QtEventLoopSupport.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedPump.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;

using test::ServeUntil;

// The lines of the registry's channel while it lives.
class RegistryLines {
public:
    RegistryLines() {
        {
            std::lock_guard lock(mutex_);
            lines_.clear();
        }
        QLoggingCategory::setFilterRules("Unit: DeviceInfo.info=true");
        previous_ = qInstallMessageHandler(&RegistryLines::Handler);
    }
    ~RegistryLines() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
    }
    static std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    static void Handler(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (std::string(context.category ? context.category : "") != "Unit: DeviceInfo") return;
        std::lock_guard lock(mutex_);
        lines_.push_back(message.toStdString());
    }
    static inline std::mutex mutex_;
    static inline std::vector<std::string> lines_;
    QtMessageHandler previous_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TDeviceInfo Device(tDeviceType kind, std::string port, std::string name = "Virtual Demo") {
    TDeviceInfo dev;
    dev.DevType = kind;
    dev.COMPort = std::move(port);
    dev.NameRole = std::move(name);
    return dev;
}

TEST(StartThread, FlowControllerOrDemoDeviceGetsOneWorkerSetUpForItsPort) {
    const struct {
        tDeviceType kind;
        const char* port;
        bool simulated;
    } cases[] = {
        {dtMFCDemo, "COMX", true},
        {dtMFCB, "tessaro-no-such-port", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        RegistryLines diagnostics;
        TDeviceInfo dev = Device(c.kind, c.port);

        ASSERT_TRUE(dev.StartThread());
        std::unique_ptr<TMFCThread> worker(dev.ThreadMFC);
        ASSERT_NE(worker, nullptr);
        EXPECT_EQ(dev.ThreadPump, nullptr);
        EXPECT_TRUE(worker->isRunning());
        EXPECT_EQ(worker->Simulated, c.simulated);
        EXPECT_EQ(worker->Name, c.port);
        EXPECT_EQ(worker->ThreadID, c.port);
        EXPECT_EQ(worker->MFC->aPort.fPort, c.port);
        EXPECT_EQ(worker->MFC->aPort.fBaudRate, 19200);
        EXPECT_EQ(worker->MFC->GasID, -1);
        EXPECT_EQ(worker->MFC->Role, "A");
        EXPECT_EQ(worker->MFC->aDeviceID, 'A');
        EXPECT_FALSE(worker->GUIOut.ToTerminate);
        EXPECT_TRUE(Contains(RegistryLines::Lines(), "Create thread: " + std::string(c.port) + " - " + c.port));

        // A device that has a worker keeps it.
        EXPECT_FALSE(dev.StartThread());
        EXPECT_EQ(dev.ThreadMFC, worker.get());
    }
}

TEST(StartThread, PumpIsConnectedAndInitialisedBeforeItsWorkerStarts) {
    sim::SimulatedTime time;
    sim::SimPumpConfig config;
    config.InitSeconds = 0.3;
    sim::SimulatedInstrument instrument(std::make_unique<sim::SimulatedPump>(config));
    RegistryLines diagnostics;
    TDeviceInfo dev = Device(dtPump, instrument.PortName(), "Humidifier");

    ASSERT_TRUE(dev.StartThread());
    std::unique_ptr<TPSD4Thread> worker(dev.ThreadPump);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(dev.ThreadMFC, nullptr);
    EXPECT_TRUE(worker->isRunning());
    EXPECT_EQ(worker->Name, "Humidifier");
    EXPECT_TRUE(Contains(RegistryLines::Lines(), "Create thread: Humidifier"));
    const std::vector<std::string> sent = instrument.Received();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "/1?22");
    EXPECT_EQ(sent[1], "/1ZN1R");
    EXPECT_EQ(sent[2], "/1Q");
    EXPECT_FALSE(dev.StartThread());

    worker->GUIOut.ToTerminate = true;
    EXPECT_TRUE(ServeUntil([&] { return worker->GUIIn.IsTerminated; }));
}

TEST(StartThread, PumpThatDoesNotAnswerGetsNoWorker) {
    sim::SimulatedTime time;
    sim::SimulatedInstrument instrument(std::make_unique<sim::SimulatedPump>(sim::SimPumpConfig{}));
    instrument.SetFault(sim::SimFault::Silent);
    RegistryLines diagnostics;
    TDeviceInfo dev = Device(dtPump, instrument.PortName(), "Humidifier");

    std::string failure;
    EXPECT_FALSE(dev.StartThread(failure));
    EXPECT_FALSE(dev.IsConfigured());
    EXPECT_EQ(failure, "Timeout while waiting for response, exiting.");
    EXPECT_EQ(instrument.Received(), std::vector<std::string>{"/1?22"});
    EXPECT_TRUE(Contains(RegistryLines::Lines(),
                         "No pump answers on " + instrument.PortName() + ": " + failure + "; no worker started"));
}

TEST(StartThread, UnknownKindGetsNoWorker) {
    TDeviceInfo dev = Device(static_cast<tDeviceType>(9), "COM9");
    EXPECT_FALSE(dev.StartThread());
    EXPECT_FALSE(dev.IsConfigured());
}

}  // namespace
}  // namespace tessaro
