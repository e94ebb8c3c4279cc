// The run engine with a fake clock and fake workers: worker objects that are never started,
// whose window-side records the test fills and reads as the workers' exchanges would.

#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/AppendedFile.h"
#include "engine/AtomicFile.h"
#include "engine/AutoLogFile.h"
#include "engine/ChartLegend.h"
#include "engine/Clock.h"
#include "engine/DataTableText.h"
#include "engine/DeviceSetup.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Speeds.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/DataCsv.h"
#include "text/NumberFormat.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Remembers whether it was abandoned when it was freed.
class ObservedMFCThread : public TMFCThread {
public:
    explicit ObservedMFCThread(bool* abandoned) : abandoned_(abandoned) {}
    ~ObservedMFCThread() override { *abandoned_ = Abandon; }

private:
    bool* abandoned_;
};

// Stands in for the exchanges of the given workers while the window thread serves events:
// each worker confirms its stop once it has been asked to.
class ConfirmingWorkers {
public:
    explicit ConfirmingWorkers(std::vector<TMFCThread*> controllers, std::vector<TPSD4Thread*> pumps = {}) {
        QObject::connect(&timer_, &QTimer::timeout, [controllers, pumps] {
            for (TMFCThread* worker : controllers) worker->GUIIn.IsTerminated = worker->GUIOut.ToTerminate;
            for (TPSD4Thread* worker : pumps) worker->GUIIn.IsTerminated = worker->GUIOut.ToTerminate;
        });
        timer_.start(0);
    }

private:
    QTimer timer_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest() : scopedClock_(clock_), driver_(clock_) {
        DevicesLocal() = DemoDevices();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        // Blocks of a few lines: every table here is mostly kept compressed, so its files
        // and exports show that the compressed lines give back what the plain ones were.
        settings.TableBlockLines = 3;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~EngineTest() override {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    TDeviceInfo& Device(std::size_t index) { return DevicesLocal()[index]; }

    // A configured flow controller whose achieved flow reads in g/min.
    TMFCThread& ConfigureController(std::size_t index, TMFCThread* worker = nullptr) {
        TDeviceInfo& device = Device(index);
        device.ThreadMFC = worker != nullptr ? worker : new TMFCThread;
        device.FlowUnitUser = FlowUnitGrams().Clone();
        device.Led = Led(index);
        return *device.ThreadMFC;
    }
    TPSD4Thread& ConfigurePump(std::size_t index) {
        TDeviceInfo& device = Device(index);
        device.DevType = dtPump;
        device.ThreadPump = new TPSD4Thread;
        device.Led = Led(index);
        return *device.ThreadPump;
    }
    QObject* Led(std::size_t index) {
        while (leds_.size() <= index) leds_.push_back(std::make_unique<QObject>());
        return leds_[index].get();
    }
    // The worker hands over a new status reading: `percent` of a full scale of `max_gpm`.
    static void Report(TMFCThread& worker, double percent, double max_gpm = 25) {
        ++worker.GUIIn.StatusSequence;
        worker.GUIIn.DeviceStatus.FlowRate_mass = percent * 640;
        worker.GUIIn.DeviceStatus.MaxFlowgpm = max_gpm;
    }
    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            engine_->TimerEngineTimer();
            clock_.Advance(1s);
        }
    }
    fs::path LogsFolder() const { return fs::path(folder_.path().toStdString()) / "Logs"; }
    // Everything in the log folder, sorted.
    std::vector<fs::path> FolderFiles() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(LogsFolder())) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    // The fixed-width log files (the session's CSV file and temporary files lie beside them).
    std::vector<fs::path> LogFiles() const {
        std::vector<fs::path> files = FolderFiles();
        std::erase_if(files, [](const fs::path& file) {
            return file.extension() == ".csv" || file.filename().string().find(".tmp-") != std::string::npos;
        });
        return files;
    }
    std::vector<std::string> DataLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : engine_->DataTable().All())
            if (line.starts_with(" ")) lines.push_back(line);
        return lines;
    }

    TFakeClock clock_;
    TScopedClock scopedClock_;
    test::ClockDriver driver_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::vector<std::unique_ptr<QObject>> leds_;
    std::unique_ptr<TEngine> engine_;
};

// --- The tick -------------------------------------------------------------------------------

TEST_F(EngineTest, WithoutConfiguredDevicesEveryLoggingTickWritesQuestionMarksAfterOneHeaderBlock) {
    Tick(10);

    const std::vector<std::string>& table = engine_->DataTable().All();
    ASSERT_GE(table.size(), 5u + 3u);
    const std::vector<std::string> header(table.begin(), table.begin() + 5);
    EXPECT_EQ(header, DataTableHeaderBlock(DevicesLocal()));
    EXPECT_EQ(table[2], "-               Unit |       Undefined |       Undefined | ");
    EXPECT_EQ(table[5], " 2024-01-01 12:00:00 |               ? |               ? | ");
    // Only the first line is preceded by a header; a line every third tick.
    EXPECT_EQ(DataLines().size(), table.size() - 5);
    EXPECT_EQ(DataLines().size(), 4u);
    EXPECT_EQ(table.back(), " 2024-01-01 12:00:09 |               ? |               ? | ");
    EXPECT_EQ(window_.TableLines, table);
    EXPECT_FALSE(engine_->DataHeaderPending);
}

TEST_F(EngineTest, TwoDevicesGiveTwoCellsOfFifteenCharacters) {
    TMFCThread& first = ConfigureController(0);
    Device(0).ControlMode = dcmDirect;
    Report(first, 50);

    Tick();

    const std::string line = DataLines().at(0);
    EXPECT_EQ(line, " 2024-01-01 12:00:00 |            12.5 |               ? | ");
    EXPECT_EQ(line.size(), 23u + 2 * 18u);
    EXPECT_EQ(Device(0).FlowUnitUser.GasFlowValue, 12.5);
}

// The tick's sleeps (10 ms per handled device) may carry the clock into the next second; the
// line is stamped with the second the tick began in.
TEST_F(EngineTest, DataLineIsStampedWithTheTimeTheTickBegan) {
    TEngineSettings settings = engine_->Settings();
    settings.Sleeps = true;
    TEngine sleeping(window_, settings);
    Report(ConfigureController(0), 50);
    Report(ConfigureController(1), 50);
    clock_.Advance(995ms);

    sleeping.TimerEngineTimer();

    ASSERT_FALSE(sleeping.DataTable().All().empty());
    EXPECT_EQ(sleeping.DataTable().All().back().substr(0, 23), " 2024-01-01 12:00:00 | ");
}

TEST(DataCellTest, FormatsReadingsWithOneToSixDecimalsAndQuestionMarksBelowTheFloor) {
    struct Case {
        double Value;
        char Separator;
        std::string Cell;
    };
    for (const Case& c : {Case{12.5, '.', "12.5"}, Case{3, '.', "3.0"}, Case{0.1234567, '.', "0.123457"},
                          Case{0.1234567, ',', "0,123457"}, Case{-10000, '.', "?"}, Case{NoReading, '.', "?"},
                          Case{-9999, '.', "-9999.0"}}) {
        std::string line;
        AppendDataCell(line, c.Value, c.Separator);
        EXPECT_EQ(line, std::string(15 - c.Cell.size(), ' ') + c.Cell + " | ") << c.Value;
    }
}

TEST_F(EngineTest, HeaderShowsTheLastFifteenCharactersOfLongUnitNames) {
    ConfigureController(0);
    Device(0).FlowUnitUser.Name = "millilitres per minute";
    Device(0).FlowUnitUser.GasName = "N2";
    const std::vector<std::string> block = DataTableHeaderBlock(DevicesLocal());
    EXPECT_EQ(block[0], "---------------------+-----------------+-----------------+-");
    EXPECT_EQ(block[1], "-             Device |             MFC |             MFC | ");
    EXPECT_EQ(block[2], "-               Unit | tres per minute |       Undefined | ");
    EXPECT_EQ(block[3], "-                Gas |              N2 |       Undefined | ");
    EXPECT_EQ(block[4], block[0]);
}

TEST_F(EngineTest, ControllerGetsItsSetpointByModeOncePerNewStatus) {
    TMFCThread& worker = ConfigureController(0);
    Device(0).FluidID = 8;
    // Eleven minutes into the first demo program, which holds 100 % from 10 to 12 min.
    Device(0).ControlMode = dcmSegment;
    Device(0).MarkFlowStart();
    clock_.Advance(11min);
    Report(worker, 40);
    Tick();
    EXPECT_EQ(worker.GUIOut.DeviceStatus.Setpoint_pct, 100);
    EXPECT_EQ(worker.GUIOut.DeviceStatus.GasID, 8);
    // The device's LED is lit while its status is handled.
    using LedSwitch = std::pair<QObject*, bool>;
    EXPECT_EQ(window_.LedStates, (std::vector<LedSwitch>{{Led(0), true}, {Led(0), false}}));

    // No new status: no new setpoint, no point, a "?" cell; the gas is written all the same.
    worker.GUIOut.DeviceStatus.Setpoint_pct = -1;
    worker.GUIOut.DeviceStatus.GasID = -1;
    const std::size_t points = window_.Points.size();
    Tick(4);
    EXPECT_EQ(worker.GUIOut.DeviceStatus.Setpoint_pct, -1);
    EXPECT_EQ(worker.GUIOut.DeviceStatus.GasID, 8);
    EXPECT_EQ(window_.Points.size(), points);
    EXPECT_EQ(DataLines().back().substr(23, 18), "              ? | ");

    // A new status with the same wall-clock stamp (the clock was set back) is new all the
    // same; in direct mode the direct setpoint goes out.
    Device(0).ControlMode = dcmDirect;
    Device(0).Setpoint_pct = 35;
    Report(worker, 40);
    Tick();
    EXPECT_EQ(worker.GUIOut.DeviceStatus.Setpoint_pct, 35);

    // Idle: nothing is written, nothing plotted, but the reading is still recorded.
    Device(0).ControlMode = dcmIdle;
    worker.GUIOut.DeviceStatus.Setpoint_pct = -1;
    Report(worker, 40);
    Tick();
    EXPECT_EQ(worker.GUIOut.DeviceStatus.Setpoint_pct, -1);
    EXPECT_EQ(Device(0).FlowUnitUser.GasFlowValue, 10);
}

