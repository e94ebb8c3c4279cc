// The run's state file on a fake clock with a fake worker: kept while a program runs,
// removed at a clean end; read back, refused when it is corrupt or foreign; and a resume
// that continues the program at its saved time with the time in between as a hold.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/InterruptedRun.h"
#include "run/RunState.h"
#include "run/RunStateWriter.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Steps at 10 and 15 minutes: a program continued at 12 minutes gives 30 %, one that lost
// its place (started again, or ran on through the gap) does not.
constexpr const char* kStepProgram = "0 0 Step\r\n10 30 Step\r\n15 60 Step\r\n100 60 Step";

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& part) {
    return std::ranges::any_of(lines, [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::string ReadText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class RunStateTest : public ::testing::Test {
protected:
    RunStateTest() : scopedClock_(clock_), driver_(clock_) {
        // A port name that leads to no device: the stop at start fails at once.
        DevicesLocal() = {NewFoundDevice(kPort, dtMFCA, "1")};
        TDeviceInfo& device = Device();
        device.NameRole = "Nitrogen";
        device.ThreadMFC = new TMFCThread;
        device.FlowUnitUser = FlowUnitGrams().Clone();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~RunStateTest() override {
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }

    static constexpr const char* kPort = "no-such-port-restart-test";
    TDeviceInfo& Device() { return DevicesLocal()[0]; }
    double Handed() { return Device().ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct; }
    void Second() {
        TMFCThread& worker = *Device().ThreadMFC;
        ++worker.GUIIn.StatusSequence;
        worker.GUIIn.DeviceStatus.FlowRate_mass = Handed() * 640;
        worker.GUIIn.DeviceStatus.MaxFlowgpm = 25;
        engine_->TimerEngineTimer();
        clock_.Advance(1s);
    }
    void Seconds(int count) {
        for (int i = 0; i < count; ++i) Second();
    }
    void Start(const std::string& program) {
        Device().SegmentProgram = program;
        engine_->ButtonSegmentProgramStartClick({kPort});
    }
    bool StateFileExists() const {
        engine_->WaitForRunStateFile();
        return fs::exists(engine_->RunStateFile());
    }
    TRunState StateOnDisk() const {
        engine_->WaitForRunStateFile();
        TRunState state;
        std::vector<std::string> problems;
        EXPECT_TRUE(ParseRunState(ReadText(engine_->RunStateFile()), state, problems));
        EXPECT_TRUE(problems.empty()) << problems.front();
        return state;
    }
    // What a run that was killed at program time 12 min (`held`: held for the last minute)
    // left, written five minutes ago.
    void LeaveInterruptedRun(bool held) {
        TRunState run;
        run.Written = clock_.LocalNow().addSecs(-300);
        TRunStateDevice device = RunStateDeviceOf(Device());
        device.Program = kStepProgram;
        device.ProgramTime_min = 12;
        device.Paused_min = 0.5;
        device.StandStills = {{4, 0.5}};
        device.Held = held;
        device.HeldFor_min = held ? 1 : 0;
        run.Devices = {device};
        std::string error;
        ASSERT_TRUE(WriteRunStateFile(engine_->RunStateFile(), run, error)) << error;
    }

    TFakeClock clock_;
    TScopedClock scopedClock_;
    test::ClockDriver driver_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
};

// The writer's thread may still be writing an older state when the removal is asked for:
// the removal comes after it, and a write still waiting is dropped.
TEST(RunStateWriterTest, ARemovalIsNeverOvertakenByAnEarlierWrite) {
    QTemporaryDir folder;
    const fs::path path = fs::path(folder.path().toStdString()) / kRunStateFileName;
    TRunState state;
    state.Written = QDateTime(QDate(2024, 1, 1), QTime(12, 0));
    TRunStateDevice device;
    device.Port = "COM1";
    device.Program = std::string(200000, ' ') + "0 10 Step";  // a write that takes a while
    state.Devices = {device};
    TRunStateWriter writer;
    for (int round = 0; round < 50; ++round) {
        writer.Write(path, state, false);
        if (round % 2 == 1) writer.Write(path, state, false);
        writer.Remove(path);
        writer.WaitUntilDone();
        ASSERT_FALSE(fs::exists(path)) << round;
    }
    // The last of several writes is the one on the disk.
    for (int i = 1; i <= 20; ++i) {
        state.Devices[0].Cycle = i;
        writer.Write(path, state, false);
    }
    writer.WaitUntilDone();
    TRunState read;
    std::vector<std::string> problems;
    ASSERT_TRUE(ParseRunState(ReadText(path), read, problems));
    EXPECT_EQ(read.Devices.at(0).Cycle, 20);
    for (const TRunStateWriter::TOutcome& outcome : writer.TakeOutcomes()) EXPECT_EQ(outcome.Error, "");

    // A failure comes back with its reason.
    writer.Write(fs::path(folder.path().toStdString()) / "missing" / kRunStateFileName, state, false);
    writer.WaitUntilDone();
    const std::vector<TRunStateWriter::TOutcome> outcomes = writer.TakeOutcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].Removal);
    EXPECT_NE(outcomes[0].Error, "");
}

// A write the tick asked for may still be under way when the program stops: the file is
// gone all the same once the stop returns.
TEST_F(RunStateTest, AStopRightAfterTheTicksWriteLeavesNoFile) {
    for (int round = 0; round < 20; ++round) {
        Start("0 20 Step\r\n60 40 Step");
        Seconds(11);  // the tick's write
        engine_->ButtonSegmentProgramStopClick({kPort});
        ASSERT_FALSE(fs::exists(engine_->RunStateFile())) << round;
    }
}

TEST_F(RunStateTest, StateFileFollowsTheProgramAtMostEveryTenSecondsAndGoesWhenItEnds) {
    Device().ProgramRepeat = 2;
    Start("0 20 Step\r\n0.5 40 Step");
    ASSERT_TRUE(StateFileExists());
    TRunState state = StateOnDisk();
    ASSERT_EQ(state.Devices.size(), 1u);
    EXPECT_EQ(state.Devices[0].Port, kPort);
    EXPECT_EQ(state.Devices[0].Name, "Nitrogen");
    EXPECT_EQ(state.Devices[0].Program, "0 20 Step\r\n0.5 40 Step");
    EXPECT_EQ(state.Devices[0].Repeat, 2);
    EXPECT_EQ(state.Written, clock_.LocalNow());

    // Not written again within ten seconds; then with the program time of its write.
    Seconds(10);
    EXPECT_EQ(StateOnDisk().Devices[0].ProgramTime_min, 0);
    Second();
    EXPECT_DOUBLE_EQ(StateOnDisk().Devices[0].ProgramTime_min, 10.0 / 60);

    // A hold is written at once, and so is the resume.
    Seconds(2);
    engine_->HoldPrograms({kPort});
    state = StateOnDisk();
    EXPECT_TRUE(state.Devices[0].Held);
    EXPECT_DOUBLE_EQ(state.Devices[0].ProgramTime_min, 13.0 / 60);
    clock_.Advance(30s);
    engine_->ResumePrograms({kPort});
    state = StateOnDisk();
    EXPECT_FALSE(state.Devices[0].Held);
    EXPECT_EQ(state.Devices[0].StandStills, (std::vector<TStandStill>{{13.0 / 60, 0.5}}));

    // The second cycle is written; once the run has passed its end the file goes.
    Seconds(30);
    EXPECT_EQ(StateOnDisk().Devices[0].Cycle, 2);
    Seconds(30);
    EXPECT_TRUE(Device().Run.Ended);
    EXPECT_FALSE(StateFileExists());
}

TEST_F(RunStateTest, StopAndStopAllFlowsEndTheRunCleanly) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "Stop all flows" : "Stop");
        Start(kStepProgram);
        Seconds(3);
        ASSERT_TRUE(StateFileExists());
        if (all)
            engine_->StopAllFlows();
        else
            engine_->ButtonSegmentProgramStopClick({kPort});
        EXPECT_FALSE(StateFileExists());
        Seconds(15);
        EXPECT_FALSE(StateFileExists());
    }
}

