// Program control with real workers and simulated instruments on pseudo-terminals: the
// engine ticks on a fake clock, one tick per simulated second, after the worker has brought
// the instrument's answers to the window; the instruments answer in real time.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Interface.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNitrogen = 8;
constexpr double kFollowsAtOnce_s = 0.001;
constexpr double kNeverFollows_s = 1e9;

sim::SimMfcConfig ControllerLagging(double lag_s) {
    sim::SimMfcConfig config;
    config.LagSeconds = lag_s;
    return config;
}

// The port looks for reply bytes without pausing, so only a worker's own pauses wait for
// the fake clock. The simulator always answers: its reply time-out is far beyond any jump of
// the fake clock, so a tick's second never cuts a reply off and hands it to the next command.
void LookForRepliesWithoutPausing(TSerialPort& port) {
    port.fWindowsReadLoopTimeoutMS = 0;
    port.fReadoutTimeoutMS = 3'600'000;
}

// The controller answers at once, so that a simulated second's exchanges take little real
// time. (The pump keeps its usual pace: its initialisation counts real time.)
sim::SimInstrumentOptions QuickReplies() {
    sim::SimInstrumentOptions options;
    options.ReplyDelayMs = test::kQuickReplyDelayMs;
    return options;
}

class ProgramControlEndToEndTest : public ::testing::Test {
protected:
    ProgramControlEndToEndTest() {
        InitializeModules();
        DevicesLocal().clear();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~ProgramControlEndToEndTest() override {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    // A configured flow controller on the simulated instrument, its alarm off unless a test
    // switches it on.
    void AddController(double lag_s) {
        instrument_ = std::make_unique<sim::SimulatedInstrument>(
            std::make_unique<sim::SimulatedMfc>(ControllerLagging(lag_s)), QuickReplies());
        TDeviceInfo device = NewFoundDevice(instrument_->PortName(), dtMFCA, "100001");
        device.NameRole = "Nitrogen";
        device.FluidID = kNitrogen;
        device.FlowUnitUser = FlowUnitGrams().Clone();
        device.AlarmBand_pct = 0;
        auto* worker = new TMFCThread;
        worker->MFC = std::make_unique<TAlicatMFC>();
        worker->MFC->GasID = -1;
        worker->MFC->aDeviceID = 'A';
        worker->MFC->aPort.fPort = device.COMPort;
        worker->MFC->aPort.fBaudRate = kAlicatBaudRate;
        LookForRepliesWithoutPausing(worker->MFC->aPort);
        worker->MFC->LocalNow = LocalNowDays;
        worker->Name = worker->ThreadID = device.COMPort;
        device.ThreadMFC = worker;
        DevicesLocal() = {device};
        worker->start();
    }
    void AddPump() {
        sim::SimPumpConfig config;
        config.InitSeconds = 0.2;
        instrument_ = std::make_unique<sim::SimulatedInstrument>(std::make_unique<sim::SimulatedPump>(config),
                                                                 sim::SimInstrumentOptions{});
        TDeviceInfo device = NewFoundDevice(instrument_->PortName(), dtPump, "12345678");
        device.NameRole = "Humidifier";
        device.FluidID = 1001;
        auto pump = std::make_unique<TPSD4>();
        pump->COM = std::make_unique<TSerialPort>();
        pump->COM->fPort = instrument_->DevicePath();
        LookForRepliesWithoutPausing(*pump->COM);
        pump->pState = ps_Connected;
        clock_.SetAdvanceOnSleep(true);  // the initialisation's wait runs through at once
        pump->Initialize("ZN1R");
        EXPECT_TRUE(pump->WaitUntilFree(15));
        clock_.SetAdvanceOnSleep(false);
        auto* worker = new TPSD4Thread;
        worker->Name = device.NameRole;
        worker->Pump = std::move(pump);
        device.ThreadPump = worker;
        DevicesLocal() = {device};
        worker->start();
    }

    TDeviceInfo& Device() { return DevicesLocal()[0]; }
    std::string Port() { return Device().COMPort; }
    double InstrumentSetpointCounts() {
        double counts = -1;
        instrument_->WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    }
    void SetLag(double seconds) {
        instrument_->WithModel(
            [&](sim::InstrumentModel& model) { static_cast<sim::SimulatedMfc&>(model).SetLagSeconds(seconds); });
    }
    // One simulated second: the clock moves on, the worker brings a reading taken after the
    // setpoint of the last tick reached the instrument (a pump: finishes a pass and pauses),
    // and the engine ticks.
    void Second() {
        clock_.Advance(1s);
        if (TMFCThread* worker = Device().ThreadMFC) {
            const std::uint64_t target = worker->GUIIn.StatusSequence + 2;
            ASSERT_TRUE(test::ServeUntil([&] { return worker->GUIIn.StatusSequence >= target; }));
        } else {
            TPSD4Thread* pump = Device().ThreadPump;
            const std::uint64_t target = pump->GUIIn.PassSequence + 1;
            ASSERT_TRUE(test::ServeUntil([&] { return pump->GUIIn.PassSequence >= target && clock_.Sleepers() > 0; }));
        }
        engine_->TimerEngineTimer();
    }
    void Seconds(int count) {
        for (int i = 0; i < count && !HasFatalFailure(); ++i) Second();
    }
    // The instrument has received the setpoint the engine handed last.
    bool InstrumentGetsHanded() {
        const double wanted = std::round(Device().ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct * 640);
        return test::ServeUntil([&] { return InstrumentSetpointCounts() == wanted; });
    }
    void Start(const std::string& program) {
        Device().SegmentProgram = program;
        engine_->ButtonSegmentProgramStartClick({Port()});
    }

    TFakeClock clock_;
    TScopedClock scopedClock_{clock_};
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<sim::SimulatedInstrument> instrument_;
    std::unique_ptr<TEngine> engine_;
};

TEST_F(ProgramControlEndToEndTest, ControllerHeldForTwoMinutesKeepsItsSetpointAndEndsTwoMinutesLate) {
    AddController(kFollowsAtOnce_s);
    Start("1 60 Ramp");
    Seconds(30);
    engine_->HoldPrograms({Port()});
    for (int second = 0; second < 120 && !HasFatalFailure(); ++second) {
        Second();
        // 30 % of 64000 counts: what the ramp had when it was held, at the instrument.
        ASSERT_EQ(InstrumentSetpointCounts(), 19200) << second;
    }
    engine_->ResumePrograms({Port()});
    Seconds(30);  // 180 s after the start: the last point
    ASSERT_TRUE(InstrumentGetsHanded());
    EXPECT_EQ(InstrumentSetpointCounts(), 60 * 640);
    EXPECT_FALSE(Device().Run.Ended);
    Second();
    EXPECT_TRUE(Device().Run.Ended);
    ASSERT_TRUE(InstrumentGetsHanded());
    EXPECT_EQ(InstrumentSetpointCounts(), 0);
}

TEST_F(ProgramControlEndToEndTest, RepeatThreeOfAOneMinuteProgramThenEachEndChoice) {
    AddController(kFollowsAtOnce_s);
    for (const auto end : {TSegProgTermination::tspttZero, TSegProgTermination::tspttKeep}) {
        const bool keep = end == TSegProgTermination::tspttKeep;
        SCOPED_TRACE(keep ? "keep" : "zero");
        Device().ProgramRepeat = 3;
        Device().SegmentProgramTermination = end;
        // Every cycle ramps from 0 % to 40 % in half a minute and holds it.
        Start("0.5 40 Ramp\r\n1 40 Step");
        std::vector<double> received;
        for (int second = 1; second <= 200 && !HasFatalFailure(); ++second) {
            Second();
            const bool inACycle = second <= 180 && second % 30 == 15;
            if (!inACycle && second != 190) continue;
            ASSERT_TRUE(InstrumentGetsHanded()) << second;
            received.push_back(InstrumentSetpointCounts() / 640);
        }
        // At 15 s of each cycle, then after the third.
        EXPECT_EQ(received, (std::vector<double>{20, 40, 20, 40, 20, 40, keep ? 40.0 : 0.0}));
        EXPECT_EQ(DeviceStateText(Device()), "Ended");
        engine_->ButtonSegmentProgramStopClick({Port()});
    }
}

TEST_F(ProgramControlEndToEndTest, LaggingControllerHoldsTheProgramBackThenOneAlarmIsRaisedAndClearedOnce) {
    AddController(kNeverFollows_s);
    Device().HoldbackBand_pct = 2;
    Device().LongestHold_s = 60;
    Start("0 50 Step\r\n5 50 Step");
    Seconds(10);
    EXPECT_EQ(DeviceStateText(Device()), "Holdback");
    EXPECT_LT(Device().ProgramTime_min(), 3.0 / 60);
    Seconds(60);
    // The program went on after the longest hold, with an alarm.
    EXPECT_EQ(DeviceStateText(Device()), "Deviation");
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_TRUE(window_.Notices[0].starts_with("Alarm: Nitrogen achieved ")) << window_.Notices[0];
    Seconds(20);
    EXPECT_EQ(window_.Notices.size(), 1u);

    SetLag(kFollowsAtOnce_s);  // the flow catches up
    Seconds(5);
    EXPECT_EQ(DeviceStateText(Device()), "Segment");
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.starts_with("Alarm cleared: Nitrogen"); }),
              1);
    EXPECT_EQ(window_.Notices.size(), 1u);
}

