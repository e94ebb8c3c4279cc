#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "DeviceTestSupport.h"
#include "WorkerTestSupport.h"
#include "sim/SimulatedPump.h"

namespace tessaro {
namespace {

using test::DiagnosticCapture;
using test::RunPauses;
using test::ServeUntil;
using namespace std::chrono_literals;

constexpr const char* kProgramA = "gIV6000A24000OV451A0GR";
constexpr const char* kProgramB = "gIV6000A24000OV902A0GR";

std::string Wire(const std::string& command) { return "/1" + command; }

// Keeps every report the window received, one per pass.
class RecordingPSD4Thread : public TPSD4Thread {
public:
    ~RecordingPSD4Thread() override { EndAndWait(); }
    void DataExchange() override {
        TPSD4Thread::DataExchange();
        Seen.push_back(GUIIn);
    }
    std::vector<TPSD4ThreadData> Seen;
};

// A simulated pump that initialises quickly.
sim::SimPumpConfig QuickPump() {
    sim::SimPumpConfig config;
    config.InitSeconds = 0.2;
    return config;
}

// The simulated pump, except that it answers one program with `refusal` (nothing: no
// answer at all) as long as refusals are left.
class RefusingPump : public sim::InstrumentModel {
public:
    RefusingPump(std::string program, std::optional<std::string> refusal)
        : pump_(QuickPump()), program_(Wire(program)), refusal_(std::move(refusal)) {}
    std::optional<std::string> Answer(std::string_view line, double now) override {
        if (line == program_ && Refusals > 0) {
            --Refusals;
            return refusal_;
        }
        return pump_.Answer(line, now);
    }
    std::string Describe() const override { return "pump refusing " + program_; }
    bool Runs(double now) { return pump_.Busy(now); }

    int Refusals = 0;  // changed through WithModel

private:
    sim::SimulatedPump pump_;
    std::string program_;
    std::optional<std::string> refusal_;
};

// What was sent apart from the status queries of the idle passes.
std::vector<std::string> Commands(std::vector<std::string> sent) {
    std::erase(sent, Wire("Q"));
    return sent;
}

class PumpThreadTest : public ::testing::Test {
protected:
    void TearDown() override { worker_.reset(); }

    // Under a published name, which follows the pump when its port vanishes and returns.
    std::unique_ptr<sim::SimulatedInstrument> StartPump(
        std::unique_ptr<sim::InstrumentModel> model = std::make_unique<sim::SimulatedPump>(QuickPump())) {
        sim::SimInstrumentOptions options;
        options.PublishDir = publishDir_.Path();
        options.PublishName = "sim-pump";
        return std::make_unique<sim::SimulatedInstrument>(std::move(model), options);
    }
    // Initialised as the registry does before it starts the worker; the port looks for
    // replies without pausing, so only the worker's own pauses wait for the clock.
    RecordingPSD4Thread& StartWorker(sim::SimulatedInstrument& instrument) {
        auto pump = Attached(instrument);
        test::UseContinuousPolling(*pump->COM);
        clock_.SetAdvanceOnSleep(true);  // the wait for the initialisation runs through at once
        pump->Initialize("ZN1R");
        EXPECT_TRUE(pump->WaitUntilFree(15));
        clock_.SetAdvanceOnSleep(false);
        return StartWith(std::move(pump));
    }
    static std::unique_ptr<TPSD4> Attached(sim::SimulatedInstrument& instrument) {
        auto pump = std::make_unique<TPSD4>();
        pump->COM = std::make_unique<TSerialPort>();
        pump->COM->fPort = instrument.DevicePath();
        pump->pState = ps_Connected;
        return pump;
    }
    RecordingPSD4Thread& StartWith(std::unique_ptr<TPSD4> pump) {
        worker_ = std::make_unique<RecordingPSD4Thread>();
        worker_->Name = "Humidifier";
        worker_->Pump = std::move(pump);
        worker_->start();
        return *worker_;
    }

