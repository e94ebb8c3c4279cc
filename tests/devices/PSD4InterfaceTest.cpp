#include "pump/PSD4_Interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "DeviceTestSupport.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
using test::MessageCapture;
using test::StartScripted;
using test::UseQuickTiming;

constexpr const char* kEndlessProgram = "gIV6000A24000OV451A0GR";

class PSD4Test : public ::testing::Test {
protected:
    std::unique_ptr<sim::SimulatedInstrument> StartPump(const std::string& serial = "12345678") {
        sim::SimPumpConfig config;
        config.SerialNumber = serial;
        config.InitSeconds = 0.3;
        config.StartSpeed = 20000;
        return std::make_unique<sim::SimulatedInstrument>(std::make_unique<sim::SimulatedPump>(config),
                                                          sim::SimInstrumentOptions{});
    }
    // Connected as Connect leaves the driver, without its signature query (which has a
    // test of its own), and with quick polls.
    static void Attach(TPSD4& pump, sim::SimulatedInstrument& instrument) {
        pump.COM = std::make_unique<TSerialPort>();
        pump.COM->fPort = instrument.PortName();
        UseQuickTiming(*pump.COM);
        pump.pState = ps_Connected;
    }
    void Attach(sim::SimulatedInstrument& instrument) { Attach(pump_, instrument); }
    bool SimulatedPumpBusy(sim::SimulatedInstrument& instrument) {
        bool busy = false;
        const double now = sim::SimulatedInstrument::Now();
        instrument.WithModel([&](sim::InstrumentModel& m) { busy = static_cast<sim::SimulatedPump&>(m).Busy(now); });
        return busy;
    }

    TPSD4 pump_;
};

TEST_F(PSD4Test, ConnectAcceptsOnlyThePumpsSignature) {
    const auto instrument = StartPump();
    EXPECT_TRUE(pump_.Connect(instrument->PortName()));
    EXPECT_EQ(pump_.pState, ps_Connected);
    EXPECT_EQ(pump_.COM->fBaudRate, 9600);
    EXPECT_EQ(instrument->Received(), std::vector<std::string>{"/1?22"});

    const auto controller = std::make_unique<sim::SimulatedInstrument>(
        std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), sim::SimInstrumentOptions{});
    test::SelfAdvancingClock clock;  // the controller ignores the query: a whole time-out
    TPSD4 other;
    EXPECT_FALSE(other.Connect(controller->PortName()));
    EXPECT_EQ(other.pState, ps_Undefined);
}

TEST_F(PSD4Test, RefusesCommandsBeforeConnectWithoutTraffic) {
    TSerialResponse response;
    response.Status = "stale";
    EXPECT_FALSE(pump_.SendCommand("Q", response, true));
    EXPECT_EQ(response.Status, "Pump state undefined, cannot send command: /1Q\r");
    EXPECT_EQ(response.rDouble, -1.0);  // the record was initialised
    EXPECT_EQ(pump_.COM, nullptr);
    EXPECT_EQ(pump_.LastCommand, "");
}

TEST_F(PSD4Test, DecodesTheStatusCharacterOfEachReply) {
    sim::SimulatedTime time;  // every reply comes before its time-out however loaded the machine
    std::string reply;
    std::mutex replyMutex;
    const auto instrument = StartScripted([&](std::string_view) -> std::optional<std::string> {
        std::lock_guard lock(replyMutex);
        return reply;
    });
    Attach(*instrument);
    // Only a well-formed reply without an error counts as the command taken; a reply that
    // is no pump reply leaves the state and says "busy", never "ready".
    struct Case {
        const char* Reply;
        bool Taken;
        EnumPumpState State;
        bool Busy;
        const char* Text;
    };
    const Case cases[] = {
        {"/0@\x03\r\n", true, ps_No_error, true, "Busy, No error"},
        {"/0b\x03\r\n", false, ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false,
         "Ready, Invalid command - Occurs when an unrecognized command is used"},
        {"/0E\x03\r\n", false, ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, true,
         "Busy, Invalid command - Occurs when an unrecognized command is used"},  // E names no state
        {"/0\x91\x03\r\n", true, ps_No_error, false, "Ready, No error"},
        {"/5`\x03\r\n", false, ps_No_error, true, "Busy, No error"},  // another address
        {"#~`x\r", false, ps_No_error, true, "Busy, No error"},       // junk
    };
    for (const Case& c : cases) {
        {
            std::lock_guard lock(replyMutex);
            reply = c.Reply;
        }
        pump_.LastCommand = "before";
        TSerialResponse response;
        EXPECT_EQ(pump_.SendCommand("Q", response, true), c.Taken) << c.Reply;
        EXPECT_EQ(pump_.pState, c.State) << c.Reply;
        EXPECT_EQ(pump_.pBusy, c.Busy) << c.Reply;
        EXPECT_EQ(pump_.StatusAsString(), c.Text);
        EXPECT_EQ(pump_.LastCommand, c.Taken ? "Q" : "before") << c.Reply;
    }
}