TEST_F(EngineTest, AFailingTickIsToldOnceWithoutWaitingForAnyoneAndTheTicksGoOn) {
    TEngineTimer timer(*engine_);
    window_.FailingTicks = 3;
    for (int i = 0; i < 6; ++i) {
        timer.Tick();
        clock_.Advance(1s);
    }
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_EQ(window_.Notices, std::vector<std::string>{"Engine tick failed: LED gone"});
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Engine tick failed: LED gone"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Engine ticks run again"), 1);
    EXPECT_EQ(window_.ActivityLedOn, 3);
    EXPECT_FALSE(DataLines().empty());
}

// The worker counts its failed passes in a row; the engine shows the third one as "No reply"
// (row state, red LED, one log line naming the device and when the silence began) and the
// next good pass as the device answering again.
TEST_F(EngineTest, InstrumentThatStopsAnsweringIsShownOncePerStreakAndHealsWhenItAnswers) {
    TMFCThread& controller = ConfigureController(0);
    TPSD4Thread& pump = ConfigurePump(1);
    Device(0).NameRole = "Carrier";
    Device(1).NameRole = "Humidifier";
    struct Watched {
        std::size_t Index;
        std::uint32_t* FailedPasses;
        std::string Label;
    };
    const Watched watched[] = {
        {0, &controller.GUIIn.FailedPasses, "Carrier (MFC on COMX)"},
        {1, &pump.GUIIn.FailedPasses, "Humidifier (Pump on COMY)"},
    };
    const auto linesWith = [&](const std::string& part) {
        const std::vector<std::string> log = window_.LogTexts();
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != l.npos; });
    };
    for (const Watched& w : watched) {
        SCOPED_TRACE(w.Label);
        window_.LedFaults.clear();
        window_.RowsShown.clear();
        for (int streak = 1; streak <= 2; ++streak) {
            *w.FailedPasses = 1;
            const TLocalDateTime began = ToLocalDateTime(LocalNow());
            char since[16];
            std::snprintf(since, sizeof since, "%02d:%02d:%02d", began.Hour, began.Minute, began.Second);
            Tick(2);
            *w.FailedPasses = 2;
            Tick();
            EXPECT_FALSE(Device(w.Index).NoReply);
            EXPECT_TRUE(window_.LedFaults.empty());
            *w.FailedPasses = 3;
            Tick();
            EXPECT_TRUE(Device(w.Index).NoReply);  // at the third failed pass, not a later one
            for (std::uint32_t failed : {4u, 9u}) {
                *w.FailedPasses = failed;
                Tick();
            }
            EXPECT_EQ(ShownDeviceListRow(Device(w.Index))[1], "No reply");
            EXPECT_EQ(linesWith(w.Label + ": no reply since " + since), 1);
            EXPECT_EQ(linesWith(w.Label + ": no reply since"), streak);
            EXPECT_EQ(window_.LedFaults, (std::vector<std::pair<QObject*, bool>>{{Led(w.Index), true}}));
            EXPECT_EQ(window_.RowsShown, std::vector<std::string>{"No reply"});

            *w.FailedPasses = 0;
            Tick(2);
            EXPECT_EQ(ShownDeviceListRow(Device(w.Index))[1], "Direct");  // its mode again
            EXPECT_EQ(linesWith(w.Label + " answers again"), streak);
            EXPECT_EQ(window_.LedFaults,
                      (std::vector<std::pair<QObject*, bool>>{{Led(w.Index), true}, {Led(w.Index), false}}));
            EXPECT_EQ(window_.RowsShown, (std::vector<std::string>{"No reply", "Direct"}));
            window_.LedFaults.clear();
            window_.RowsShown.clear();
        }
    }
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EngineTest, TerminatedWorkerIsNotHandled) {
    TMFCThread& worker = ConfigureController(0);
    Device(0).ControlMode = dcmDirect;
    Device(0).Setpoint_pct = 20;
    Report(worker, 40);
    worker.GUIIn.IsTerminated = true;
    Tick();
    EXPECT_EQ(worker.GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(Device(0).LastHandledSequence, 0u);
}

TEST_F(EngineTest, PumpInAProgramIsPlannedForTheMiddleOfTheCurrentHalfMinute) {
    TPSD4Thread& worker = ConfigurePump(0);
    TDeviceInfo& pump = Device(0);
    pump.MaxFlow_µlpm = 312.5;
    pump.SegmentProgram = "0 0 Step\r\n1 100 Ramp";
    pump.ControlMode = dcmSegment;
    pump.MarkFlowStart();
    clock_.Advance(42s);  // 0.7 min
    worker.GUIIn.Setpoint = 0.5;

    engine_->TimerEngineTimer();

    TPumpSpeedDetails expected{};
    expected.Init();
    expected.DesiredDispense_µgpm = 234375;
    PlanPumpSpeed(expected);
    EXPECT_EQ(worker.GUIOut.Command, expected.Command);
    EXPECT_EQ(worker.GUIOut.Setpoint, 0.75);
    const std::vector<std::string> log = window_.LogTexts();
    const std::vector<std::string> planned = {" Pump segment program",
                                              "     Elapsed time, m : 0.7",
                                              "       Floor time, m : 0.5",
                                              "Floor time+offset, m : 0.75",
                                              "  Device max flow, µL: 312.5",
                                              "         Setpoint, % : 75",
                                              " Desired dispense, µg: 234375",
                                              " Achieveddispense, µg: " + FormatGeneral(expected.AchievedDispense_µgpm),
                                              "              Command: " + expected.Command};
    EXPECT_EQ(log, planned);
    // The curve shows what the worker applied; the pump's own cell stays "?".
    ASSERT_EQ(window_.Points.size(), 1u);
    EXPECT_EQ(window_.Points[0].Y, 50);
    EXPECT_EQ(DataLines().at(0).substr(23, 18), "              ? | ");
}

TEST_F(EngineTest, PumpIsPlannedWithItsOwnSyringe) {
    TPSD4Thread& worker = ConfigurePump(0);
    TDeviceInfo& pump = Device(0);
    pump.SyringeSizeµL = 50;
    pump.MaxFlow_µlpm = 1250;
    pump.ControlMode = dcmDirect;
    pump.Setpoint_pct = 10;

    engine_->TimerEngineTimer();

    TPumpSpeedDetails expected{};
    expected.Init();
    expected.SyringeVolume_µl = 50;
    expected.DesiredDispense_µgpm = 125000;
    PlanPumpSpeed(expected);
    EXPECT_EQ(worker.GUIOut.Command, expected.Command);
    EXPECT_EQ(worker.GUIOut.Setpoint, 0.1);
}

// --- Run control ----------------------------------------------------------------------------

class RunControlTest : public EngineTest {
protected:
    RunControlTest() {
        DevicesLocal().push_back(NewFoundDevice("COM3", dtPump, "77"));
        Device(0).NameRole = "Controller";
        Device(1).NameRole = "Unconfigured";
        Device(2).NameRole = "Humidifier";
        controller_ = &ConfigureController(0);
        pump_ = &ConfigurePump(2);
    }
    const std::vector<std::string> selected_{"COMX", "COMY", "COM3"};
    TMFCThread* controller_;
    TPSD4Thread* pump_;
};

TEST_F(RunControlTest, StopAllFlowsWhileApplySetpointsBoxIsOpenKeepsTheRemainingDevicesIdle) {
    Device(0).Setpoint_gui = 12.5;
    Device(2).Setpoint_gui = 40;
    // The box about the unconfigured row is open when the operator presses F12.
    const MessageSink previous = SetMessageSink([this](const std::string&) { engine_->StopAllFlows(); });
    engine_->ButtonApplyFlowClick({"COMY", "COMX", "COM3"});
    SetMessageSink(previous);

    EXPECT_EQ(Device(0).ControlMode, dcmIdle);
    EXPECT_EQ(Device(0).Setpoint_pct, 0);
    EXPECT_EQ(Device(2).ControlMode, dcmIdle);
    EXPECT_EQ(window_.LogTexts().back(), "Apply setpoint ended by Stop all flows; the remaining devices stay idle");
}

TEST_F(RunControlTest, StartStopAndApplyOverThreeRowsOfWhichOneIsUnconfigured) {
    clock_.Advance(5s);
    engine_->ButtonSegmentProgramStartClick(selected_);
    EXPECT_EQ(window_.LogTexts(), (std::vector<std::string>{"Start segment program for Controller",
                                                            "Start segment program for Humidifier"}));
    EXPECT_EQ(Device(0).ControlMode, dcmSegment);
    EXPECT_EQ(Device(1).ControlMode, dcmDirect);  // the demo device's mode, untouched
    EXPECT_EQ(Device(2).ControlMode, dcmSegment);
    EXPECT_EQ(Device(0).Elapsed_min(), 0);
    EXPECT_EQ(window_.Shown, (std::vector<std::string>{"COMX", "COM3"}));
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_EQ(engine_->GraphMinutes(MonotonicNow() + 90s), 1.5);

    window_.Log.clear();
    Device(0).Setpoint_pct = 30;
    controller_->GUIOut.DeviceStatus.Setpoint_pct = 30;
    pump_->GUIOut.Command = "gIV6000A24000OV6A0GR";
    pump_->GUIOut.Setpoint = 0.3;
    engine_->ButtonSegmentProgramStopClick(selected_);
    EXPECT_EQ(window_.LogTexts(), (std::vector<std::string>{"Stop device Controller", "Stop device Humidifier"}));
    EXPECT_EQ(Device(0).ControlMode, dcmIdle);
    EXPECT_EQ(Device(0).Setpoint_pct, 0);
    EXPECT_EQ(controller_->GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(pump_->GUIOut.Command, "TR");
    EXPECT_EQ(pump_->GUIOut.Setpoint, 0);
    EXPECT_EQ(Device(2).ControlMode, dcmIdle);

    window_.Log.clear();
    Device(0).Setpoint_gui = 12.5;
    Device(2).Setpoint_gui = 40;
    engine_->ButtonApplyFlowClick(selected_);
    EXPECT_EQ(window_.LogTexts(),
              (std::vector<std::string>{"Set device:Controller to flow:12.5 %", "Set device:Humidifier to flow:40 %",
                                        "Device:Humidifier flow(gui):40 %"}));
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{"Cannot apply to unconfigured device: Unconfigured"}));
    EXPECT_EQ(Device(0).ControlMode, dcmDirect);
    EXPECT_EQ(Device(0).Setpoint_pct, 12.5);
    EXPECT_EQ(Device(2).ControlMode, dcmDirect);

    // Start and stop each left a log file; apply did not.
    std::vector<std::string> names;
    for (const fs::path& file : LogFiles()) names.push_back(file.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"2024-01-01 12_00 log StartSegmentsClick.txt",
                                               "2024-01-01 12_00 log StopSegmentsClick.txt"}));
}

