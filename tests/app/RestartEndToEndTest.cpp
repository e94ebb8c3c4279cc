// The safe restart against simulated instruments on pseudo-terminals, on simulated time: a
// state file left by a killed run makes every device it names get its stop before anything
// else, and a resume configures the devices again and continues their programs.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/RunState.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNitrogen = 8;
constexpr int kWater = 1001;

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& part) {
    return std::ranges::any_of(lines, [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

sim::SimPumpConfig QuickPump() {
    sim::SimPumpConfig config;
    config.InitSeconds = 0.2;
    return config;
}

class RestartEndToEndTest : public ::testing::Test {
protected:
    RestartEndToEndTest()
        : controller_(std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{})),
          pump_(std::make_unique<sim::SimulatedPump>(QuickPump())) {
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.ShutdownBound = 3s;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~RestartEndToEndTest() override {
        timer_.reset();
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    static TRunStateDevice Named(const std::string& port, tDeviceType kind, const std::string& name, int fluid) {
        TRunStateDevice device;
        device.Port = port;
        device.Kind = kind;
        device.Name = name;
        device.FluidID = fluid;
        device.UnitName = kind == dtPump ? "µl/min" : "g/min";
        device.SyringeSize_µL = kind == dtPump ? 1000 : 0;
        device.FluidTemperatureC = 20;
        return device;
    }
    // What a run killed ten minutes ago left: the controller at program time 12 min of a
    // program whose setpoint changes at 10 and 15 min, the pump at 3 min of a steady one.
    void LeaveInterruptedRun(std::vector<TRunStateDevice> extra = {}) {
        TRunState run;
        run.Written = LocalNow().addSecs(-600);
        TRunStateDevice controller = Named(controller_.PortName(), dtMFCA, "Carrier", kNitrogen);
        controller.Program = "0 0 Step\r\n10 30 Step\r\n15 60 Step\r\n100 60 Step";
        controller.ProgramTime_min = 12;
        TRunStateDevice pump = Named(pump_.PortName(), dtPump, "Humidifier", kWater);
        pump.Program = "0 10 Step\r\n100 10 Step";
        pump.ProgramTime_min = 3;
        run.Devices = {controller, pump};
        run.Devices.insert(run.Devices.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(WriteRunStateFile(engine_->RunStateFile(), run, error)) << error;
    }
    double SetpointCounts() {
        double counts = -1;
        controller_.WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    }
    TDeviceInfo DeviceOn(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }

    sim::SimulatedTime time_;  // first in, last out: time-outs, pauses and replies run on it
    sim::SimulatedInstrument controller_;
    sim::SimulatedInstrument pump_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
    std::unique_ptr<TEngineTimer> timer_;
};

TEST_F(RestartEndToEndTest, LeftStateFileStopsEveryNamedDeviceBeforeAnythingElseAndSaysSo) {
    sim::SimulatedInstrument silent(std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}));
    silent.SetFault(sim::SimFault::Silent);
    LeaveInterruptedRun({Named(silent.PortName(), dtMFCB, "Diluent", kNitrogen), Named("COMX", dtMFCDemo, "Demo", 0)});

    engine_->FormCreate();

    EXPECT_EQ(controller_.Received(), std::vector<std::string>{"A0"});
    EXPECT_EQ(pump_.Received(), std::vector<std::string>{"/1TR"});
    EXPECT_EQ(silent.Received(), std::vector<std::string>{"A0"});
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_TRUE(AnyLineHas(log, "The last run did not end cleanly"));
    EXPECT_TRUE(AnyLineHas(log, "Carrier (MFC-A on " + controller_.PortName() + "): sent 0 %, confirmed"));
    EXPECT_TRUE(
        AnyLineHas(log, "Humidifier (Pump on " + pump_.PortName() + "): sent the pump's terminate command, confirmed"));
    EXPECT_TRUE(AnyLineHas(log, "Diluent (MFC-B on " + silent.PortName() + "): not reached (Timeout"));
    EXPECT_TRUE(AnyLineHas(log, "Demo (MFC on COMX): simulated, nothing to send"));
    EXPECT_TRUE(AnyLineHas(log, "Program times then: Carrier 12 min; Humidifier 3 min; Diluent 0 min; Demo 0 min"));
    // The text for standard error is the log's.
    EXPECT_TRUE(engine_->StopInterruptedRun().ReportText().starts_with("The last run did not end cleanly"));
    // Asked again, nothing more is sent.
    engine_->StopInterruptedRun();
    EXPECT_EQ(controller_.Received().size(), 1u);

    // A normal close leaves nothing to resume.
    ASSERT_TRUE(fs::exists(engine_->RunStateFile()));
    engine_->FormClose();
    EXPECT_FALSE(fs::exists(engine_->RunStateFile()));
}

TEST_F(RestartEndToEndTest, ResumeConfiguresTheDevicesAndContinuesTheirPrograms) {
    LeaveInterruptedRun();
    DevicesLocal().clear();
    engine_->FormCreate();
    ASSERT_TRUE(engine_->ResumeInterruptedRun());
    timer_ = std::make_unique<TEngineTimer>(*engine_);
    // Simulated time runs ahead of real time: the engine ticks often enough in real time to
    // take in what the workers bring without waiting.
    timer_->TimerEngine().setInterval(20);
    timer_->Start();

    // 30 % at 12 min: neither from the start (0 %) nor run on through the ten minutes (60 %).
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts() == 0.3 * 64000; }));
    const TDeviceInfo controller = DeviceOn(controller_.PortName());
    EXPECT_EQ(controller.ControlMode, dcmSegment);
    EXPECT_EQ(controller.NameRole, "Carrier");
    EXPECT_NEAR(controller.ProgramTime_min(), 12, 0.2);
    ASSERT_EQ(controller.Run.StandStills.size(), 1u);
    EXPECT_NEAR(controller.Run.StandStills[0].Duration_min, 10, 0.1);
    const TDeviceInfo pump = DeviceOn(pump_.PortName());
    EXPECT_EQ(pump.ControlMode, dcmSegment);
    EXPECT_NEAR(pump.ProgramTime_min(), 3, 0.2);
    EXPECT_TRUE(AnyLineHas(window_.LogTexts(), "the computer was off for 10m"));

    // Each instrument got its stop first, then what configuring it sends.
    const std::vector<std::string> toController = controller_.Received();
    const std::vector<std::string> toPump = pump_.Received();
    ASSERT_GT(toController.size(), 1u);
    ASSERT_GT(toPump.size(), 1u);
    EXPECT_EQ(toController.front(), "A0");
    EXPECT_EQ(toPump.front(), "/1TR");

    // The running programs keep the file; a normal close removes it.
    EXPECT_TRUE(fs::exists(engine_->RunStateFile()));
    timer_->Stop();
    engine_->FormClose();
    EXPECT_FALSE(fs::exists(engine_->RunStateFile()));
    EXPECT_TRUE(messages_.messages.empty()) << messages_.messages.front();
}

}  // namespace
}  // namespace tessaro
