#include "mfc/AlicatMFCThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "DeviceTestSupport.h"
#include "WorkerTestSupport.h"
#include "sim/SimulatedMfc.h"

namespace tessaro {
namespace {

using test::DiagnosticCapture;
using test::ServeUntil;
using namespace std::chrono_literals;

// Keeps every report the window received, one per exchange.
class RecordingMFCThread : public TMFCThread {
public:
    ~RecordingMFCThread() override { EndAndWait(); }
    void DataExchange() override {
        TMFCThread::DataExchange();
        Seen.push_back(GUIIn);
        if (OnExchange) OnExchange();
    }
    std::vector<TThreadData> Seen;
    std::function<void()> OnExchange;  // window thread, after each exchange
};

std::vector<std::string> From(const std::vector<std::string>& lines, const std::string& first) {
    const auto start = std::find(lines.begin(), lines.end(), first);
    return {start, lines.end()};
}

long Count(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

class MFCThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        controller_ = std::make_unique<sim::SimulatedInstrument>(
            std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), sim::SimInstrumentOptions{});
    }
    void TearDown() override { worker_.reset(); }

    // Set up as the registry starts a worker. The controller's port looks for replies
    // without pausing, so only the worker's own pauses wait for the clock; a positive
    // `pollMs` paces the port's waits by the clock as well, for a silent controller.
    RecordingMFCThread& StartWorker(bool simulated = false) {
        return StartWorkerOn(controller_->PortName(), simulated);
    }
    RecordingMFCThread& StartWorkerOn(const std::string& port, bool simulated = false, std::uint32_t pollMs = 0) {
        worker_ = std::make_unique<RecordingMFCThread>();
        worker_->Simulated = simulated;
        worker_->MFC = std::make_unique<TAlicatMFC>();
        worker_->MFC->aPort.fPort = port;
        worker_->MFC->aPort.fBaudRate = kAlicatBaudRate;
        test::UseQuickTiming(worker_->MFC->aPort, pollMs, static_cast<std::uint32_t>(kReplyTimeout.count()));
        worker_->Name = worker_->ThreadID = port;
        worker_->start();
        return *worker_;
    }
    // Serves exchanges until the window has received `more` further readings.
    bool AwaitReadings(int more) {
        const std::uint64_t target = worker_->GUIIn.StatusSequence + more;
        return ServeUntil([&] { return worker_->GUIIn.StatusSequence >= target; });
    }
    // The controller again, under a published name that follows it when its port vanishes
    // and returns; the name to give the worker.
    std::string PublishController() {
        sim::SimInstrumentOptions options;
        options.PublishDir = publishDir_.Path();
        options.PublishName = "sim-mfc";
        controller_ = std::make_unique<sim::SimulatedInstrument>(
            std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), options);
        return controller_->DevicePath();
    }
    double ModelSetpoint() {
        double counts = 0;
        controller_->WithModel(
            [&](sim::InstrumentModel& m) { counts = static_cast<sim::SimulatedMfc&>(m).SetpointCounts(); });
        return counts;
    }

    static constexpr auto kReplyTimeout = 300ms;

    TFakeClock clock_;
    TScopedClock installed_{clock_};
    test::TemporaryDirectory publishDir_;
    std::unique_ptr<sim::SimulatedInstrument> controller_;
    std::unique_ptr<RecordingMFCThread> worker_;
};

TEST_F(MFCThreadTest, ChangedGasIsSelectedAndItsFullScaleReachesTheWindowWithTheNextReport) {
    RecordingMFCThread& worker = StartWorker();
    ASSERT_TRUE(AwaitReadings(2));
    // No gas is wanted until the window names one: the controller keeps its own.
    EXPECT_EQ(Count(controller_->Received(), "AG 0"), 0);
    EXPECT_EQ(worker.GUIIn.DeviceStatus.GasSN, "N2");
    EXPECT_EQ(worker.GUIIn.DeviceStatus.MaxFlowgpm, 0.0);

    controller_->ClearReceived();
    worker.GUIOut.DeviceStatus.GasID = 1;  // argon
    ASSERT_TRUE(ServeUntil([&] { return worker.GUIIn.DeviceStatus.GasSN == "Ar"; }));
    ASSERT_TRUE(AwaitReadings(2));

    const std::vector<std::string> sent = From(controller_->Received(), "AG 1");
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1], "AFPF 37 67");
    EXPECT_EQ(sent[2], "A");
    EXPECT_EQ(Count(controller_->Received(), "AG 1"), 1);
    // The reading taken in the pass that changed the gas carries the new full scale: no
    // report shows argon with the old one.
    for (const TThreadData& seen : worker.Seen)
        EXPECT_EQ(seen.DeviceStatus.GasSN == "Ar", std::fabs(seen.DeviceStatus.MaxFlowgpm - 39.948 / 24.465) < 1e-4)
            << seen.DeviceStatus.GasSN << " " << seen.DeviceStatus.MaxFlowgpm;
}