TEST_F(RunControlTest, StartWithoutSelectionOnlySavesAndStartsTheGraphClock) {
    engine_->ButtonSegmentProgramStartClick({});
    EXPECT_TRUE(window_.Log.empty());
    EXPECT_EQ(LogFiles().size(), 1u);
    clock_.Advance(30s);
    EXPECT_EQ(engine_->GraphMinutes(MonotonicNow()), 0.5);
}

TEST_F(RunControlTest, SetpointTypedIsKeptPerDeviceUntilApplied) {
    engine_->RtDoubleEditDirectControlDesiredFlowValueChanged("COMX", 40);
    engine_->RtDoubleEditDirectControlDesiredFlowValueChanged("COM3", 60);
    EXPECT_EQ(Device(0).Setpoint_pct, 0);

    engine_->ButtonApplyFlowClick(selected_);
    EXPECT_EQ(Device(0).Setpoint_pct, 40);
    EXPECT_EQ(Device(2).Setpoint_pct, 60);
}

TEST_F(RunControlTest, ApplyKeepsTheStartTimeOfADeviceAlreadyInDirectControl) {
    Device(0).ControlMode = dcmSegment;
    engine_->ButtonApplyFlowClick(selected_);
    const double startedAt = Device(0).FlowStartTime;
    clock_.Advance(2min);
    Device(0).Setpoint_gui = 70;

    engine_->ButtonApplyFlowClick(selected_);

    EXPECT_EQ(Device(0).FlowStartTime, startedAt);
    EXPECT_EQ(Device(0).Elapsed_min(), 2);
    EXPECT_EQ(Device(0).Setpoint_pct, 70);
}

// --- Stop all flows -------------------------------------------------------------------------

