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

// What was sent apart from the status queries of the idle passes.
std::vector<std::string> Commands(std::vector<std::string> sent) {
    std::erase(sent, Wire("Q"));
    return sent;
}

class PumpThreadTest : public ::testing::Test {
protected:
    void TearDown() override { worker_.reset(); }

    std::unique_ptr<sim::SimulatedInstrument> StartPump() {
        sim::SimPumpConfig config;
        config.InitSeconds = 0.2;
        return std::make_unique<sim::SimulatedInstrument>(std::make_unique<sim::SimulatedPump>(config),
                                                          sim::SimInstrumentOptions{});
    }
    // Initialised as the registry does before it starts the worker; the port looks for
    // replies without pausing, so only the worker's own pauses wait for the clock.
    TPSD4Thread& StartWorker(sim::SimulatedInstrument& instrument) {
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
        pump->COM->fPort = instrument.PortName();
        pump->pState = ps_Connected;
        return pump;
    }
    TPSD4Thread& StartWith(std::unique_ptr<TPSD4> pump) {
        worker_ = std::make_unique<TPSD4Thread>();
        worker_->Name = "Humidifier";
        worker_->Pump = std::move(pump);
        worker_->start();
        return *worker_;
    }

    TFakeClock clock_;
    TScopedClock installed_{clock_};
    std::unique_ptr<TPSD4Thread> worker_;
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

TEST_F(PumpThreadTest, StopSendsTAndReportsTerminatedWithTR) {
    const auto instrument = StartPump();
    TPSD4Thread& worker = StartWorker(*instrument);
    worker.GUIOut.Command = kProgramA;
    worker.GUIOut.Setpoint = 0.5;
    ASSERT_TRUE(RunPauses(clock_, 1));
    instrument->ClearReceived();

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    EXPECT_TRUE(worker.wait(3000));
    EXPECT_EQ(worker.GUIIn.Command, "TR");
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