TEST_F(MFCThreadTest, SetpointIsSentOnlyWhenTheControllerReportsADifferentOne) {
    DiagnosticCapture diagnostics;
    RecordingMFCThread& worker = StartWorker();
    ASSERT_TRUE(AwaitReadings(1));

    worker.GUIOut.DeviceStatus.Setpoint_pct = 50;
    ASSERT_TRUE(ServeUntil([&] { return ModelSetpoint() == 32000; }));
    controller_->ClearReceived();
    ASSERT_TRUE(AwaitReadings(3));
    // 50 % is 32000 counts, which the controller reports: nothing but polls.
    const std::vector<std::string> polls = controller_->Received();
    EXPECT_EQ(Count(polls, "A"), static_cast<long>(polls.size()));
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " Main loop, Device setpoint: 32000"));
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " Setpoint data upto date"));

    // 33.33 % is 21331.2 counts: the controller holds 21331, so the comparison never
    // matches and the setpoint goes out again on every pass.
    worker.GUIOut.DeviceStatus.Setpoint_pct = 33.33;
    ASSERT_TRUE(ServeUntil([&] { return ModelSetpoint() == 21331; }));
    ASSERT_TRUE(AwaitReadings(3));
    EXPECT_GE(Count(controller_->Received(), "A21331"), 3);
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " Main loop, Desired setpoint: 21331.2"));
}

TEST_F(MFCThreadTest, StatusFlagKeepsTheControllersSetpoint) {
    DiagnosticCapture diagnostics;
    RecordingMFCThread& worker = StartWorker();
    ASSERT_TRUE(AwaitReadings(1));
    controller_->WithModel([](sim::InstrumentModel& m) { static_cast<sim::SimulatedMfc&>(m).SetFlags({"LCK"}); });

    worker.GUIOut.DeviceStatus.Setpoint_pct = 50;
    ASSERT_TRUE(AwaitReadings(4));
    EXPECT_EQ(ModelSetpoint(), 0.0);
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " Errors: Display buttons are disabled."));
    EXPECT_FALSE(diagnostics.Contains("ThreadMFC", " Main loop, Desired setpoint: 32000"));

    controller_->WithModel([](sim::InstrumentModel& m) { static_cast<sim::SimulatedMfc&>(m).SetFlags({}); });
    EXPECT_TRUE(ServeUntil([&] { return ModelSetpoint() == 32000; }));
}

TEST_F(MFCThreadTest, StopSendsSetpointZeroAndEndsAfterOneGoodReading) {
    RecordingMFCThread& worker = StartWorker();
    worker.GUIOut.DeviceStatus.Setpoint_pct = 50;
    ASSERT_TRUE(ServeUntil([&] { return ModelSetpoint() == 32000; }));
    ASSERT_TRUE(AwaitReadings(1));

    // The wall clock is set back an hour (end of daylight-saving time): DataTime goes back,
    // the reading number still tells the window every reading is new.
    const TThreadData before = worker.GUIIn;
    clock_.SetLocalNow(clock_.LocalNow().addSecs(-3600));
    ASSERT_TRUE(AwaitReadings(2));  // the first may have been taken before the change
    EXPECT_LT(worker.GUIIn.DeviceStatus.DataTime, before.DeviceStatus.DataTime);
    EXPECT_GT(worker.GUIIn.StatusSequence, before.StatusSequence);

    controller_->ClearReceived();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    EXPECT_TRUE(worker.wait(5000));
    EXPECT_EQ(From(controller_->Received(), "A0"), (std::vector<std::string>{"A0", "A"}));
    EXPECT_EQ(ModelSetpoint(), 0.0);
    EXPECT_EQ(worker.GUIIn.DeviceStatus.SetpointFromDevice, 0.0);
}

