// Exchanges with simulated instruments on a clock that runs by itself: replies wait their
// delays on it, time-outs pass on it, and it stands still while a reply is coming in.

#include "sim/SimulatedTime.h"

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "serial/SerialPort.h"
#include "sim/SimulatedInstrument.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<sim::SimulatedInstrument> StartInstrument(sim::SimInstrumentOptions options) {
    return std::make_unique<sim::SimulatedInstrument>(
        std::make_unique<test::ScriptedModel>([](std::string_view) { return std::string("A 1 2 3 4 5 6 7 8 9\r"); }),
        options);
}

TSerialPort& PortOn(TSerialPort& port, const sim::SimulatedInstrument& instrument, std::uint32_t pollMs,
                    std::uint32_t timeoutMs) {
    port.fPort = instrument.PortName();
    test::UseQuickTiming(port, pollMs, timeoutMs);
    return port;
}

// Checks at 0, 333 and 666 ms: a reply due at 500 ms is read at the third.
TEST(SimulatedTime, AReplyWaitsItsDelayOnTheClockAndIsReadAtTheNextCheck) {
    sim::SimulatedTime time;
    sim::SimInstrumentOptions options;
    options.ReplyDelayMs = 500;
    const auto instrument = StartInstrument(options);
    TSerialPort port;
    TSerialResponse result{};
    PortOn(port, *instrument, 333, 1000).Send2("A\r", true, result);
    EXPECT_EQ(result.Status, "");
    EXPECT_EQ(result.Response, "A 1 2 3 4 5 6 7 8 9");
    EXPECT_EQ(time.Elapsed(), 666ms);
}

// The last check within the time-out is at 999 ms; the exchange gives up one poll interval
// later.
TEST(SimulatedTime, ASilentInstrumentsTimeOutPassesOnTheClock) {
    sim::SimulatedTime time;
    const auto instrument = StartInstrument({});
    instrument->SetFault(sim::SimFault::Silent);
    TSerialPort port;
    TSerialResponse result{};
    PortOn(port, *instrument, 333, 1000).Send2("A\r", true, result);
    EXPECT_EQ(result.Status, kStatusTimeout);
    EXPECT_EQ(time.Elapsed(), 1332ms);
    EXPECT_EQ(instrument->Received(), std::vector<std::string>{"A"});
}

// A reply's first piece is being read when the rest is still 400 ms away: the read ends in
// the 20 ms of real silence and the cut line is no reply, as it is in real time.
TEST(SimulatedTime, StandsStillWhileAReplyIsComingIn) {
    sim::SimulatedTime time;
    sim::SimInstrumentOptions options;
    options.SplitAfterBytes = 5;
    options.SplitGapMs = 400;
    const auto instrument = StartInstrument(options);
    instrument->SetFault(sim::SimFault::SplitLine);
    TSerialPort port;
    TSerialResponse result{};
    PortOn(port, *instrument, 20, 1500).Send2("A\r", true, result);
    EXPECT_EQ(result.Status, kStatusReadFailed);
    EXPECT_LT(time.Elapsed(), 400ms);
}

}  // namespace
}  // namespace tessaro