    // The port's own time for a reply, which the exchanges with a silent pump wait out.
    const std::chrono::milliseconds replyTimeout_{TSerialPort().fReadoutTimeoutMS};

    TFakeClock clock_;
    TScopedClock installed_{clock_};
    test::TemporaryDirectory publishDir_;
    std::unique_ptr<RecordingPSD4Thread> worker_;
};

TEST_F(PumpThreadTest, WantedProgramIsSentOnceAndEveryChangeAfterATerminate) {
    DiagnosticCapture diagnostics;
    const auto instrument = StartPump();
    TPSD4Thread& worker = StartWorker(*instrument);
    // Before the window wants a program the worker stops whatever the pump runs, then idles.
    ASSERT_TRUE(RunPauses(clock_, 2));
    EXPECT_EQ(Commands(instrument->Received()), (std::vector<std::string>{Wire("ZN1R"), Wire("TR")}));
    instrument->ClearReceived();

    const struct {
        const char* command;
        double setpoint;
        std::vector<std::string> sent;
    } wishes[] = {
        {kProgramA, 0.5, {Wire("TR"), Wire(kProgramA)}},
        {kProgramB, 0.75, {Wire("TR"), Wire(kProgramB)}},
        {"TR", 0.0, {Wire("TR")}},
    };
    for (const auto& wish : wishes) {
        SCOPED_TRACE(wish.command);
        worker.GUIOut.Command = wish.command;
        worker.GUIOut.Setpoint = wish.setpoint;
        // The same wish on every tick: applied in one pass, then the worker idles and only
        // asks for the pump's status.
        ASSERT_TRUE(RunPauses(clock_, 4));
        const std::vector<std::string> sent = instrument->Received();
        EXPECT_EQ(Commands(sent), wish.sent);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), Wire("Q")), 4);
        EXPECT_EQ(worker.GUIIn.Setpoint, wish.setpoint);
        instrument->ClearReceived();
    }
    EXPECT_TRUE(diagnostics.Contains("ThreadPUMP", std::string("New: ") + kProgramB));
    EXPECT_TRUE(diagnostics.Contains("ThreadPUMP", std::string("Old: ") + kProgramA));
}

// Whatever ends the answers to the status queries of the idle passes, a pump fallen silent
// or its port gone, each such pass adds one to FailedPasses and the next answer ends the
// count. Meanwhile the worker only asks for the status, at its pace, and the operator is
// told once per loss. The state is switched while the worker pauses, with no exchange
// under way.
TEST_F(PumpThreadTest, FailedPassesCountUnansweredIdlePassesUntilThePumpAnswersAgain) {
    test::MessageCapture messages;
    const auto instrument = StartPump();
    RecordingPSD4Thread& worker = StartWorker(*instrument);
    ASSERT_TRUE(RunPauses(clock_, 2));  // the stop of whatever ran, then idle passes
    ASSERT_TRUE(ServeUntil([&] { return clock_.Sleepers() > 0; }));
    const auto pausedAfterFailures = [&](std::uint32_t failures) {
        return worker.GUIIn.FailedPasses >= failures && clock_.Sleepers() > 0;
    };
    instrument->ClearReceived();

    instrument->SetFault(sim::SimFault::Silent);
    ASSERT_TRUE(test::ServeWithUnansweredCommands(
        clock_, *instrument, 0, [](const std::string&) { return true; }, replyTimeout_,
        [&] { return pausedAfterFailures(3); }));
    instrument->SetFault(sim::SimFault::None);
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.FailedPasses == 0; }));

    instrument->Vanish();
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return pausedAfterFailures(3); }));
    instrument->Return();
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.FailedPasses == 0; }));

    EXPECT_TRUE(test::FailuresCountedInARow(worker.Seen));
    const std::vector<std::uint32_t> streaks = test::FailureStreaks(worker.Seen);
    ASSERT_EQ(streaks.size(), 2u);
    EXPECT_GE(streaks[0], 3u);
    EXPECT_GE(streaks[1], 3u);
    EXPECT_EQ(Commands(instrument->Received()), std::vector<std::string>{});
    EXPECT_EQ(messages.Messages().size(), 2u);
}