TEST_F(MFCThreadTest, AbandonEndsAWorkerWhoseControllerNeverConfirmsTheStop) {
    DiagnosticCapture diagnostics;
    controller_->SetFault(sim::SimFault::Silent);
    RecordingMFCThread& worker = StartWorkerOn(controller_->PortName(), false, 100);
    worker.GUIOut.ToTerminate = true;
    // One setpoint 0 belongs to the start-up's initialisation, the others to three passes.
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return Count(controller_->Received(), "A0") >= 4; }));
    EXPECT_FALSE(worker.GUIIn.IsTerminated);
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " ReadStatus failed"));

    worker.Abandon = true;
    EXPECT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }, 3s));
    EXPECT_TRUE(worker.wait(3000));
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", " Abandoned before the controller confirmed its stop"));
}

// On the system clock: the start-up's initialisation of a silent controller would wait
// 2.5 s for each of its commands, but its waits end on the abandon flag.
TEST_F(MFCThreadTest, DestroyingAWorkerWhoseControllerIsSilentReturnsWithinOneExchange) {
    TSystemClock systemClock;
    TScopedClock realTime(systemClock);
    controller_->SetFault(sim::SimFault::Silent);
    StartWorkerOn(controller_->PortName(), false, 333);
    ASSERT_TRUE(ServeUntil([&] { return !controller_->Received().empty(); }));  // the initialisation has begun

    const auto start = std::chrono::steady_clock::now();
    worker_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(MFCThreadTest, ControllerWhosePortCannotBeOpenedIsRetriedAtThePollPace) {
    DiagnosticCapture diagnostics;
    StartWorkerOn("tessaro-no-such-port");
    const auto failures = [&] {
        return Count(diagnostics.Lines("ThreadMFC"), "tessaro-no-such-port ReadStatus failed");
    };

    // Without the clock moving, the worker waits after its first failure.
    ASSERT_TRUE(ServeUntil([&] { return clock_.Sleepers() > 0; }));
    ServeUntil([] { return false; }, 300ms);
    EXPECT_EQ(failures(), 1);
    ASSERT_TRUE(test::RunPauses(clock_, 3));
    ASSERT_TRUE(ServeUntil([&] { return clock_.Sleepers() > 0; }));
    EXPECT_EQ(failures(), 4);
}

// A silent controller costs each pass one whole reply time-out (checks at 0, 333, 667 and
// 1000 ms, given up one poll interval later); the worker polls again at once rather than
// adding a pause of its own.
TEST_F(MFCThreadTest, SilentControllerIsPolledOncePerReplyTimeOut) {
    clock_.SetAdvanceOnSleep(true);
    controller_->SetFault(sim::SimFault::Silent);
    std::vector<std::chrono::milliseconds> passStarts;
    worker_ = std::make_unique<RecordingMFCThread>();
    worker_->OnExchange = [&] { passStarts.push_back(clock_.Monotonic()); };
    worker_->MFC = std::make_unique<TAlicatMFC>();
    worker_->MFC->aPort.fPort = controller_->PortName();
    worker_->Name = controller_->PortName();
    worker_->start();
    ASSERT_TRUE(ServeUntil([&] { return passStarts.size() >= 5; }));
    worker_.reset();

    const auto exchange = std::chrono::milliseconds(4 * TSerialPort().fWindowsReadLoopTimeoutMS);
    for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(passStarts[i] - passStarts[i - 1], exchange) << "pass " << i;
}

// Whatever ends the replies, a controller fallen silent or its port gone, every pass
// without a reading adds one to FailedPasses and reports no reading; the next reading ends
// the count. The state is switched while the worker pauses after a failed pass, so that
// no exchange of the silent controller is left waiting on the clock.
TEST_F(MFCThreadTest, FailedPassesCountPassesWithoutAReadingUntilTheControllerAnswersAgain) {
    RecordingMFCThread& worker = StartWorkerOn(PublishController());
    ASSERT_TRUE(AwaitReadings(2));
    const auto pausedAfterFailures = [&](std::uint32_t failures) {
        return worker.GUIIn.FailedPasses >= failures && clock_.Sleepers() > 0;
    };

    // Silent: its status polls time out.
    controller_->ClearReceived();
    controller_->SetFault(sim::SimFault::Silent);
    ASSERT_TRUE(test::ServeWithUnansweredCommands(
        clock_, *controller_, 0, [](const std::string&) { return true; }, kReplyTimeout,
        [&] { return pausedAfterFailures(3); }));
    const std::uint64_t readingsWhenSilent = worker.GUIIn.StatusSequence;
    controller_->SetFault(sim::SimFault::None);
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.FailedPasses == 0; }));
    EXPECT_EQ(worker.GUIIn.StatusSequence, readingsWhenSilent + 1);

    // Vanished: its port cannot be opened, or hangs up in the middle of an exchange.
    controller_->Vanish();
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return pausedAfterFailures(3); }));
    controller_->Return();
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.FailedPasses == 0; }));
    ASSERT_TRUE(AwaitReadings(2));

    EXPECT_TRUE(test::FailuresCountedInARow(worker.Seen));
    const std::vector<std::uint32_t> streaks = test::FailureStreaks(worker.Seen);
    ASSERT_EQ(streaks.size(), 2u);
    EXPECT_GE(streaks[0], 3u);
    EXPECT_GE(streaks[1], 3u);
    for (std::size_t i = 1; i < worker.Seen.size(); ++i) {
        if (worker.Seen[i].FailedPasses == 0) continue;
        EXPECT_EQ(worker.Seen[i].StatusSequence, worker.Seen[i - 1].StatusSequence) << "report " << i;
    }
}