TEST_F(RunControlTest, StopAllFlowsIdlesEveryDeviceAtOnceAndNamesTheOneThatNeverConfirms) {
    // Two controllers of the same name, as the two demo devices are: the port tells them apart.
    TMFCThread& silent = ConfigureController(1);
    Device(1).NameRole = "Controller";
    Device(0).ControlMode = dcmSegment;
    for (std::size_t index : {1u, 2u}) {
        Device(index).ControlMode = dcmDirect;
        Device(index).Setpoint_pct = 40;
    }
    controller_->GUIIn.DeviceStatus.SetpointFromDevice = 12800;
    silent.GUIIn.DeviceStatus.SetpointFromDevice = 25600;
    pump_->GUIOut.Command = "gIV6000A24000OV6A0GR";
    pump_->GUIIn.Setpoint = 0.4;

    engine_->StopAllFlows();  // nothing selected
    for (std::size_t index : {0u, 1u, 2u}) {
        EXPECT_EQ(Device(index).ControlMode, dcmIdle) << index;
        EXPECT_EQ(Device(index).Setpoint_pct, 0) << index;
    }
    EXPECT_EQ(controller_->GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(silent.GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(pump_->GUIOut.Command, "TR");
    EXPECT_EQ(window_.RowsShown.size(), 3u);
    EXPECT_EQ(window_.LogTexts(),
              (std::vector<std::string>{
                  "Stop all flows: idle at 0 % asked of Controller COMX, Controller COMY, Humidifier COM3"}));

    // Reports from before the request confirm nothing: an old status, a pump that has not
    // passed since (even when its record already reads 0).
    window_.Log.clear();
    pump_->GUIIn.Setpoint = 0;
    Tick();
    EXPECT_TRUE(window_.Log.empty());

    // The first report after the request may come from an exchange begun before it (here a
    // reading of 0 from before the program): it confirms nothing.
    const auto reportStopped = [&] {
        Report(*controller_, 0);
        controller_->GUIIn.DeviceStatus.SetpointFromDevice = 0;
        Report(silent, 40);
        ++pump_->GUIIn.PassSequence;
        Tick();
    };
    reportStopped();
    EXPECT_TRUE(window_.Log.empty());

    // The next reading shows setpoint 0 and the pump passes again; the silent controller still
    // reads its old setpoint.
    reportStopped();
    EXPECT_EQ(window_.LogTexts(), (std::vector<std::string>{"Stop all flows: Controller COMX confirmed the stop",
                                                            "Stop all flows: Humidifier COM3 confirmed the stop"}));
    Tick(2);
    EXPECT_TRUE(window_.Notices.empty());

    Tick();  // five seconds after the request
    const std::string named =
        "Stop all flows: no confirmation of the stop from Controller COMY within 5 s. Check these devices; in case of "
        "emergency, cut their power.";
    EXPECT_EQ(window_.Notices, (std::vector<std::string>{named}));
    EXPECT_TRUE(Contains(window_.LogTexts(), named));
    Tick(10);
    EXPECT_EQ(window_.Notices.size(), 1u);
}

// --- Shutdown -------------------------------------------------------------------------------

TEST_F(EngineTest, ShutdownStopsAControllerAndAPumpAndFreesTheLaterEntryFirst) {
    TMFCThread& controller = ConfigureController(0);
    TPSD4Thread& pump = ConfigurePump(1);
    Device(0).SegmentProgram = "1 10 Step";
    ConfirmingWorkers exchanges({&controller}, {&pump});

    EXPECT_TRUE(engine_->TerminateThreads());

    EXPECT_EQ(window_.FreedLeds, (std::vector<QObject*>{Led(1), Led(0)}));
    EXPECT_EQ(Device(0).ThreadMFC, nullptr);
    EXPECT_EQ(Device(1).ThreadPump, nullptr);
    EXPECT_EQ(Device(0).Led, nullptr);
    EXPECT_EQ(Device(0).FluidID, 0);
    EXPECT_EQ(Device(0).SegmentProgram, "");
    EXPECT_EQ(window_.LogTexts(),
              (std::vector<std::string>{"DevicesLocal size: 2", "Active threads: 2", "Mark threads to stop",
                                        "Waiting for threads to stop. Active threads: 0/2", "Active threads: 0",
                                        "Terminate threads", "All threads terminated, marking devices unconfigured"}));
    EXPECT_EQ(window_.RowStates, (std::vector<std::string>{"Unknown"}));
    EXPECT_EQ(window_.Shown, (std::vector<std::string>{"COMY", "COMX"}));
    EXPECT_EQ(window_.Events, (std::vector<std::string>{std::string("Begin ") + kShutdownCaption + "|" + kEmergencyText,
                                                        "End", "ClearGraph data"}));
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(EngineTest, CloseWithoutConfiguredDevicesWaitsNotAndWritesTheCloseFile) {
    const auto before = MonotonicNow();
    engine_->FormClose();
    EXPECT_EQ(MonotonicNow(), before);
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Active threads: 0"), 2);
    ASSERT_EQ(LogFiles().size(), 1u);
    EXPECT_EQ(LogFiles()[0].filename(), "2024-01-01 12_00 log OnClose.txt");
    EXPECT_EQ(ReadFile(LogFiles()[0]), "");
}

TEST_F(EngineTest, ShutdownWithADeadInstrumentEndsAfterTheBoundAndTellsTheOperator) {
    bool abandoned = false;
    TMFCThread& silent = ConfigureController(0, new ObservedMFCThread(&abandoned));
    Device(0).NameRole = "Oxygen";
    ConfirmingWorkers exchanges({&ConfigureController(1)});
    bool abandonedBeforeTold = false;
    window_.OnNotice = [&] { abandonedBeforeTold = silent.Abandon; };
    const auto before = MonotonicNow();

    engine_->TerminateThreads();

    const auto waited = MonotonicNow() - before;
    EXPECT_GE(waited, engine_->Settings().ShutdownBound);
    EXPECT_LT(waited, engine_->Settings().ShutdownBound + 1s);
    EXPECT_TRUE(abandoned);
    EXPECT_EQ(Device(0).ThreadMFC, nullptr);
    // Nothing waits for a click: the notice names the device, after it was abandoned.
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_EQ(window_.Notices, (std::vector<std::string>{std::string(kEmergencyText) +
                                                         "\nDevices that did not confirm their stop: Oxygen (COMX)"}));
    EXPECT_TRUE(abandonedBeforeTold);
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_TRUE(Contains(log, "Device did not confirm its stop: Oxygen (COMX)"));
    EXPECT_FALSE(Contains(log, "Device did not confirm its stop: Virtual Demo (COMY)"));
    EXPECT_TRUE(Contains(log, "Waiting for threads to stop. Active threads: 1/2"));
    EXPECT_TRUE(Contains(log, "All threads terminated, marking devices unconfigured"));
}

// --- Recording ------------------------------------------------------------------------------

TEST_F(EngineTest, TwoForcedSavesInOneMinuteLeaveOneFileWithTheLaterTable) {
    Tick();
    engine_->FlowDataSave(true, "StartSegmentsClick");
    Tick(3);
    engine_->FlowDataSave(true, "StartSegmentsClick");

    const std::vector<fs::path> files = LogFiles();
    std::vector<std::string> started;
    for (const fs::path& file : files)
        if (file.filename().string().ends_with("StartSegmentsClick.txt")) started.push_back(file.string());
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(ReadFile(started[0]), Joined(engine_->DataTable().All()));
}

TEST_F(EngineTest, AutoFilesReplaceTheirPredecessorWithoutLosingALine) {
    Tick(30);
    engine_->FlowDataSave(true, "StopSegmentsClick");
    Tick(5 * 60);

    std::vector<fs::path> autoFiles;
    std::vector<fs::path> others;
    for (const fs::path& file : LogFiles())
        (file.filename().string().ends_with(" log auto.txt") ? autoFiles : others).push_back(file);
    ASSERT_EQ(autoFiles.size(), 1u);
    EXPECT_EQ(others.size(), 1u);
    // The last save came at most a minute ago; everything before it is in the file.
    const std::string saved = ReadFile(autoFiles[0]);
    const std::string table = Joined(engine_->DataTable().All());
    EXPECT_TRUE(table.starts_with(saved));
    EXPECT_GT(saved.size(), table.size() - 25 * 60);

    // A new table (device search) starts its own series and keeps the old table's file.
    engine_->FlowDataSave(true, "SearchDevicesClick");
    engine_->ClearDataTable();
    EXPECT_TRUE(engine_->DataHeaderPending);
    Tick(2 * 60);
    std::size_t autoCount = 0;
    for (const fs::path& file : LogFiles()) autoCount += file.filename().string().ends_with(" log auto.txt");
    EXPECT_EQ(autoCount, 2u);
    EXPECT_TRUE(fs::exists(autoFiles[0]));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = true;
#elif defined(__has_feature)
constexpr bool kOwnAllocator = __has_feature(address_sanitizer);
#else
constexpr bool kOwnAllocator = false;
#endif

// The process's resident bytes, from /proc; 0 where it cannot be read.
std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    if (!(statm >> size >> resident)) return 0;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Heap blocks freed between blocks still in use: the C library keeps their pages resident.
class HeapHoles {
public:
    static constexpr std::size_t kBlock = 64 * 1024;  // below the size malloc maps on its own
    static constexpr int kHoles = 640;
    static constexpr std::size_t kBytes = kBlock * kHoles;  // 40 MiB
    HeapHoles() {
        holes_.reserve(kHoles);
        kept_.reserve(kHoles);
        for (int i = 0; i < kHoles; ++i) {
            holes_.push_back(std::malloc(kBlock));
            std::memset(holes_.back(), 1, kBlock);
            kept_.push_back(std::malloc(64));
        }
        for (void* hole : holes_) std::free(hole);
    }
    ~HeapHoles() {
        for (void* block : kept_) std::free(block);
    }
    HeapHoles(const HeapHoles&) = delete;
    HeapHoles& operator=(const HeapHoles&) = delete;

private:
    std::vector<void*> holes_;
    std::vector<void*> kept_;
};

TEST_F(EngineTest, TheMinutesSaveGivesTheHeapPagesFreedMeanwhileBackToTheSystem) {
    if (kOwnAllocator) GTEST_SKIP() << "the sanitizer's allocator keeps its own free memory";
    Tick();
    const std::size_t before = ResidentBytes();
    const HeapHoles holes;
    const std::size_t held = ResidentBytes();
    if (before == 0) GTEST_SKIP() << "no resident size on this system";
    ASSERT_GT(held, before + HeapHoles::kBytes * 3 / 4);

    Tick(61);  // one periodic save of the "auto" file

    EXPECT_LT(ResidentBytes(), held - HeapHoles::kBytes * 3 / 4);
}

// What the log folder holds when every save writes the whole table to its file and an
// "auto" save removes the previous "auto" file of the same table: the files the engine
// leaves must be these, byte for byte.
class WholeTableLogFolder {
public:
    void Saved(const std::string& name, const std::vector<std::string>& table, bool periodic) {
        files_[name] = Joined(table);
        if (!periodic) return;
        if (previousAuto_ && *previousAuto_ != name) files_.erase(*previousAuto_);
        previousAuto_ = name;
    }
    void TableCleared() { previousAuto_.reset(); }
    const std::map<std::string, std::string>& Files() const { return files_; }

private:
    std::map<std::string, std::string> files_;
    std::optional<std::string> previousAuto_;
};

TEST_F(EngineTest, LogFilesHoldWhatWholeTableWritesWouldAcrossHeadersClearsAndClose) {
    TMFCThread& controller = ConfigureController(0);
    Device(0).ControlMode = dcmDirect;
    WholeTableLogFolder expected;
    const auto fileName = [](const std::string& suffix) { return LogFileName(ToLocalDateTime(LocalNow()), suffix); };
    const auto actual = [&] {
        std::map<std::string, std::string> files;
        for (const fs::path& file : LogFiles()) files[file.filename().string()] = ReadFile(file);
        return files;
    };
    int reading = 0;
    std::string lastAutoName;
    QDateTime lastAutoTime;
    int sameNameSaves = 0;
    const auto run = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) {
            Report(controller, (reading++ % 97) + 0.125);
            const auto before = engine_->LastLogSaveTime();
            engine_->TimerEngineTimer();
            if (engine_->LastLogSaveTime() != before) {
                sameNameSaves += fileName("auto") == lastAutoName;
                lastAutoName = fileName("auto");
                lastAutoTime = LocalNow();
                expected.Saved(lastAutoName, window_.TableLines, true);
                ASSERT_EQ(actual(), expected.Files()) << "after the save at tick " << reading;
            }
            clock_.Advance(1s);
        }
    };
    const auto forced = [&](const std::string& suffix) {
        engine_->FlowDataSave(true, suffix);
        expected.Saved(fileName(suffix), window_.TableLines, false);
        ASSERT_EQ(actual(), expected.Files()) << suffix;
    };

    run(4 * 60);
    // A new header block in the middle (a device configured with another unit).
    ConfigureController(1);
    Device(1).ControlMode = dcmDirect;
    engine_->DataHeaderPending = true;
    run(3 * 60);
    forced("StopSegmentsClick");
    // The wall clock goes back so that the next periodic save (61 s after the last save)
    // falls in the minute of the last periodic one and takes its name.
    const auto untilNextSave = *engine_->LastLogSaveTime() + 61s - MonotonicNow();
    QDateTime minuteOfLastAuto = lastAutoTime;
    minuteOfLastAuto.setTime(QTime(lastAutoTime.time().hour(), lastAutoTime.time().minute()));
    clock_.SetLocalNow(minuteOfLastAuto.addMSecs(-untilNextSave.count()));
    run(2 * 60);
    EXPECT_EQ(sameNameSaves, 1);
    forced("SearchDevicesClick");
    engine_->ClearDataTable();
    expected.TableCleared();
    run(3 * 60);
    ASSERT_TRUE(engine_->SaveAtClose());
    expected.Saved(fileName("OnClose"), window_.TableLines, false);
    EXPECT_EQ(engine_->DataTable().All(), window_.TableLines);

    engine_.reset();
    EXPECT_EQ(actual(), expected.Files());
    // Two tables' last periodic files, the forced ones and the one at close, beside the
    // CSV files of the three sessions; no temporary file is left.
    EXPECT_EQ(expected.Files().size(), 5u);
    const std::vector<fs::path> left = FolderFiles();
    EXPECT_EQ(left.size(), 5u + 3u) << ::testing::PrintToString(left);
}

TEST_F(EngineTest, FailedWriteIsToldOnceAndTriedAgainAtEveryDueTick) {
    // A file where the folder should be: neither the folder nor a log file can be created.
    { std::ofstream(engine_->LogsFolder()) << "in the way"; }
    Tick(3);
    const std::vector<std::string> log = window_.LogTexts();
    const auto failures = std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.starts_with("Writing the log file failed: ");
    });
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(engine_->LastLogSaveTime().has_value());

    fs::remove(engine_->LogsFolder());
    Tick();
    EXPECT_TRUE(engine_->LastLogSaveTime().has_value());
    EXPECT_EQ(LogFiles().size(), 1u);
}

TEST_F(EngineTest, FailedSaveAtCloseIsAlwaysToldAndTheTableGoesToTheFirstFallbackThatTakesIt) {
    { std::ofstream(engine_->LogsFolder()) << "in the way"; }
    const fs::path root = fs::path(folder_.path().toStdString());
    { std::ofstream(root / "blocked") << "not a folder"; }
    engine_ = std::make_unique<TEngine>(window_, [&] {
        TEngineSettings settings = engine_->Settings();
        settings.FallbackFolders = {root / "blocked", root / "fallback"};
        return settings;
    }());
    Tick(3);  // the failure of the periodic save is told here already
    window_.Notices.clear();

    engine_->FormClose();

    ASSERT_EQ(window_.Notices.size(), 1u);
    const std::string& notice = window_.Notices[0];
    EXPECT_TRUE(notice.starts_with("Writing the log file failed: " + (engine_->LogsFolder() / "").string())) << notice;
    EXPECT_NE(notice.find("Writing it to " + (root / "blocked").string()), std::string::npos) << notice;
    const std::string expectedName = "2024-01-01 12_00 log OnClose.txt";
    EXPECT_TRUE(
        notice.ends_with("The data table was written to " + (root / "fallback" / expectedName).string() + " instead."))
        << notice;
    EXPECT_EQ(ReadFile(root / "fallback" / expectedName), Joined(engine_->DataTable().All()));
}