TEST_F(PSD4Test, InitializesAndWaitsUntilTheInitialisationHasRun) {
    sim::SimulatedTime time;  // the pump's motions and the driver's polls
    const auto instrument = StartPump();
    Attach(*instrument);
    pump_.Initialize("ZN1R");
    EXPECT_TRUE(pump_.pInitialized);
    EXPECT_TRUE(pump_.pBusy);
    EXPECT_TRUE(pump_.WaitUntilFree(5));
    EXPECT_EQ(pump_.StatusAsString(), "Ready, No error");
    EXPECT_FALSE(SimulatedPumpBusy(*instrument));
    const auto received = instrument->Received();
    EXPECT_EQ(received.front(), "/1ZN1R");
    EXPECT_EQ(received.back(), "/1Q");
}

TEST_F(PSD4Test, WaitUntilFreeGivesUpOnAPumpThatStaysBusy) {
    const auto instrument = StartPump();
    Attach(*instrument);
    pump_.Initialize("ZN1R");
    ASSERT_TRUE(pump_.WaitUntilFree(5));
    TSerialResponse response;
    ASSERT_TRUE(pump_.SendCommand(kEndlessProgram, response, true));
    instrument->ClearReceived();

    test::SelfAdvancingClock clock;
    test::UseContinuousPolling(*pump_.COM);
    EXPECT_FALSE(pump_.WaitUntilFree(0.8));
    // Polls at 250, 500, 750 and 1000 ms; the last is past the limit.
    EXPECT_EQ(clock.Elapsed(), 1000ms);
    EXPECT_EQ(instrument->Received(), std::vector<std::string>(4, "/1Q"));
    EXPECT_TRUE(pump_.pBusy);
}

TEST_F(PSD4Test, StopTerminatesARunningProgram) {
    sim::SimulatedTime time;  // the pump's motions and the driver's polls
    const auto instrument = StartPump();
    Attach(*instrument);
    pump_.Initialize("ZN1R");
    ASSERT_TRUE(pump_.WaitUntilFree(5));
    TSerialResponse response;
    ASSERT_TRUE(pump_.SendCommand(kEndlessProgram, response, true));
    ASSERT_TRUE(SimulatedPumpBusy(*instrument));

    EXPECT_TRUE(pump_.Stop());
    EXPECT_FALSE(SimulatedPumpBusy(*instrument));
    EXPECT_EQ(pump_.LastCommand, "T");
}

// A command that never reached the pump is not counted as applied, so a worker comparing
// LastCommand with the wanted program sends it again.
TEST_F(PSD4Test, SendCommandReportsACommandThePumpNeverAnswered) {
    sim::SimulatedTime time;  // the time-out passes, and only it, however loaded the machine
    const auto instrument = StartPump();
    Attach(*instrument);
    MessageCapture messages;
    instrument->SetFault(sim::SimFault::Silent);
    TSerialResponse response;
    EXPECT_FALSE(pump_.SendCommand("ZN1R", response, true));
    EXPECT_EQ(pump_.LastCommand, "");
    EXPECT_TRUE(pump_.pBusy);
    EXPECT_EQ(pump_.pState, ps_Connected);

    instrument->SetFault(sim::SimFault::None);
    EXPECT_TRUE(pump_.SendCommand("ZN1R", response, true));
    EXPECT_EQ(pump_.LastCommand, "ZN1R");
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Set pump states failed. Used string: "});
}

TEST_F(PSD4Test, StopGivesUpAfterFiveSecondsOfAPumpThatStaysBusy) {
    const auto instrument = StartScripted([](std::string_view) { return std::string("/0@\x03\r\n"); }, 0);
    Attach(*instrument);
    test::UseContinuousPolling(*pump_.COM);
    test::SelfAdvancingClock clock;

    EXPECT_FALSE(pump_.Stop());
    EXPECT_GT(clock.Elapsed(), 5s);
    EXPECT_LE(clock.Elapsed(), 5100ms);  // one 100 ms pause past the limit at most
    const std::vector<std::string> sent = instrument->Received();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "/1T");
    EXPECT_GE(std::count(sent.begin(), sent.end(), "/1Q"), 50);
    EXPECT_EQ(pump_.StatusAsString(), "Busy, No error");
}