TEST_F(MFCThreadTest, DemoWorkerReportsRandomFlowsEveryHalfToOneSecondWithoutAPort) {
    DiagnosticCapture diagnostics;
    RecordingMFCThread& worker = StartWorker(/*simulated=*/true);
    ASSERT_TRUE(test::RunPauses(clock_, 12));
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(test::RunPauses(clock_, 1));  // the pass that sees the stop
    ASSERT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    EXPECT_TRUE(worker.wait(3000));

    std::vector<TThreadData> readings;
    for (const TThreadData& seen : worker.Seen)
        if (seen.StatusSequence > 0 && (readings.empty() || readings.back().StatusSequence != seen.StatusSequence))
            readings.push_back(seen);
    ASSERT_GE(readings.size(), 12u);
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const TAlicatData& status = readings[i].DeviceStatus;
        EXPECT_GE(status.FlowRate_mass, 0.0);
        EXPECT_LE(status.FlowRate_mass, 0.999);
        EXPECT_DOUBLE_EQ(std::round(status.FlowRate_mass * 1000) / 1000, status.FlowRate_mass);
        if (i == 0) continue;
        const double pause_ms = (status.DataTime - readings[i - 1].DeviceStatus.DataTime) * 86400000.0;
        EXPECT_GE(pause_ms, 499.5);
        EXPECT_LE(pause_ms, 999.5);
    }
    EXPECT_TRUE(controller_->Received().empty());
    EXPECT_TRUE(diagnostics.Contains("ThreadMFC", controller_->PortName() + " Simulated "));
    EXPECT_FALSE(diagnostics.Contains("MFC", "Enter ReadS"));
}

// The stop request ends a simulated pass's pause: the stop is confirmed at the next
// exchanges, whatever is left of the pause (the clock here never moves).
TEST_F(MFCThreadTest, SimulatedControllerConfirmsARequestedStopWithoutWaitingOutItsPause) {
    RecordingMFCThread& worker = StartWorker(true);
    ASSERT_TRUE(ServeUntil([&] { return !worker.Seen.empty() && clock_.Sleepers() == 1; }));

    worker.GUIOut.ToTerminate = true;
    worker.StopRequested = true;

    EXPECT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    EXPECT_TRUE(ServeUntil([&] { return worker.isFinished(); }));
}

}  // namespace
}  // namespace tessaro
