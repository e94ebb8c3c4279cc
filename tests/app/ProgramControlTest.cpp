// Program control in the engine on a fake clock with fake workers (records the test fills as
// the workers' exchanges would): the end choice, hold and resume, repeat, holdback and the
// deviation alarm.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/ChartLegend.h"
#include "engine/Engine.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;

long Count(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

long CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
}

class ProgramControlTest : public ::testing::Test {
protected:
    ProgramControlTest() : scopedClock_(clock_), driver_(clock_) {
        DevicesLocal() = {NewFoundDevice("COM5", dtMFCA, "1")};
        TDeviceInfo& device = Device();
        device.NameRole = "Nitrogen";
        device.ThreadMFC = new TMFCThread;
        device.FlowUnitUser = FlowUnitGrams().Clone();
        device.Led = &led_;
        TEngineSettings settings;
        settings.DataFolder = std::filesystem::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~ProgramControlTest() override {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    TDeviceInfo& Device() { return DevicesLocal()[0]; }
    TMFCThread& Worker() { return *Device().ThreadMFC; }
    double Handed() { return Worker().GUIOut.DeviceStatus.Setpoint_pct; }
    std::string State() { return DeviceStateText(Device()); }
    // One second: the controller reports `percent` of its 25 g/min (by default what it was
    // handed), the engine ticks, the clock moves on.
    void Second(std::optional<double> percent = std::nullopt) {
        ++Worker().GUIIn.StatusSequence;
        Worker().GUIIn.DeviceStatus.FlowRate_mass = percent.value_or(Handed()) * 640;
        Worker().GUIIn.DeviceStatus.MaxFlowgpm = 25;
        engine_->TimerEngineTimer();
        clock_.Advance(1s);
    }
    void Seconds(int count, std::optional<double> percent = std::nullopt) {
        for (int i = 0; i < count; ++i) Second(percent);
    }
    void Start(const std::string& program) {
        Device().SegmentProgram = program;
        engine_->ButtonSegmentProgramStartClick({"COM5"});
    }

    TFakeClock clock_;
    TScopedClock scopedClock_;
    test::ClockDriver driver_;
    QTemporaryDir folder_;
    QObject led_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
};

// The tick reads a program again only when its text changed: every way a program is
// changed while it runs reaches the next tick's setpoint.
TEST_F(ProgramControlTest, EveryWayOfChangingARunningProgramReachesTheNextTick) {
    const std::string twenty = "0 20 Step\r\n600 20 Step";
    const std::filesystem::path file = std::filesystem::path(folder_.path().toStdString()) / "seventy.txt";
    std::ofstream(file) << "0 70 Step\r\n600 70 Step\r\n";
    struct TWriter {
        const char* Name;
        std::function<void()> Change;
    };
    const std::vector<TWriter> writers{
        {"Add / Apply Segment",
         [&] {
             engine_->ApplySegment("COM5", {{"0", "20", "Step"}, {"600", "20", "Step"}}, {0, 70, "Step", ""}, 0);
         }},
        {"Delete segment",
         [&] {
             engine_->DeleteSegment("COM5", {{"0", "20", "Step"}, {"0", "70", "Step"}, {"600", "70", "Step"}}, 0);
         }},
        {"a program file",
         [&] { engine_->LoadSegmentProgram("COM5", [&](const TFileDialogRequest&) { return file; }); }},
        {"a run file", [&] { engine_->LoadRunProgram("COM5", "0 70 Step\r\n600 70 Step", {}); }},
        {"Mixtures' Add", [&] { engine_->AddMixSegments("COM5 70", true, 0, ""); }},
        {"a record stored whole",
         [&] {
             TDeviceInfo copy = Device();
             copy.SegmentProgram = "0 70 Step\r\n600 70 Step";
             StoreDevice(copy);
         }},
        {"the record's text set", [&] { Device().SegmentProgram = "0 70 Step\r\n600 70 Step"; }},
    };
    Start(twenty);
    for (const TWriter& writer : writers) {
        SCOPED_TRACE(writer.Name);
        Device().SegmentProgram = twenty;
        Seconds(2);
        ASSERT_EQ(Handed(), 20);
        writer.Change();
        ASSERT_EQ(Device().ControlMode, dcmSegment);
        Second();
        EXPECT_EQ(Handed(), 70);
    }
}

TEST_F(ProgramControlTest, NewDevicesGoToZeroAfterTheLastPointAndKeepIsTheirOtherChoice) {
    EXPECT_EQ(Device().SegmentProgramTermination, TSegProgTermination::tspttZero);
    EXPECT_EQ(DemoDevices()[0].SegmentProgramTermination, TSegProgTermination::tspttZero);
    for (const auto end : {TSegProgTermination::tspttZero, TSegProgTermination::tspttKeep}) {
        const bool keep = end == TSegProgTermination::tspttKeep;
        SCOPED_TRACE(keep ? "keep" : "zero");
        window_.Log.clear();
        window_.RowsShown.clear();
        Device().SegmentProgramTermination = end;
        Start("0.5 40 Step");
        Seconds(31);
        // A Step point at its own time still gives the previous setpoint; the program ends
        // just after it.
        EXPECT_EQ(Handed(), 0);
        EXPECT_EQ(State(), "Segment");
        Second();
        EXPECT_EQ(Handed(), keep ? 40 : 0);
        EXPECT_EQ(State(), "Ended");
        Seconds(120);
        EXPECT_EQ(Handed(), keep ? 40 : 0);
        EXPECT_EQ(*PlannedSetpoint_pct(Device()), keep ? 40 : 0);
        // Told once, when the program passed its end.
        const std::string told = keep ? "; MFC-A on COM5 keeps 40 %" : "; MFC-A on COM5 goes to 0 %";
        const std::vector<std::string> log = window_.LogTexts();
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [&](const std::string& line) {
                                    return line.starts_with("Segment program of Nitrogen ended at ") &&
                                           line.ends_with(told);
                                }),
                  1);
        if (!keep) {
            EXPECT_EQ(Count(log, "Segment program of Nitrogen ended at 12:00:31" + told), 1);
        }
        EXPECT_EQ(window_.RowsShown, std::vector<std::string>{"Ended"});
    }
}

