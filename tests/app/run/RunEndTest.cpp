// The end of a run by "Stop all flows" with real workers and simulated controllers on
// pseudo-terminals: every flow at 0 %, the files closed, the workers ended, and the exit code
// naming whether every device confirmed. The waits run on a fake clock that moves on
// whenever every thread waits for it.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "EngineTestSupport.h"
#include "InstrumentExchanges.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/ExitCodes.h"
#include "run/RunEnd.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNitrogen = 8;

class RunEndTest : public ::testing::Test {
protected:
    RunEndTest() {
        InitializeModules();
        DevicesLocal().clear();
        for (const char* name : {"Carrier", "Dilution"}) {
            sim::SimInstrumentOptions options;
            options.ReplyDelayMs = test::kQuickReplyDelayMs;
            auto& instrument = controllers_.emplace_back(std::make_unique<sim::SimulatedInstrument>(
                std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), options));
            exchanges_.Watch(*instrument);
            TDeviceInfo device = NewFoundDevice(instrument->PortName(), dtMFCA, "100001");
            device.NameRole = name;
            device.FluidID = kNitrogen;
            device.FlowUnitUser = FlowUnitGrams().Clone();
            device.SegmentProgram = "0 40 Step\r\n60 40 Step";
            DevicesLocal().push_back(device);
        }
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        engine_ = std::make_unique<TEngine>(window_, settings);
        engine_->FormCreate();
        std::vector<std::string> ports;
        for (TDeviceInfo& device : DevicesLocal()) {
            EXPECT_TRUE(device.StartThread());
            ports.push_back(device.COMPort);
        }
        engine_->ButtonSegmentProgramStartClick(ports);
    }
    ~RunEndTest() override {
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }

    double SetpointCounts(std::size_t index) {
        double counts = -1;
        controllers_[index]->WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    }
    // Ticks until both controllers flow at the program's 40 %.
    void RunUntilBothFlow() {
        ASSERT_TRUE(test::ServeUntil([&] {
            engine_->TimerEngineTimer();
            return SetpointCounts(0) == 0.4 * 64000 && SetpointCounts(1) == 0.4 * 64000;
        }));
    }
    bool LogFileEndingIn(const std::string& suffix) const {
        for (const auto& entry : fs::directory_iterator(engine_->LogsFolder()))
            if (entry.path().filename().string().ends_with(suffix)) return true;
        return false;
    }

    std::vector<std::unique_ptr<sim::SimulatedInstrument>> controllers_;
    test::InstrumentExchanges exchanges_;
    TFakeClock clock_;
    TScopedClock scopedClock_{clock_};
    test::SettledClockDriver driver_{clock_, &exchanges_};
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
};

TEST_F(RunEndTest, EveryFlowStopsAndIsConfirmedThenTheFilesCloseAndTheWorkersEnd) {
    RunUntilBothFlow();
    const auto start = MonotonicNow();
    const TRunEnd end = EndRunWithStopAll(*engine_, "SIGTERM received");

    EXPECT_LT(MonotonicNow() - start, 6s);
    EXPECT_EQ(end.ExitCode, kExitOk);
    EXPECT_TRUE(end.Unconfirmed.empty());
    EXPECT_EQ(SetpointCounts(0), 0);
    EXPECT_EQ(SetpointCounts(1), 0);
    for (const TDeviceInfo& device : DevicesLocal()) EXPECT_FALSE(device.IsConfigured());
    EXPECT_TRUE(LogFileEndingIn(" log OnClose.txt"));
    EXPECT_TRUE(fs::exists(engine_->DataCsvFile()));
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_NE(std::find(log.begin(), log.end(), "SIGTERM received"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Stop all flows: Carrier " + DevicesLocal()[0].COMPort + " confirmed the stop"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Every device confirmed its stop"), log.end());
    EXPECT_TRUE(window_.Notices.empty());
}

TEST_F(RunEndTest, SilentControllerIsNamedAndTheEndComesWithinTheBound) {
    RunUntilBothFlow();
    controllers_[1]->SetFault(sim::SimFault::Silent);
    const auto start = MonotonicNow();
    const TRunEnd end = EndRunWithStopAll(*engine_, "SIGINT received");
    const auto took = MonotonicNow() - start;

    EXPECT_GE(took, StopConfirmationBound);
    // The 5 s wait for confirmations, then at most a second for the silent worker, then its
    // last exchange is cut short.
    EXPECT_LT(took, StopConfirmationBound + 4s);
    EXPECT_EQ(end.ExitCode, kExitTempFail);
    const std::string silent = "Dilution " + DevicesLocal()[1].COMPort;
    EXPECT_EQ(end.Unconfirmed, std::vector<std::string>{silent});
    EXPECT_EQ(SetpointCounts(0), 0);
    ASSERT_FALSE(window_.Notices.empty());
    EXPECT_NE(window_.Notices[0].find("no confirmation of the stop from " + silent), std::string::npos)
        << window_.Notices[0];
    for (const TDeviceInfo& device : DevicesLocal()) EXPECT_FALSE(device.IsConfigured());
    EXPECT_TRUE(LogFileEndingIn(" log OnClose.txt"));
}

}  // namespace
}  // namespace tessaro