TEST(AtomicFile, AFullDiskIsNamedAsSuchAndLeavesNothingBehind) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    std::string error;
    EXPECT_FALSE(WriteAllBytes(full, "data table", error));
    EXPECT_EQ(error, "No space left on device");
    ::close(full);

    QTemporaryDir folder;
    const fs::path target = fs::path(folder.path().toStdString()) / "table.txt";
    { std::ofstream(target) << "previous"; }
    EXPECT_FALSE(WriteFileAtomically(
        target, [](const TByteWriter& write) { return write("new") && false; }, error));
    EXPECT_EQ(ReadFile(target), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(WriteFileAtomically(
        target, [](const TByteWriter& write) { return write("new"); }, error));
    EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(EngineTest, TimeUnitSetsFactorAndSymbolAndKeepsThemForUnknownWords) {
    struct Case {
        std::string Word;
        double Factor;
        std::string Symbol;
    };
    for (const Case& c :
         {Case{"HOUR", 60, "h"}, Case{"DAY", 1440, "d"}, Case{"week", 1440, "d"}, Case{"MINUTE", 1, "m"}}) {
        engine_->SetTimeUnit(c.Word);
        EXPECT_EQ(engine_->TimeFactor(), c.Factor) << c.Word;
        EXPECT_EQ(engine_->TimeUnitSymbol(), c.Symbol) << c.Word;
        EXPECT_EQ(window_.TimeUnits.back(), std::make_pair(c.Symbol, c.Factor)) << c.Word;
    }
    EXPECT_EQ(window_.TimeUnits.size(), 4u);
}

TEST_F(EngineTest, FormCreateMakesTheFoldersAndSaysWhere) {
    engine_->FormCreate();
    EXPECT_TRUE(fs::is_directory(engine_->LogsFolder()));
    EXPECT_TRUE(fs::is_directory(engine_->SegmentProgramsFolder()));
    EXPECT_EQ(window_.LogTexts(), (std::vector<std::string>{"Segment programs and log files are kept in " +
                                                            engine_->Settings().DataFolder.string()}));
    EXPECT_EQ(engine_->TimeUnitSymbol(), "m");
}

// Temporaries that a killed run left behind go at the next start; files that only look
// alike stay.
TEST_F(EngineTest, StartUpRemovesTheTemporariesOfLogFilesThatAKilledRunLeft) {
    const fs::path root = fs::path(folder_.path().toStdString());
    const fs::path fallback = root / "fallback";
    engine_ = std::make_unique<TEngine>(window_, [&] {
        TEngineSettings settings = engine_->Settings();
        settings.FallbackFolders = {fallback};
        return settings;
    }());
    fs::create_directories(engine_->LogsFolder());
    fs::create_directories(fallback);
    const auto make = [](const fs::path& file) { std::ofstream(file) << "part of a table"; };
    const std::vector<fs::path> stale = {engine_->LogsFolder() / "2024-01-01 11_59 log auto.txt.tmp-a1B2c3",
                                         engine_->LogsFolder() / "2024-01-01 11_59 data table.csv.tmp-Zz09Ab",
                                         fallback / "2024-01-01 11_58 log OnClose.txt.tmp-qwerty"};
    const std::vector<fs::path> kept = {
        engine_->LogsFolder() / "2024-01-01 11_59 log auto.txt", engine_->LogsFolder() / "notes.txt.tmp-backup",
        engine_->LogsFolder() / "2024-01-01 11_59 log auto.txt.tmp-abc12",
        engine_->LogsFolder() / "2024-01-01 11_59 log auto.txt.tmp-ab_123", fallback / "results.csv.tmp-abcdef"};
    for (const fs::path& file : stale) make(file);
    for (const fs::path& file : kept) make(file);
    fs::create_directories(engine_->LogsFolder() / "2024-01-01 11_57 log auto.txt.tmp-folder");

    engine_->FormCreate();

    for (const fs::path& file : stale) EXPECT_FALSE(fs::exists(file)) << file;
    for (const fs::path& file : kept) EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_TRUE(fs::is_directory(engine_->LogsFolder() / "2024-01-01 11_57 log auto.txt.tmp-folder"));
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_TRUE(Contains(
        log, "Removed 2 unfinished temporary file(s) of an earlier run from " + engine_->LogsFolder().string()));
    EXPECT_TRUE(Contains(log, "Removed 1 unfinished temporary file(s) of an earlier run from " + fallback.string()));

    // What a write leaves while it runs is such a temporary, and nothing once it has ended.
    std::string error;
    const fs::path target = engine_->LogsFolder() / "2024-01-01 12_00 log auto.txt";
    std::optional<std::string> seen;
    ASSERT_TRUE(WriteFileAtomically(
        target,
        [&](const TByteWriter& write) {
            for (const auto& entry : fs::directory_iterator(engine_->LogsFolder()))
                if (const auto name = entry.path().filename().string(); name.starts_with(target.filename().string()))
                    seen = name;
            return write("table");
        },
        error));
    ASSERT_TRUE(seen.has_value());
    const std::string targetName = target.filename().string();
    EXPECT_EQ(AtomicWriteTarget(*seen), std::optional<std::string_view>(targetName));
}

TEST_F(EngineTest, TheOnScreenLogGoesLineByLineToAFileBesideTheLogFiles) {
    engine_->MM("before start-up");
    window_.Log.clear();
    engine_->FormCreate();
    engine_->MM("a line");
    const fs::path file = engine_->ScreenLogFile();
    EXPECT_EQ(file, engine_->LogsFolder() / "2024-01-01 12_00 screen log.txt");
    std::string shown;
    for (const std::string& line : window_.Log) shown += line + "\n";
    EXPECT_EQ(ReadFile(file), shown);  // each line is on disk as soon as it is shown
}

TEST_F(EngineTest, TheLinesOfATickGoToTheScreenLogFileInOneWrite) {
    ConfigurePump(0);
    TDeviceInfo& pump = Device(0);
    pump.MaxFlow_µlpm = 312.5;
    pump.SegmentProgram = "0 0 Step\r\n1 100 Ramp";
    pump.ControlMode = dcmSegment;
    pump.MarkFlowStart();
    engine_->FormCreate();
    const std::uint64_t writesBefore = engine_->ScreenLogWrites();

    Tick(3);  // nine planning lines each

    EXPECT_EQ(engine_->ScreenLogWrites() - writesBefore, 3u);
    std::string shown;
    for (const std::string& line : window_.Log) shown += line + "\n";
    EXPECT_EQ(ReadFile(engine_->ScreenLogFile()), shown);
}

// Every screen log file of the folder, in name order, and what they hold one after the other.
std::vector<fs::path> ScreenLogFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().ends_with(" screen log.txt")) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(EngineTest, TheScreenLogBeginsANewFileEachDayNamedToSortInTurn) {
    engine_->FormCreate();
    engine_->MM("on the first day");
    clock_.Advance(11h + 59min);
    engine_->MM("late on the first day");
    clock_.Advance(2min);
    engine_->MM("on the second day");
    Tick();

    const std::vector<fs::path> files = ScreenLogFiles(LogsFolder());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1], engine_->ScreenLogFile());
    EXPECT_EQ(files[1].filename(), "2024-01-02 00_01 screen log.txt");
    EXPECT_TRUE(ReadFile(files[0]).ends_with(" late on the first day\n"));
    std::string shown;
    for (const std::string& line : window_.Log) shown += line + "\n";
    EXPECT_EQ(ReadFile(files[0]) + ReadFile(files[1]), shown);
}

TEST_F(EngineTest, AScreenLogFileThatReachedItsLimitGoesOnInANewOneFromTheNextMinute) {
    TEngineSettings settings = engine_->Settings();
    settings.ScreenLogFileLimit = 100;
    engine_ = std::make_unique<TEngine>(window_, settings);
    engine_->FormCreate();
    window_.Log.clear();
    const std::string longText(120, 'x');
    engine_->MM(longText);
    engine_->MM("same minute, same file");
    clock_.Advance(1min);
    engine_->MM("a new file");

    const std::vector<fs::path> files = ScreenLogFiles(LogsFolder());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(ReadFile(files[0]).ends_with(" same minute, same file\n"));
    EXPECT_EQ(ReadFile(files[1]), window_.Log.back() + "\n");
}

TEST_F(EngineTest, AFailingScreenLogFileIsToldOnceAndWrittenAgainWhenItCanBe) {
    // A folder in the file's place refuses every write.
    const fs::path blocked = engine_->LogsFolder() / "2024-01-01 12_00 screen log.txt";
    fs::create_directories(blocked);
    engine_->FormCreate();
    engine_->MM("one");
    engine_->MM("two");
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Writing the screen log file failed: " + blocked.string() + ": Is a directory"),
              1);

    fs::remove(blocked);
    engine_->MM("three");
    EXPECT_TRUE(ReadFile(blocked).ends_with(" three\n"));
}