// A program the pump refuses (an error status in its reply) or never answers is not
// applied: the pump's last command stays the terminate sent before it, the window never
// sees the program's setpoint, and the program goes out again on the next pass until the
// pump takes it.
TEST_F(PumpThreadTest, ProgramThePumpDoesNotTakeIsNotReportedAndIsSentAgainUntilTaken) {
    const struct {
        const char* name;
        std::optional<std::string> refusal;
    } cases[] = {
        {"refused", std::string("/0c\x03\r\n")},  // ready, invalid operand
        {"not answered", std::nullopt},
    };
    constexpr int kRefusals = 2;
    for (const auto& refusalCase : cases) {
        SCOPED_TRACE(refusalCase.name);
        const auto instrument = StartPump(std::make_unique<RefusingPump>(kProgramB, refusalCase.refusal));
        RecordingPSD4Thread& worker = StartWorker(*instrument);
        worker.GUIOut.Command = kProgramA;
        worker.GUIOut.Setpoint = 0.5;
        ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.Setpoint == 0.5 && clock_.Sleepers() > 0; }));

        instrument->WithModel([](sim::InstrumentModel& m) { static_cast<RefusingPump&>(m).Refusals = kRefusals; });
        worker.GUIOut.Command = kProgramB;
        worker.GUIOut.Setpoint = 0.75;
        const auto programsSent = [&] {
            const std::vector<std::string> sent = instrument->Received();
            return std::count(sent.begin(), sent.end(), Wire(kProgramB));
        };
        for (int refusal = 1; refusal <= kRefusals; ++refusal) {
            const bool silent = !refusalCase.refusal;
            ASSERT_TRUE(test::ServeWithUnansweredCommands(
                clock_, *instrument, instrument->Received().size(),
                [&](const std::string& line) { return silent && line == Wire(kProgramB); }, replyTimeout_,
                [&] { return programsSent() == refusal && clock_.Sleepers() > 0; }));
            // The worker pauses after the failed pass and touches nothing meanwhile.
            EXPECT_EQ(worker.Pump->LastCommand, "TR");
        }
        ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.Setpoint == 0.75; }));
        ASSERT_TRUE(RunPauses(clock_, 3));
        EXPECT_EQ(programsSent(), kRefusals + 1);

        // Every setpoint the window saw, each change once: the terminate before the refused
        // program shows 0, the pump then runs nothing.
        std::vector<double> setpoints;
        for (const TPSD4ThreadData& seen : worker.Seen)
            if (setpoints.empty() || setpoints.back() != seen.Setpoint) setpoints.push_back(seen.Setpoint);
        EXPECT_EQ(setpoints, (std::vector<double>{0, 0.5, 0, 0.75}));
        worker_.reset();
    }
}

// A wish of zero flow while the pump doses: a terminate ("TR") that gets no answer is sent
// again on the following passes until the pump confirms it, and the pump stops dosing.
TEST_F(PumpThreadTest, TerminateThatGetsNoAnswerIsSentAgainUntilThePumpConfirmsIt) {
    const auto instrument = StartPump(std::make_unique<RefusingPump>("TR", std::nullopt));
    RecordingPSD4Thread& worker = StartWorker(*instrument);
    worker.GUIOut.Command = kProgramA;
    worker.GUIOut.Setpoint = 0.5;
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.Setpoint == 0.5 && clock_.Sleepers() > 0; }));
    const auto pumpRuns = [&] {
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        bool runs = false;
        instrument->WithModel([&](sim::InstrumentModel& m) { runs = static_cast<RefusingPump&>(m).Runs(now); });
        return runs;
    };
    ASSERT_TRUE(pumpRuns());

    constexpr int kUnanswered = 2;
    instrument->WithModel([](sim::InstrumentModel& m) { static_cast<RefusingPump&>(m).Refusals = kUnanswered; });
    instrument->ClearReceived();
    worker.GUIOut.Command = "TR";
    worker.GUIOut.Setpoint = 0;
    const auto terminatesSent = [&] {
        const std::vector<std::string> sent = instrument->Received();
        return std::count(sent.begin(), sent.end(), Wire("TR"));
    };
    for (int unanswered = 1; unanswered <= kUnanswered; ++unanswered)
        ASSERT_TRUE(test::ServeWithUnansweredCommands(
            clock_, *instrument, instrument->Received().size(),
            [](const std::string& line) { return line == Wire("TR"); }, replyTimeout_,
            [&] { return terminatesSent() == unanswered && clock_.Sleepers() > 0; }))
            << unanswered;
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return terminatesSent() == kUnanswered + 1; }));
    ASSERT_TRUE(RunPauses(clock_, 3));
    EXPECT_EQ(terminatesSent(), kUnanswered + 1);
    EXPECT_FALSE(pumpRuns());
    EXPECT_EQ(worker.GUIIn.Setpoint, 0.0);
}