TEST_F(ProgramControlEndToEndTest, DeviationAlarmOfADirectSetpointIsRaisedOnceAndClearedOnce) {
    AddController(kNeverFollows_s);
    Device().AlarmBand_pct = 5;
    Device().AlarmDelay_s = 30;
    Device().Setpoint_gui = 40;
    engine_->ButtonApplyFlowClick({Port()});
    Seconds(25);
    EXPECT_TRUE(window_.Notices.empty());
    Seconds(20);
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_TRUE(window_.Notices[0].starts_with("Alarm: Nitrogen achieved ")) << window_.Notices[0];
    EXPECT_EQ(InstrumentSetpointCounts(), 40 * 640);  // the flow is not stopped

    SetLag(kFollowsAtOnce_s);
    Seconds(5);
    EXPECT_EQ(DeviceStateText(Device()), "Direct");
    Seconds(40);
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.starts_with("Alarm cleared: Nitrogen"); }),
              1);
    EXPECT_EQ(window_.Notices.size(), 1u);
}

TEST_F(ProgramControlEndToEndTest, PumpHeldForTwoMinutesKeepsItsProgramAndEndsTwoMinutesLate) {
    AddPump();
    Device().SyringeSizeµL = 12.5;
    Device().MaxFlow_µlpm = 312.5;
    Start("1 100 Ramp");
    Seconds(40);  // planned for 0.75 min: 75 %
    ASSERT_EQ(Device().ThreadPump->GUIOut.Setpoint, 0.75);
    Seconds(2);  // the worker sends it
    engine_->HoldPrograms({Port()});
    instrument_->ClearReceived();
    Seconds(120);
    for (const std::string& command : instrument_->Received()) EXPECT_EQ(command, "/1Q");
    EXPECT_EQ(Device().ThreadPump->GUIIn.Setpoint, 0.75);

    engine_->ResumePrograms({Port()});
    Seconds(17);  // program time 0.98 min
    EXPECT_EQ(Device().ThreadPump->GUIOut.Setpoint, 0.75);
    Second();  // 1 min: past the program
    EXPECT_EQ(Device().ThreadPump->GUIOut.Setpoint, 0);
    Seconds(2);
    EXPECT_EQ(Device().ThreadPump->GUIIn.Setpoint, 0);
    const std::vector<std::string> received = instrument_->Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "/1TR"), received.end());
}

}  // namespace
}  // namespace tessaro