TEST_F(PSD4Test, StopAgainstASilentPumpFailsAndTellsTheOperatorOnce) {
    const auto instrument = StartPump();
    Attach(*instrument);
    instrument->SetFault(sim::SimFault::Silent);
    MessageCapture messages;
    test::DiagnosticCapture diagnostics;
    test::SelfAdvancingClock clock;

    EXPECT_FALSE(pump_.Stop());
    EXPECT_GT(clock.Elapsed(), 5s);
    // The exchanges follow each other faster than the instrument reads (the fake clock
    // leaves no pause), so what it received does not count them; the driver's report does.
    const std::vector<std::string> unanswered = diagnostics.Lines("PSD4 interface");
    EXPECT_GT(std::count_if(unanswered.begin(), unanswered.end(),
                            [](const std::string& line) {
                                return line.ends_with("Q not answered: " + std::string(kStatusTimeout));
                            }),
              3);
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Set pump states failed. Used string: "});
    EXPECT_EQ(pump_.pState, ps_Connected);
}

// The worker's flag ends the driver's waits on a clock that never moves: both fail, and
// the cut-short exchange is not taken for a silent pump.
TEST_F(PSD4Test, RaisedInterruptEndsStopAndWaitUntilFreeAsFailures) {
    const std::pair<const char*, std::function<bool(TPSD4&)>> waits[] = {
        {"Stop", [](TPSD4& pump) { return pump.Stop(); }},
        {"WaitUntilFree", [](TPSD4& pump) { return pump.WaitUntilFree(15); }},
    };
    for (const auto& [name, wait] : waits) {
        SCOPED_TRACE(name);
        const auto instrument = StartScripted([](std::string_view) { return std::nullopt; });
        TPSD4 pump;
        pump.COM = std::make_unique<TSerialPort>();
        pump.COM->fPort = instrument->PortName();
        pump.pState = ps_Connected;
        std::atomic<bool> interrupt{false};
        pump.SetInterrupt(&interrupt);
        TFakeClock clock;
        TScopedClock installed(clock);
        MessageCapture messages;

        auto result = std::async(std::launch::async, [&] { return wait(pump); });
        for (int i = 0; i < 3000 && clock.Sleepers() == 0; ++i) std::this_thread::sleep_for(1ms);
        interrupt = true;
        if (result.wait_for(3s) != std::future_status::ready) {  // let it end, to fail
            clock.SetAdvanceOnSleep(true);
            clock.Advance(1h);
        }
        EXPECT_FALSE(result.get());
        EXPECT_EQ(clock.Monotonic(), 0ms);
        EXPECT_TRUE(messages.Messages().empty());
    }
}

TEST_F(PSD4Test, SerialReadsTheTwoStoredPositions) {
    struct Case {
        const char* Stored;
        std::int64_t Serial;
    };
    for (const Case& c : {Case{"12345678", 12345678}, Case{"0", 0}}) {
        sim::SimulatedTime time;  // the initialisation and the pauses between the queries
        const auto instrument = StartPump(c.Stored);
        TPSD4 pump;
        Attach(pump, *instrument);
        EXPECT_EQ(pump.Serial(), c.Serial) << c.Stored;
        const auto received = instrument->Received();
        EXPECT_EQ(received.back(), "/1A0R");
    }
}

TEST_F(PSD4Test, SerialIsUnknownWhenAPositionQueryGoesUnansweredAndZeroWhenItHasNoDigits) {
    for (const bool answerQueries : {false, true}) {
        sim::SimulatedTime time;  // the unanswered queries' time-outs
        const auto instrument = StartScripted([answerQueries](std::string_view line) -> std::optional<std::string> {
            if (line == "/1?" && !answerQueries) return std::nullopt;
            if (line == "/1?") return "/0b\x03\r\n";  // an error reply without position digits
            return "/0`\x03\r\n";
        });
        TPSD4 pump;
        Attach(pump, *instrument);
        MessageCapture messages;
        EXPECT_EQ(pump.Serial(), answerQueries ? 0 : -1);
    }
}

}  // namespace
}  // namespace tessaro