TEST_F(EngineTest, AScreenLogLineCutShortByAFullDiskIsCutOffAndToldWithTheReason) {
    engine_->FormCreate();
    engine_->MM("one");
    const std::string written = ReadFile(engine_->ScreenLogFile());

    rlimit unlimited{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit full = unlimited;
    full.rlim_cur = written.size() + 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    engine_->MM("a line longer than the room left on the disk");
    engine_->MM("another line that finds no room");
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(ReadFile(engine_->ScreenLogFile()), written);

    engine_->MM("two");
    EXPECT_EQ(ReadFile(engine_->ScreenLogFile()), written + window_.Log.back() + "\n");
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_EQ(
        std::count(log.begin(), log.end(),
                   "Writing the screen log file failed: " + engine_->ScreenLogFile().string() + ": File too large"),
        1);
}

// --- The CSV file of a log session and the export --------------------------------------------

// Two flow controllers, the first named with a comma, and a pump, with the operator's decimal
// comma: the CSV keeps its dots.
class CsvRecordingTest : public EngineTest {
protected:
    CsvRecordingTest() {
        TEngineSettings settings = engine_->Settings();
        settings.DecimalSeparator = ',';
        // Each line compressed at once: the export reads every number back from a block.
        settings.TableBlockLines = 1;
        engine_ = std::make_unique<TEngine>(window_, settings);
        DevicesLocal().push_back(NewFoundDevice("COM3", dtPump, "77"));
        Device(0).NameRole = "Carrier, dry";
        Device(1).NameRole = "B";
        Device(2).NameRole = "Pump";
        first_ = &ConfigureController(0);
        second_ = &ConfigureController(1);
        // The molar volume's mass: the full scales of 50 and 500 ml/min read 0.05 and 0.5 g/min.
        for (std::size_t i = 0; i < 2; ++i) Device(i).FlowUnitUser.GasMolarMass = 24.4654;
        pump_ = &ConfigurePump(2);
        Device(2).FlowUnitUser = FlowUnitMicrolitres();
        Device(2).MaxFlow_µlpm = 312.5;
        for (std::size_t i = 0; i < 3; ++i) Device(i).ControlMode = dcmDirect;
        Device(0).Setpoint_pct = 35;
        Device(1).Setpoint_pct = 20;
        Device(2).Setpoint_pct = 40;
        engine_->ButtonSegmentProgramStartClick({});  // the graph's clock starts
    }
    // "2024-01-01T12:00:0<second>" and the local offset from UTC.
    static std::string Stamp(int second) {
        return IsoLocalTimestamp({2024, 1, 1, 12, 0, second, 0}, LocalNow().offsetFromUtc());
    }
    static std::string Header() {
        return "time,elapsed min,\"Carrier, dry COMX planned %\",\"Carrier, dry COMX planned g/min\","
               "\"Carrier, dry COMX achieved g/min\",B COMY planned %,B COMY planned g/min,B COMY achieved g/min,"
               "Pump COM3 planned %,Pump COM3 planned µl/min,Pump COM3 achieved µl/min\r\n";
    }
    fs::path Exported(const std::string& name) const { return fs::path(folder_.path().toStdString()) / name; }

    TMFCThread* first_;
    TMFCThread* second_;
    TPSD4Thread* pump_;
};

TEST(DataCsvColumnsTest, ADeviceWithoutANameIsNamedByItsPortAloneAndWithoutAUnitUntilConfigured) {
    TDeviceInfo device;
    device.COMPort = "COM7 ";
    EXPECT_EQ(DataCsvColumnNames(DataCsvDeviceColumns({device})),
              (std::vector<std::string>{"time", "elapsed min", "COM7 planned %", "COM7 planned", "COM7 achieved"}));
}

TEST_F(CsvRecordingTest, EachDataLineIsOnDiskAsARowOnceItIsMadeAndTheExportWritesTheSame) {
    Report(*first_, 50);
    Report(*second_, 40);
    pump_->GUIIn.Setpoint = 0.4;  // the pump took its program: 40 % of 312.5 µl/min
    Tick();
    const fs::path file = engine_->DataCsvFile();
    EXPECT_EQ(file, engine_->LogsFolder() / "2024-01-01 12_00 data.csv");
    // Planned flows in the unit: 35 % of 0.05 g/min, 20 % of 0.5 g/min, 40 % of 312.5 µl/min.
    const std::string firstRow = Stamp(0) + ",0.0,35.0,0.0175,12.5,20.0,0.1,10.0,40.0,125.0,125.0\r\n";
    EXPECT_EQ(ReadFile(file), Header() + firstRow);
    EXPECT_EQ(DataLines().at(0),
              " 2024-01-01 12:00:00 |            12,5 |            10,0 | "
              "              ? | ");

    // Only the first controller reports again: the second has no reading in the next line.
    Tick(2);
    Report(*first_, 60);
    Tick();
    const std::string secondRow = Stamp(3) + ",0.05,35.0,0.0175,15.0,20.0,0.1,,40.0,125.0,125.0\r\n";
    EXPECT_EQ(ReadFile(file), Header() + firstRow + secondRow);

    std::string error;
    EXPECT_TRUE(engine_->ExportDataTableCsv(Exported("table.csv"), error));
    EXPECT_EQ(ReadFile(Exported("table.csv")), ReadFile(file));
    EXPECT_EQ(window_.LogTexts().back(), "The data table was exported to " + Exported("table.csv").string());
}

TEST_F(CsvRecordingTest, ALongRunOfOddValuesExportsWhatItsFileHolds) {
    const double odd[] = {0, 1e-7, 0.1234565, 99.99999949, 100, 1e9, -0.0, -5, 37.5};
    for (int i = 0; i < 40; ++i) {
        Report(*first_, odd[i % 9]);
        if (i % 4 != 0) Report(*second_, odd[(i + 3) % 9]);
        pump_->GUIIn.Setpoint = odd[(i + 5) % 9] / 100;
        Tick(3);
    }
    std::string error;
    ASSERT_TRUE(engine_->ExportDataTableCsv(Exported("long.csv"), error));
    const std::string file = ReadFile(engine_->DataCsvFile());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 41);
    EXPECT_EQ(ReadFile(Exported("long.csv")), file);
    EXPECT_EQ(engine_->DataTable().All(), window_.TableLines);
}

TEST_F(CsvRecordingTest, NewColumnsBeginAFileOfTheirOwnAndTheExportHoldsTheColumnsOfBoth) {
    Report(*first_, 50);
    Tick(3);
    const fs::path firstFile = engine_->DataCsvFile();

    // The second controller never reported: its worker still has the setpoint 0. The pump has
    // not taken its program: it doses nothing.
    // It now shows ml/min: a new header, a new session, a new file.
    Device(1).FlowUnitUser.Name = "ml/min";
    engine_->DataHeaderPending = true;
    Report(*first_, 50);
    Tick();
    EXPECT_EQ(engine_->DataCsvFile(), engine_->LogsFolder() / "2024-01-01 12_00 data 2.csv");
    const std::string newHeader =
        "time,elapsed min,\"Carrier, dry COMX planned %\",\"Carrier, dry COMX planned g/min\",\"Carrier, dry "
        "COMX achieved g/min\",B COMY planned %,B COMY planned ml/min,B COMY achieved ml/min,Pump COM3 planned "
        "%,Pump COM3 planned µl/min,Pump COM3 achieved µl/min\r\n";
    const std::string newRow = Stamp(3) + ",0.05,35.0,0.0175,12.5,0.0,0.0,,40.0,125.0,0.0\r\n";
    EXPECT_EQ(ReadFile(engine_->DataCsvFile()), newHeader + newRow);
    EXPECT_EQ(ReadFile(firstFile), Header() + Stamp(0) + ",0.0,35.0,0.0175,12.5,0.0,0.0,,40.0,125.0,0.0\r\n");

    std::string error;
    ASSERT_TRUE(engine_->ExportDataTableCsv(Exported("both.csv"), error));
    EXPECT_EQ(ReadFile(Exported("both.csv")), Header().substr(0, Header().size() - 2) +
                                                  ",B COMY planned ml/min,B COMY achieved ml/min\r\n" +               //
                                                  Stamp(0) + ",0.0,35.0,0.0175,12.5,0.0,0.0,,40.0,125.0,0.0,,\r\n" +  //
                                                  Stamp(3) + ",0.05,35.0,0.0175,12.5,0.0,,,40.0,125.0,0.0,0.0,\r\n");

    // A cleared table exports its header alone; the next line begins a new file.
    engine_->ClearDataTable();
    ASSERT_TRUE(engine_->ExportDataTableCsv(Exported("cleared.csv"), error));
    EXPECT_EQ(ReadFile(Exported("cleared.csv")), "time,elapsed min\r\n");
    Tick(3);
    EXPECT_EQ(engine_->DataCsvFile(), engine_->LogsFolder() / "2024-01-01 12_00 data 3.csv");
}