// The window stops a pump that runs a program without first wishing "TR": the report must
// not go on showing the stopped program's setpoint.
TEST_F(PumpThreadTest, StopSendsTAndReportsTerminatedWithTRAndSetpointZero) {
    const auto instrument = StartPump();
    TPSD4Thread& worker = StartWorker(*instrument);
    worker.GUIOut.Command = kProgramA;
    worker.GUIOut.Setpoint = 0.5;
    ASSERT_TRUE(RunPauses(clock_, 1));
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.Setpoint == 0.5; }));
    instrument->ClearReceived();

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    EXPECT_TRUE(worker.wait(3000));
    EXPECT_EQ(worker.GUIIn.Command, "TR");
    EXPECT_EQ(worker.GUIIn.Setpoint, 0.0);
    EXPECT_EQ(worker.GUIIn.aMessage, "");
    const std::vector<std::string> sent = instrument->Received();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), Wire("T"));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), Wire(kProgramA)), 0);
}

TEST_F(PumpThreadTest, AbandonEndsAWorkerWhosePumpNeverStops) {
    DiagnosticCapture diagnostics;
    // A pump that answers every command with an error: each stop attempt fails at once.
    const auto instrument = test::StartScripted([](std::string_view) { return std::string("/0f\x03\r\n"); });
    auto pump = Attached(*instrument);
    test::UseContinuousPolling(*pump->COM);
    TPSD4Thread& worker = StartWith(std::move(pump));

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.aMessage == "Failed to terminate"; }));
    ASSERT_TRUE(test::ServeAndTick(clock_, [&] { return worker.GUIIn.PassSequence >= 3; }));
    EXPECT_FALSE(worker.GUIIn.IsTerminated);

    worker.Abandon = true;
    EXPECT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }, 3s));
    EXPECT_TRUE(worker.wait(3000));
    EXPECT_TRUE(diagnostics.Contains("ThreadPUMP", "Humidifier Abandoned before the pump confirmed its stop"));
}

// On the system clock with the port's described timing: the stop of a silent pump goes
// on for 5 s, but its waits end on the abandon flag the destructor raises.
TEST_F(PumpThreadTest, DestroyingAWorkerWhosePumpIsSilentReturnsWithinOneExchange) {
    TSystemClock systemClock;
    TScopedClock realTime(systemClock);
    const auto instrument = test::StartScripted([](std::string_view) { return std::nullopt; });
    TPSD4Thread& worker = StartWith(Attached(*instrument));
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntil([&] { return !instrument->Received().empty(); }));  // the stop has begun

    const auto start = std::chrono::steady_clock::now();
    worker_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);  // less than one reply time-out
}

TEST_F(PumpThreadTest, DestroyingARunningWorkerEndsItAndServesItsExchanges) {
    const auto instrument = StartPump();
    StartWorker(*instrument);
    ASSERT_TRUE(RunPauses(clock_, 1));
    // The worker is asleep on a clock that nobody moves, or waiting for an exchange that
    // only the destructor can serve: either way it must end.
    worker_.reset();
    SUCCEED();
}

}  // namespace
}  // namespace tessaro