TEST_F(RunStateTest, WrittenStateReadsBackAsItWas) {
    Device().ProgramRepeat = 3;
    Device().SegmentProgramTermination = TSegProgTermination::tspttKeep;
    Device().AlarmBand_pct = 7.5;
    Device().Color = 0xFF123456;
    Device().FlowUnitUser = FlowUnitMlnAir().Clone();
    Start("0 20 Step\r\n1 40 Ramp \"quoted\" note\r\n2 10 Step");
    Seconds(75);
    engine_->HoldPrograms({kPort});
    clock_.Advance(20s);
    engine_->ResumePrograms({kPort});
    Seconds(5);
    engine_->HoldPrograms({kPort});
    clock_.Advance(7s);

    const TRunState written = RunStateNow(DevicesLocal());
    TRunState read;
    std::vector<std::string> problems;
    ASSERT_TRUE(ParseRunState(RunStateJson(written), read, problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(read.Written, written.Written);
    ASSERT_EQ(read.Devices.size(), 1u);
    EXPECT_EQ(read.Devices[0], written.Devices[0]);
    EXPECT_TRUE(read.Devices[0].Held);
    EXPECT_DOUBLE_EQ(read.Devices[0].HeldFor_min, 7.0 / 60);
    EXPECT_EQ(read.Devices[0].Cycle, 1);
    EXPECT_FALSE(read.Devices[0].UnitIsGrams);
}

TEST_F(RunStateTest, CorruptOrForeignStateFileIsReportedAndNothingIsResumed) {
    const fs::path file = engine_->RunStateFile();
    const std::string good = RunStateJson(RunStateNow({}));
    struct Case {
        const char* name;
        std::string text;
        const char* told;
    };
    const std::vector<Case> cases = {
        {"torn", good.substr(0, good.size() / 2), "is no run state this program can use: not JSON"},
        {"binary", std::string("\0\xff\xfe{\x01", 5), "not JSON"},
        {"foreign", R"({"rig": "bench-1", "devices": []})", "not a run state of this program"},
        {"newer", R"({"format": "Tessaro run state", "version": 2, "devices": []})", "version: expected 1"},
        {"huge", std::string(kRunStateMaximumBytes + 1, ' '), "larger than 1048576 bytes"},
        {"faulty device",
         R"({"format": "Tessaro run state", "version": 1, "written": "2024-01-01T11:00:00.000Z",
             "devices": [{"port": "../../etc/passwd", "kind": "MFC-X"}, 7]})",
         "devices[0].port: \"../../etc/passwd\" is no port name"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        WriteText(file, test.text);
        const TInterruptedRunCheck check = CheckInterruptedRun(file, '.');
        EXPECT_FALSE(check.Run);
        EXPECT_TRUE(AnyLineHas(check.Report, test.told)) << check.ReportText();
    }
    const TInterruptedRunCheck faulty = CheckInterruptedRun(file, '.');
    EXPECT_TRUE(AnyLineHas(faulty.Report, "devices[0].kind: unknown kind \"MFC-X\""));
    EXPECT_TRUE(AnyLineHas(faulty.Report, "devices[0].program: expected a text"));
    EXPECT_TRUE(AnyLineHas(faulty.Report, "devices[1]: expected an object"));

    // The engine at start tells it and has nothing to resume.
    engine_->FormCreate();
    EXPECT_TRUE(AnyLineHas(window_.LogTexts(), "has faults"));
    EXPECT_FALSE(engine_->ResumeInterruptedRun());
    EXPECT_EQ(Device().ControlMode, dcmIdle);
}

TEST_F(RunStateTest, ResumeContinuesAtTheSavedProgramTimeWithTheGapAsAHold) {
    LeaveInterruptedRun(false);
    engine_->FormCreate();
    const std::vector<std::string> told = engine_->StopInterruptedRun().Report;
    EXPECT_TRUE(AnyLineHas(told, "Nitrogen (MFC-A on " + std::string(kPort) + "): not reached"));
    EXPECT_TRUE(AnyLineHas(told, "Program times then: Nitrogen 12 min"));

    std::vector<std::string> resumed;
    ASSERT_TRUE(engine_->ResumeInterruptedRun(&resumed));
    EXPECT_EQ(resumed, std::vector<std::string>{kPort});
    EXPECT_EQ(Device().ControlMode, dcmSegment);
    EXPECT_DOUBLE_EQ(Device().ProgramTime_min(), 12);
    EXPECT_EQ(Device().Run.StandStills, (std::vector<TStandStill>{{4, 0.5}, {12, 5}}));
    EXPECT_TRUE(AnyLineHas(window_.LogTexts(), "the computer was off for 5m (300 s), counted as a hold"));
    EXPECT_TRUE(
        AnyLineHas(window_.LogTexts(), "Resume program of Nitrogen at program time 12 min, after a hold of 300 s"));
    // Once only.
    EXPECT_FALSE(engine_->ResumeInterruptedRun());

    Second();
    EXPECT_EQ(Handed(), 30);
    // The state file follows the resumed program.
    EXPECT_DOUBLE_EQ(StateOnDisk().Devices[0].ProgramTime_min, 12);
    clock_.Advance(3min);
    Second();
    EXPECT_EQ(Handed(), 60);
}

TEST_F(RunStateTest, ProgramHeldWhenTheComputerWentOffStaysHeld) {
    LeaveInterruptedRun(true);
    engine_->FormCreate();
    ASSERT_TRUE(engine_->ResumeInterruptedRun());
    EXPECT_EQ(Device().Run.Pause, TProgramPause::Hold);
    EXPECT_DOUBLE_EQ(Device().ProgramTime_min(), 12);
    clock_.Advance(1min);
    engine_->ResumePrograms({kPort});
    // The hold: the minute before, the five minutes off, the minute after.
    EXPECT_TRUE(AnyLineHas(window_.LogTexts(), "program time 12 min, after a hold of 420 s"));
    Second();
    EXPECT_EQ(Handed(), 30);
}

}  // namespace
}  // namespace tessaro