TEST_F(CsvRecordingTest, FailedWritesAreToldOnceUntilOneSucceedsAndNeverStopTheTick) {
    // A file where the log folder should be refuses the CSV file.
    fs::remove_all(engine_->LogsFolder());
    { std::ofstream(engine_->LogsFolder()) << "in the way"; }
    const auto failures = [&] {
        const std::vector<std::string> log = window_.LogTexts();
        return std::count_if(log.begin(), log.end(),
                             [](const std::string& line) { return line.starts_with("Writing the CSV file failed: "); });
    };
    Tick(7);
    EXPECT_EQ(failures(), 1);
    EXPECT_EQ(DataLines().size(), 3u);
    EXPECT_TRUE(window_.LogTexts().front().ends_with(engine_->DataCsvFile().string() + ": Not a directory"))
        << window_.LogTexts().front();

    // The folder comes back: the next line goes to the file, after the header.
    fs::remove(engine_->LogsFolder());
    Tick(3);
    EXPECT_EQ(ReadFile(engine_->DataCsvFile()), Header() + Stamp(9) + ",0.15,0.0,0.0,,0.0,0.0,,40.0,125.0,0.0\r\n");

    // The disk fills up in the middle of a row: the row's first bytes are cut off again, so
    // the next row begins on a line of its own.
    const std::string written = ReadFile(engine_->DataCsvFile());
    rlimit unlimited{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit full = unlimited;
    full.rlim_cur = written.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    Tick(3);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(failures(), 2);
    EXPECT_EQ(ReadFile(engine_->DataCsvFile()), written);
    Tick(3);
    EXPECT_EQ(ReadFile(engine_->DataCsvFile()), written + Stamp(15) + ",0.25,0.0,0.0,,0.0,0.0,,40.0,125.0,0.0\r\n");
    EXPECT_EQ(failures(), 2);

    // The export names the system's reason too.
    const fs::path blocked = Exported("in the way");
    { std::ofstream(blocked) << "a file"; }
    std::string error;
    EXPECT_FALSE(engine_->ExportDataTableCsv(blocked / "table.csv", error));
    EXPECT_EQ(error, "Not a directory");
    EXPECT_EQ(window_.LogTexts().back(),
              "Exporting the data table failed: " + (blocked / "table.csv").string() + ": Not a directory");
}

// Rows appended by a writer that is killed keep every row written before the kill, whole:
// once while it waits between two rows, once while it writes as fast as it can.
TEST(AppendedFileTest, AKilledWriterLeavesEveryWrittenRowWholeAndAtMostTheLastOneCut) {
    QTemporaryDir folder;
    const fs::path path = fs::path(folder.path().toStdString()) / "Logs" / "rows.csv";
    const std::string header = "time,value\r\n";
    std::vector<std::string> rows;
    std::string expected = header;
    for (int i = 0; i < 200000; ++i) {
        rows.push_back("2024-01-01T12:00:00+00:00," + std::to_string(i) + ".0\r\n");
        expected += rows.back();
    }
    // The child appends rows[first, last), tells the parent through `ready` after `signalAfter`
    // of them, and waits to be killed.
    const auto killWriter = [&](TAppendedFile& file, std::size_t first, std::size_t last, std::size_t signalAfter) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            std::string error;
            for (std::size_t i = first; i < last; ++i) {
                if (!file.Append(rows[i], error)) ::_exit(1);
                if (i + 1 - first == signalAfter) (void)!::write(ready[1], "x", 1);
            }
            for (;;) ::pause();
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        ::close(ready[0]);
        ::close(ready[1]);
    };

    {
        TAppendedFile file(path, header);
        killWriter(file, 0, 3, 3);
    }
    std::string written = ReadFile(path);
    EXPECT_EQ(written, header + rows[0] + rows[1] + rows[2]);

    // A new writer of the same file adds no second header.
    TAppendedFile again(path, header);
    killWriter(again, 3, rows.size(), 1000);
    written = ReadFile(path);
    EXPECT_GE(written.size(), header.size() + 1003 * rows[0].size());
    EXPECT_LT(written.size(), expected.size());
    EXPECT_EQ(written, expected.substr(0, written.size()));
}

// Table lines of varying width, the same for every caller.
std::string TableLine(std::size_t i) {
    return " 2024-01-01 12:00:00 | " + std::string(i % 17, ' ') + std::to_string(i * 7919 % 100003) + " | ";
}

std::vector<std::string> TableLines(std::size_t count) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) lines.push_back(TableLine(i));
    return lines;
}

std::string AutoFileName(std::size_t save) {
    return "2024-01-01 " + std::to_string(10 + save / 60) + "_" + std::to_string(10 + save % 60 / 2) + " log auto.txt";
}

TEST(PackedRecordsTest, GivesBackEveryRecordFromAnyIndexWhateverItsBytesAndTheBlockSize) {
    std::vector<std::string> records{"", "a", std::string("nul\0inside", 10), "line\r\nbreak", std::string(70000, 'x')};
    for (int i = 0; i < 40; ++i)
        records.push_back(" 2024-01-01 12:00:" + std::to_string(i) + " |     " + std::to_string(i * 7));
    for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{256}}) {
        SCOPED_TRACE(block);
        TPackedRecords packed(block);
        for (const std::string& record : records) packed.Append(record);
        ASSERT_EQ(packed.Size(), records.size());
        EXPECT_EQ(packed.All(), records);
        for (std::size_t first = 0; first <= records.size(); ++first) {
            std::vector<std::string> from;
            EXPECT_TRUE(packed.ForEachFrom(first, [&](std::string_view record) {
                from.emplace_back(record);
                return true;
            }));
            ASSERT_EQ(from,
                      std::vector<std::string>(records.begin() + static_cast<std::ptrdiff_t>(first), records.end()));
        }
        EXPECT_EQ(packed.Back(), records.back());
        // A visitor that stops is not called again.
        int visited = 0;
        EXPECT_FALSE(packed.ForEach([&](std::string_view) { return ++visited < 4; }));
        EXPECT_EQ(visited, 4);
        packed.Clear();
        EXPECT_TRUE(packed.Empty());
        EXPECT_TRUE(packed.All().empty());
        packed.Append("again");
        EXPECT_EQ(packed.All(), std::vector<std::string>{"again"});
    }
}

TEST(PackedRecordsTest, FixedWidthLinesTakeAFractionOfTheirBytes) {
    TPackedRecords packed;
    std::uint64_t plain = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string line =
            " 2024-01-01 12:" + std::to_string(10 + i / 60 % 50) + ":" + std::to_string(10 + i % 50) + " | ";
        for (int device = 0; device < 6; ++device)
            line += "       " + std::to_string(12.5 + (i * (device + 3)) % 17 * 0.125) + " | ";
        plain += line.size();
        packed.Append(line);
    }
    EXPECT_EQ(packed.RecordBytes(), plain);
    EXPECT_LT(packed.MemoryBytes(), plain / 4);
}

TEST(AutoLogFileTest, EachSaveLeavesOneWholeFileAndWritesOnlyTheLinesOfTheLastTwoSaves) {
    QTemporaryDir folder;
    const fs::path logs(folder.path().toStdString());
    constexpr std::size_t kSaves = 300;
    constexpr std::size_t kLinesPerSave = 20;
    const std::vector<std::string> all = TableLines(kSaves * kLinesPerSave);
    std::uint64_t tableBytes = 0;
    {
        TAutoLogFile file;
        std::vector<std::string> table;
        // Blocks that end between saves: a save begins inside a compressed block.
        TPackedRecords packed(7);
        for (std::size_t save = 0; save < kSaves; ++save) {
            for (std::size_t i = 0; i < kLinesPerSave; ++i) {
                table.push_back(all[table.size()]);
                packed.Append(table.back());
            }
            std::string error;
            std::string removalProblem;
            // Two saves in each minute: every other one replaces the file of its own name.
            ASSERT_TRUE(file.Save(logs / AutoFileName(save), packed, error, removalProblem)) << error;
            EXPECT_EQ(removalProblem, "");
            const std::vector<fs::path> visible = [&] {
                std::vector<fs::path> files;
                for (const auto& entry : fs::directory_iterator(logs))
                    if (entry.path().filename().string().find(".tmp-") == std::string::npos)
                        files.push_back(entry.path());
                return files;
            }();
            ASSERT_EQ(visible.size(), 1u) << save;
            ASSERT_EQ(visible[0].filename(), AutoFileName(save));
            ASSERT_EQ(ReadFile(visible[0]), Joined(table)) << save;
        }
        for (const std::string& line : table) tableBytes += line.size() + 2;
        // The whole table once for the spare that catches up, then each line twice at most.
        EXPECT_LE(file.BytesWritten(), 2 * tableBytes);
        EXPECT_GE(file.BytesWritten(), tableBytes);
    }
    // The last file stays; the spare goes with the writer.
    EXPECT_EQ(std::distance(fs::directory_iterator(logs), fs::directory_iterator()), 1);
}

TEST(AutoLogFileTest, AKillAtAnyMomentLeavesOnlyWholeTablesUnderLogFileNames) {
    const std::vector<std::string> all = TableLines(400 * 1000);
    for (int attempt = 0; attempt < 12; ++attempt) {
        QTemporaryDir folder;
        const fs::path logs(folder.path().toStdString());
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            TAutoLogFile file;
            TPackedRecords table;
            std::string error;
            std::string removalProblem;
            for (std::size_t save = 0; table.Size() + 1000 <= all.size(); ++save) {
                for (std::size_t i = 0; i < 1000; ++i) table.Append(all[table.Size()]);
                if (!file.Save(logs / AutoFileName(save), table, error, removalProblem)) ::_exit(1);
                if (save == 0) (void)!::write(ready[1], "x", 1);
            }
            for (;;) ::pause();
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::usleep(static_cast<useconds_t>(attempt * 700));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        ::close(ready[0]);
        ::close(ready[1]);

        // One log file, or two when the kill came between the newer one's rename and the
        // older one's removal; each holds the table as of a save.
        std::size_t named = 0;
        for (const auto& entry : fs::directory_iterator(logs)) {
            if (entry.path().filename().string().find(".tmp-") != std::string::npos) continue;
            ++named;
            const std::string text = ReadFile(entry.path());
            const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
            EXPECT_EQ(lines % 1000, 0u) << entry.path();
            EXPECT_EQ(text,
                      Joined(std::vector<std::string>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(lines))))
                << entry.path();
        }
        EXPECT_GE(named, 1u);
        EXPECT_LE(named, 2u);
    }
}

TEST(DataFolderTest, ChosenFolderElseTessaroInDocumentsElseAppDataNeverTheProgramFolder) {
    const fs::path documents = "/home/op/Documents";
    const fs::path appData = "/home/op/.local/share/Tessaro";
    EXPECT_EQ(ChooseDataFolder(std::nullopt, documents, appData), documents / "Tessaro");
    EXPECT_EQ(ChooseDataFolder(fs::path(), documents, appData), documents / "Tessaro");
    EXPECT_EQ(ChooseDataFolder(fs::path("/data/rig"), documents, appData), "/data/rig");
    EXPECT_EQ(ChooseDataFolder(std::nullopt, fs::path(), appData), appData);

    // Under a running application: a relative choice becomes absolute; without one, the
    // folder is not where the program lies.
    EXPECT_EQ(DefaultDataFolder(fs::path("rig data")), fs::current_path() / "rig data");
    const fs::path standard = DefaultDataFolder();
    EXPECT_FALSE(standard.empty());
    EXPECT_NE(standard, fs::path(QCoreApplication::applicationDirPath().toStdString()));
}