TEST_F(ProgramControlTest, AHeldProgramKeepsItsSetpointAndEndsAsMuchLater) {
    // Ramps to 100 % in 10 minutes, then keeps it.
    Device().SegmentProgramTermination = TSegProgTermination::tspttKeep;
    Start("10 100 Ramp");
    Seconds(300);  // 5 minutes
    engine_->HoldPrograms({"COM5"});
    EXPECT_EQ(State(), "Hold");
    Seconds(120);
    EXPECT_DOUBLE_EQ(Handed(), 50);
    // The planned curve holds 50 % for the hold's length and moves the rest later.
    const std::vector<TPlannedPoint> curve = engine_->PlannedCurve(Device());
    ASSERT_EQ(curve.size(), 5u);
    EXPECT_DOUBLE_EQ(curve[2].Time_min, 7);
    EXPECT_DOUBLE_EQ(curve[2].Setpoint_pct, 50);
    EXPECT_DOUBLE_EQ(curve[3].Time_min, 12);

    engine_->ResumePrograms({"COM5"});
    EXPECT_EQ(State(), "Segment");
    // Program time 10 min, the last point, comes 12 minutes after the start.
    Seconds(300);
    EXPECT_LT(Handed(), 100);
    Second();
    EXPECT_EQ(Handed(), 100);
    EXPECT_FALSE(Device().Run.Ended);
    EXPECT_EQ(clock_.LocalNow().time(), QTime(12, 12, 1));
    Second();
    EXPECT_TRUE(Device().Run.Ended);

    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(Count(log, "Hold program of Nitrogen at 12:05:00, program time 5 min"), 1);
    EXPECT_EQ(Count(log, "Resume program of Nitrogen at 12:07:00, program time 5 min, after a hold of 120 s"), 1);
}

TEST_F(ProgramControlTest, HoldAndResumeOfADeviceWithoutAProgramDoNothingAndStopEndsAHold) {
    engine_->HoldAllPrograms();
    engine_->ResumeAllPrograms();
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(Count(log, "Hold: Nitrogen runs no segment program; nothing held"), 1);
    EXPECT_EQ(Count(log, "Resume: the program of Nitrogen is not held; nothing resumed"), 1);
    EXPECT_EQ(Device().Run.Pause, TProgramPause::None);

    Start("10 100 Ramp");
    Seconds(60);
    engine_->HoldPrograms({"COM5"});
    engine_->ButtonSegmentProgramStopClick({"COM5"});
    EXPECT_EQ(Device().Run.Pause, TProgramPause::None);
    EXPECT_EQ(State(), "Ready");
    engine_->ResumePrograms({"COM5"});
    EXPECT_EQ(CountStartingWith(window_.LogTexts(), "Resume program of"), 0);
}

TEST_F(ProgramControlTest, RepeatRunsEveryCycleFromItsTimeZeroAndShowsTheCycle) {
    Device().ProgramRepeat = 3;
    Start("0.5 40 Ramp\r\n1 40 Step");  // ramps from 0 % at the start of every cycle
    std::vector<double> handed;
    std::vector<std::string> states;
    for (int second = 0; second < 200; ++second) {
        Second();
        if (second % 15 == 0) {
            handed.push_back(Handed());
            states.push_back(State());
        }
    }
    // Every 15 s; at 3 min the last cycle's Step point still gives its previous setpoint.
    const std::vector<double> expected = {0, 20, 40, 40, 0, 20, 40, 40, 0, 20, 40, 40, 40, 0};
    EXPECT_EQ(handed, expected);
    EXPECT_EQ(states[1], "Segment 1/3");
    EXPECT_EQ(states[5], "Segment 2/3");
    EXPECT_EQ(states[9], "Segment 3/3");
    EXPECT_EQ(states.back(), "Ended");
    EXPECT_EQ(window_.RowsShown, (std::vector<std::string>{"Segment 2/3", "Segment 3/3", "Ended"}));
}