// --- Chart legend ----------------------------------------------------------------------------

TEST(ChartLegendTest, EntriesNameTheDeviceAndShowPlannedAndAchievedFlowsInTheDeviceUnit) {
    struct Case {
        TChartLegendValues Values;
        char Separator;
        std::string Planned;
        std::string Achieved;
    };
    const std::vector<Case> cases = {
        {{"Cathode side", "COM3", 40.0, 5.0, 1.98765, "ml/min"},
         '.',
         "Cathode side COM3 planned: 40 % = 2 ml/min",
         "Cathode side COM3 achieved: 1.988 ml/min"},
        {{"Cathode side", "COM3", 12.5, 0.5, 0.0625, "g/min"},
         ',',
         "Cathode side COM3 planned: 12,5 % = 0,063 g/min",
         "Cathode side COM3 achieved: 0,063 g/min"},
        // Idle, and no reading yet.
        {{"Anode", "COM4", std::nullopt, 5.0, std::nullopt, "ml/min"},
         '.',
         "Anode COM4 planned: idle",
         "Anode COM4 achieved: no reading yet"},
        // A unit whose full scale cannot be worked out shows the percentage only; an unnamed
        // device is named by its port.
        {{"", "COM5", 0.0, std::nullopt, 0.0, "sl/min"}, '.', "COM5 planned: 0 %", "COM5 achieved: 0 sl/min"},
    };
    for (const Case& c : cases) {
        const TChartLegendEntry entry = ChartLegendEntry(c.Values, c.Separator);
        EXPECT_EQ(entry.COMPort, c.Values.COMPort);
        EXPECT_EQ(entry.Planned, c.Planned);
        EXPECT_EQ(entry.Achieved, c.Achieved);
    }

    EXPECT_EQ(ChartLegendSummary({}), "Flow chart: no configured devices.");
    EXPECT_EQ(ChartLegendSummary({{"COM3", "A planned: idle", "A achieved: 1 g/min"},
                                  {"COM4", "B planned: 5 %", "B achieved: no reading yet"}}),
              "Flow chart. A planned: idle; A achieved: 1 g/min. B planned: 5 %; B achieved: no reading yet.");
}

// A controller found by the search reports its full scale once its gas is applied. Until
// it has, for the gas the device is set to, every flow in its unit is unknown, never 0: the
// flow displays, the legend, the data table and the CSV file.
TEST_F(EngineTest, AFoundControllersFlowsInItsUnitAreUnknownUntilItReportsItsFullScaleForItsGas) {
    constexpr std::int32_t kNitrogen = 8;
    constexpr std::int32_t kArgon = 1;
    DevicesLocal().push_back(NewFoundDevice("COM3", dtMFCA, "7"));
    TMFCThread& worker = ConfigureController(2);
    Device(2).NameRole = "Anode";
    Device(2).FluidID = kNitrogen;
    Device(2).FlowUnitDevice.GasMolarMass = Device(2).FlowUnitUser.GasMolarMass = 28.0134;
    Device(2).ControlMode = dcmDirect;
    Device(2).Setpoint_pct = 80;
    const auto reading = [&](double max_gpm, std::int32_t gas) {
        Report(worker, 80, max_gpm);
        worker.GUIIn.DeviceStatus.GasID = gas;
        Tick(3);  // one data line
    };
    const auto lastCsvRow = [&] {
        const std::string csv = ReadFile(engine_->DataCsvFile());
        return csv.substr(csv.rfind(',', csv.rfind(',', csv.rfind(',') - 1) - 1));
    };

    std::optional<TFlowDisplays> shown = FlowDisplaysOf(Device(2), 80, 50, '.');
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->MaxFlow);
    EXPECT_EQ(shown->SegmentResult, "unknown g/min");
    EXPECT_EQ(shown->DirectResult, "unknown g/min");

    // The query went unanswered: the reading has no full scale.
    reading(0, kNitrogen);
    EXPECT_EQ(engine_->ChartLegend().at(0).Planned, "Anode COM3 planned: 80 % = unknown g/min");
    EXPECT_EQ(engine_->ChartLegend().at(0).Achieved, "Anode COM3 achieved: unknown g/min");
    EXPECT_TRUE(DataLines().back().ends_with("|               ? | ")) << DataLines().back();
    EXPECT_EQ(lastCsvRow(), ",80.0,,\r\n");

    // A full scale read for the gas before a change is not the device's: the reading's flow
    // is the controller's, but the planned flow stays unknown.
    reading(2.5, kArgon);
    EXPECT_FALSE(Device(2).FullScaleKnown());
    EXPECT_EQ(engine_->ChartLegend().at(0).Planned, "Anode COM3 planned: 80 % = unknown g/min");
    EXPECT_EQ(engine_->ChartLegend().at(0).Achieved, "Anode COM3 achieved: 2 g/min");
    EXPECT_EQ(lastCsvRow(), ",80.0,,2.0\r\n");
    EXPECT_TRUE(window_.FullScalesChanged.empty());

    reading(1.08, kNitrogen);
    ASSERT_TRUE(Device(2).FullScale_gpm());
    EXPECT_NEAR(*Device(2).FullScale_gpm(), 1.08, 1e-12);
    shown = FlowDisplaysOf(Device(2), 80, 50, '.');
    ASSERT_TRUE(shown && shown->MaxFlow);
    EXPECT_NEAR(*shown->MaxFlow, 1.08, 1e-12);
    EXPECT_EQ(shown->SegmentResult, "0.864 g/min");
    EXPECT_EQ(shown->DirectResult, "0.54 g/min");
    EXPECT_EQ(engine_->ChartLegend().at(0).Planned, "Anode COM3 planned: 80 % = 0.864 g/min");
    EXPECT_EQ(engine_->ChartLegend().at(0).Achieved, "Anode COM3 achieved: 0.864 g/min");
    EXPECT_EQ(lastCsvRow(), ",80.0,0.864,0.864\r\n");
    EXPECT_EQ(window_.FullScalesChanged, std::vector<std::string>{"COM3"});
    EXPECT_TRUE(Contains(window_.LogTexts(), "Anode (MFC-A on COM3): full scale 1.08 g/min"));

    // The same full scale again is no news.
    reading(1.08, kNitrogen);
    EXPECT_EQ(window_.FullScalesChanged.size(), 1u);
}

TEST_F(EngineTest, LegendShowsEachConfiguredDeviceWithItsSetpointNowAndItsLastReading) {
    DevicesLocal().push_back(NewFoundDevice("COM3", dtPump, "77"));
    DevicesLocal().push_back(NewFoundDevice("COM4", dtMFCA, "78"));  // never configured

    // A controller in direct control whose unit is grams of a gas with the molar volume's
    // mass, so that its full scale of 50 ml/min at 25 ºC reads 0.05 g/min.
    TMFCThread& direct = ConfigureController(0);
    Device(0).NameRole = "Cathode";
    Device(0).FlowUnitUser.GasMolarMass = 24.4654;
    Device(0).ControlMode = dcmDirect;
    Device(0).Setpoint_pct = 40;
    Report(direct, 50);

    // A controller in its program, in its own unit (500 ml/min full scale), not read yet.
    Device(1).ThreadMFC = new TMFCThread;
    Device(1).NameRole = "Anode";
    Device(1).SegmentProgram = "0 0 Step\r\n10 60 Ramp";
    Device(1).ControlMode = dcmSegment;
    Device(1).MarkFlowStart();

    TPSD4Thread& pump = ConfigurePump(2);
    Device(2).NameRole = "Humidifier";
    Device(2).FlowUnitUser = FlowUnitMicrolitres();
    Device(2).MaxFlow_µlpm = 1250;
    Device(2).ControlMode = dcmDirect;
    Device(2).Setpoint_pct = 10;
    pump.GUIIn.Setpoint = 0.08;  // the program still running before the new one is taken

    clock_.Advance(5min);
    engine_->TimerEngineTimer();

    const std::vector<TChartLegendEntry> legend = engine_->ChartLegend();
    ASSERT_EQ(legend.size(), 3u);
    EXPECT_EQ(legend[0].Planned, "Cathode COMX planned: 40 % = 0.02 g/min");
    EXPECT_EQ(legend[0].Achieved, "Cathode COMX achieved: 12.5 g/min");
    EXPECT_EQ(legend[1].Planned, "Anode COMY planned: 30 % = 150 ml/min");
    EXPECT_EQ(legend[1].Achieved, "Anode COMY achieved: no reading yet");
    EXPECT_EQ(legend[2].Planned, "Humidifier COM3 planned: 10 % = 125 µl/min");
    EXPECT_EQ(legend[2].Achieved, "Humidifier COM3 achieved: 100 µl/min");

    // The next readings replace the values; a stopped device plans nothing.
    Report(direct, 20);
    Device(1).ControlMode = dcmIdle;
    engine_->TimerEngineTimer();
    const std::vector<TChartLegendEntry> later = engine_->ChartLegend();
    EXPECT_EQ(later[0].Achieved, "Cathode COMX achieved: 5 g/min");
    EXPECT_EQ(later[1].Planned, "Anode COMY planned: idle");
    EXPECT_EQ(engine_->ChartSummary(), ChartLegendSummary(later));
}

}  // namespace
}  // namespace tessaro