TEST_F(ProgramControlTest, HoldbackWaitsForALaggingFlowThenGivesUpWithOneAlarmClearedOnce) {
    TDeviceInfo& device = Device();
    device.HoldbackBand_pct = 2;
    device.LongestHold_s = 60;
    device.AlarmBand_pct = 0;
    Start("0 50 Step\r\n1 50 Step");
    Seconds(2, 0);  // the readings follow the 0 % handed before the start
    EXPECT_EQ(Handed(), 50);
    Seconds(30, 10);  // the flow lags far behind from 2 s on
    EXPECT_EQ(State(), "Holdback");
    EXPECT_NEAR(device.ProgramTime_min(), 2.0 / 60, 1e-9);
    Seconds(31, 10);
    EXPECT_EQ(State(), "Holdback");
    EXPECT_TRUE(window_.Notices.empty());
    Second(10);
    // Past the longest hold the program goes on, with an alarm.
    EXPECT_EQ(State(), "Deviation");
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_EQ(window_.Notices[0], "Alarm: Nitrogen achieved 2.5 g/min, planned 12.5 g/min since 12:00:02");
    Seconds(30, 10);
    EXPECT_EQ(window_.Notices.size(), 1u);
    // 94 s after the start, of which 61 s were held back.
    EXPECT_NEAR(device.ProgramTime_min(), 33.0 / 60, 1e-9);

    Seconds(3, 49);  // back inside the band
    EXPECT_EQ(State(), "Segment");
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(CountStartingWith(log, "Alarm: Nitrogen"), 1);
    EXPECT_EQ(Count(log, "Alarm cleared: Nitrogen achieved 12.25 g/min, planned 12.5 g/min"), 1);
    EXPECT_EQ(window_.LedFaults, (std::vector<std::pair<QObject*, bool>>{{&led_, true}, {&led_, false}}));
}

TEST_F(ProgramControlTest, DeviationAlarmIsRaisedAfterItsDelayOncePerEpisodeAndNeverStopsTheFlow) {
    Device().Setpoint_gui = 40;
    engine_->ButtonApplyFlowClick({"COM5"});
    Second(0);
    Seconds(30, 30);  // 10 % off for 30 s: not yet longer than the delay
    EXPECT_TRUE(window_.Notices.empty());
    Seconds(5, 30);
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_EQ(window_.Notices[0], "Alarm: Nitrogen achieved 7.5 g/min, planned 10 g/min since 12:00:01");
    EXPECT_EQ(Handed(), 40);
    EXPECT_EQ(Device().ControlMode, dcmDirect);
    Seconds(2, 38);   // inside the 5 % band
    Seconds(40, 30);  // a second episode
    EXPECT_EQ(window_.Notices.size(), 2u);
    EXPECT_EQ(CountStartingWith(window_.LogTexts(), "Alarm cleared: Nitrogen"), 1);
    // Demo devices report no flow: their alarm starts switched off.
    EXPECT_EQ(DemoDevices()[0].AlarmBand_pct, 0);
}

TEST_F(ProgramControlTest, AHeldPumpKeepsItsProgramAndItsTimeWaits) {
    TDeviceInfo& pump = Device();
    delete pump.ThreadMFC;
    pump.ThreadMFC = nullptr;
    pump.DevType = dtPump;
    pump.ThreadPump = new TPSD4Thread;
    pump.MaxFlow_µlpm = 312.5;
    Start("1 100 Ramp");
    clock_.Advance(42s);  // 0.7 min: planned for 0.75 min, 75 %
    engine_->HoldPrograms({"COM5"});
    clock_.Advance(10min);
    engine_->TimerEngineTimer();
    EXPECT_EQ(pump.ThreadPump->GUIOut.Setpoint, 0.75);
    const std::string command = pump.ThreadPump->GUIOut.Command;
    engine_->ResumePrograms({"COM5"});
    clock_.Advance(17s);  // 0.98 min of program time
    engine_->TimerEngineTimer();
    EXPECT_EQ(pump.ThreadPump->GUIOut.Command, command);
    clock_.Advance(2s);  // 1.02 min: past the end, 0 %
    engine_->TimerEngineTimer();
    EXPECT_EQ(pump.ThreadPump->GUIOut.Setpoint, 0);
}

TEST_F(ProgramControlTest, ProgramOptionsAreTakenWithinTheirBoundsAndShown) {
    TProgramOptions options;
    options.TerminationItem = 1;
    options.Repeat = 20000;
    options.HoldbackBand_pct = -3;
    options.AlarmDelay_s = 12;
    EXPECT_TRUE(engine_->SetProgramOptions("COM5", options));
    EXPECT_EQ(Device().SegmentProgramTermination, TSegProgTermination::tspttKeep);
    EXPECT_EQ(Device().ProgramRepeat, 10000);
    EXPECT_EQ(Device().HoldbackBand_pct, 0);
    EXPECT_EQ(Device().AlarmDelay_s, 12);
    EXPECT_EQ(window_.Shown, std::vector<std::string>{"COM5"});
    EXPECT_FALSE(engine_->SetProgramOptions(std::nullopt, options));
    EXPECT_FALSE(engine_->SetProgramOptions("COM9", options));
}

}  // namespace
}  // namespace tessaro
