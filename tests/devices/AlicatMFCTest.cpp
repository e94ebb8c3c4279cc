#include "mfc/AlicatMFC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "DeviceTestSupport.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
using test::DiagnosticCapture;
using test::StartScripted;
using test::UseQuickTiming;

constexpr double kReadingTime = 45000.25;

class AlicatMFCTest : public ::testing::Test {
protected:
    void Attach(sim::SimulatedInstrument& instrument) {
        mfc_.aPort.fPort = instrument.PortName();
        mfc_.aPort.fBaudRate = kAlicatBaudRate;
        UseQuickTiming(mfc_.aPort);
        mfc_.LocalNow = [] { return kReadingTime; };
    }
    std::unique_ptr<sim::SimulatedInstrument> StartController() {
        auto instrument = std::make_unique<sim::SimulatedInstrument>(
            std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), sim::SimInstrumentOptions{});
        Attach(*instrument);
        return instrument;
    }
    sim::SimulatedMfc& Model(sim::SimulatedInstrument& instrument) {
        sim::SimulatedMfc* model = nullptr;
        instrument.WithModel([&](sim::InstrumentModel& m) { model = &static_cast<sim::SimulatedMfc&>(m); });
        return *model;
    }

    TAlicatMFC mfc_;
};

TEST_F(AlicatMFCTest, InitializeSendsTheSevenCommandsEachWithTwoCarriageReturns) {
    sim::SimulatedTime time;  // replies and time-outs keep their order however loaded the machine
    const auto controller = StartController();
    EXPECT_TRUE(mfc_.Initialize(TAIKestraLumora));
    EXPECT_TRUE(mfc_.FailedInitializeSteps.empty());
    EXPECT_EQ(controller->Received(),
              (std::vector<std::string>{"A", "", "AFACTORY RESTORE ALL", "", "ALSS U", "", "ASPUE 0", "", "ADCU 37 62",
                                        "", "ADCU 2 7", "", "A0", ""}));
}

TEST_F(AlicatMFCTest, InitializeReportsEveryWrongReplyButSendsAllCommands) {
    sim::SimulatedTime time;  // replies and time-outs keep their order however loaded the machine
    const auto controller = StartScripted([](std::string_view line) -> std::optional<std::string> {
        if (line == "AFACTORY RESTORE ALL") return "A Factory values have been restored.\r";
        if (line == "ALSS U") return "A U\r";
        if (line == "ASPUE 0") return "A X\r";
        if (line == "ADCU 37 62") return "A 62 count\r";
        if (line == "ADCU 2 7") return "A 7 psia\r";
        if (line.empty()) return std::nullopt;
        return "A ?\r";
    });
    Attach(*controller);
    DiagnosticCapture diagnostics;

    EXPECT_FALSE(mfc_.Initialize(TAIKestraLumora));

    const std::vector<std::string> lines = diagnostics.Lines("MFC");
    ASSERT_FALSE(lines.empty());
    const std::string& report = lines.back();
    EXPECT_EQ(report.find("Remote control failed:\r\n\rDuration: 00:"), 0u) << report;
    EXPECT_NE(report.find("\r\nA X\r\nPressure barA failed:\r\n\rDuration: 00:"), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nA 7 psia\r\n"), std::string::npos);
    EXPECT_EQ(report.find("Factory reset failed:"), std::string::npos);
    EXPECT_EQ(controller->Received().size(), 14u);
    EXPECT_EQ(mfc_.FailedInitializeSteps, (std::vector<std::size_t>{3, 5}));  // ASPUE 0, ADCU 2 7

    EXPECT_FALSE(mfc_.Initialize(static_cast<TAlicatInitialize>(1)));
    EXPECT_EQ(controller->Received().size(), 14u);
}

TEST_F(AlicatMFCTest, ChangeGasSelectsTheGasOnceAndReadsTheFullScale) {
    sim::SimulatedTime time;  // a loaded machine cannot make a reply late
    const auto controller = StartController();
    DiagnosticCapture diagnostics;
    TAlicatData data;
    data.GasID = 1;  // argon

    EXPECT_TRUE(mfc_.ChangeGas(data));
    EXPECT_EQ(mfc_.GasID, 1);
    EXPECT_NEAR(mfc_.MaxFlow_gpm, 39.948 / 24.465, 1e-4);
    EXPECT_EQ(controller->Received(), (std::vector<std::string>{"AG 1", "AFPF 37 67"}));
    EXPECT_TRUE(diagnostics.Contains("MFC", "Max flow: 1.6329 g/m"));
    EXPECT_EQ(Model(*controller).Gas(), 1);

    EXPECT_TRUE(mfc_.ChangeGas(data));
    EXPECT_EQ(controller->Received().size(), 2u);

    for (int outside : {-1, 211}) {
        data.GasID = outside;
        EXPECT_FALSE(mfc_.ChangeGas(data));
    }
    EXPECT_EQ(controller->Received().size(), 2u);
}

TEST_F(AlicatMFCTest, ChangeGasTriesThreeTimesThenQueriesTheFullScaleAnyway) {
    sim::SimulatedTime time;  // four time-outs
    const auto controller = StartController();
    controller->SetFault(sim::SimFault::Silent);
    TAlicatData data;
    data.GasID = 5;

    EXPECT_FALSE(mfc_.ChangeGas(data));
    EXPECT_EQ(mfc_.GasID, -1);  // so the next call tries again
    EXPECT_EQ(mfc_.MaxFlow_gpm, 0.0);
    EXPECT_EQ(controller->Received(), (std::vector<std::string>{"AG 5", "AG 5", "AG 5", "AFPF 37 67"}));
}

// A new gas's full scale is unknown (0) until it has been read; one that could not be read
// is asked again on every later call until a reply gives it.
// The exchanges wait on a clock that moves only when the controller leaves the query
// unanswered, so a slow machine can make no reply late.
TEST_F(AlicatMFCTest, ChangeGasAsksForAnUnreadFullScaleAgainUntilItIsRead) {
    TFakeClock clock;
    TScopedClock installed(clock);
    std::string fullScaleReply;
    std::mutex replyMutex;
    const auto controller = StartScripted([&](std::string_view line) -> std::optional<std::string> {
        if (line.substr(0, 2) == "AG") return "A +0 +0 +0 +0 +0 +0 N2\r";
        std::lock_guard lock(replyMutex);
        // No answer, or an empty line the controller's reader passes over: the reply
        // time-out passes.
        if (fullScaleReply.find_first_not_of('\r') == std::string::npos) clock.Advance(1s);
        if (fullScaleReply.empty()) return std::nullopt;
        return fullScaleReply;
    });
    Attach(*controller);
    test::UseContinuousPolling(mfc_.aPort);
    mfc_.MaxFlow_gpm = 7;  // of the gas set before
    TAlicatData data;
    data.GasID = 4;
    for (const char* reply : {"", "A 1.5 67\r", "A 1.5 67 g/m x\r", "A  1.5 67 g/m\r", "A 1,5 67 g/m\r", "\r"}) {
        {
            std::lock_guard lock(replyMutex);
            fullScaleReply = reply;
        }
        EXPECT_TRUE(mfc_.ChangeGas(data)) << reply;
        EXPECT_EQ(mfc_.MaxFlow_gpm, 0.0) << reply;
        EXPECT_TRUE(mfc_.FullScalePending) << reply;
    }
    {
        std::lock_guard lock(replyMutex);
        fullScaleReply = "A 2.5 67 g/m\r";
    }
    EXPECT_TRUE(mfc_.ChangeGas(data));
    EXPECT_EQ(mfc_.MaxFlow_gpm, 2.5);
    EXPECT_FALSE(mfc_.FullScalePending);
    controller->ClearReceived();
    EXPECT_TRUE(mfc_.ChangeGas(data));  // known now: nothing more is sent
    EXPECT_TRUE(controller->Received().empty());
}

TEST_F(AlicatMFCTest, ReadStatusParsesTheSimulatedLineWithItsFlags) {
    sim::SimulatedTime time;  // replies and time-outs keep their order however loaded the machine
    const auto controller = StartController();
    controller->WithModel([](sim::InstrumentModel& model) {
        static_cast<sim::SimulatedMfc&>(model).SetFlags({"HLD", "LCK"});
    });
    TAlicatData wanted;
    wanted.Setpoint_pct = 50;
    ASSERT_TRUE(mfc_.ApplySetpoint_pct(wanted));

    TAlicatData data{};
    ASSERT_TRUE(mfc_.ReadStatus(data));
    EXPECT_EQ(data.SetpointFromDevice, 32000.0);
    EXPECT_EQ(data.GasSN, "N2");
    EXPECT_EQ(data.DataTime, kReadingTime);
    EXPECT_NEAR(data.Pressure, 1.0, 0.3);
    EXPECT_EQ(data.Raw.substr(0, 4), "A:A ");
    std::string explanations;
    EXPECT_TRUE(data.Errors(explanations));
    EXPECT_EQ(explanations, "Valve drive hold enabled (bypass active loop control).\r\nDisplay buttons are disabled.");
}

TEST_F(AlicatMFCTest, ReadStatusKeepsTheRecordForGarbledLinesAndFailedExchanges) {
    sim::SimulatedTime time;  // replies and time-outs keep their order however loaded the machine
    std::string statusLine;
    std::mutex lineMutex;
    const auto controller = StartScripted([&](std::string_view) -> std::optional<std::string> {
        std::lock_guard lock(lineMutex);
        if (statusLine.empty()) return std::nullopt;
        return statusLine;
    });
    Attach(*controller);
    const auto answer = [&](const std::string& line) {
        std::lock_guard lock(lineMutex);
        statusLine = line;
    };

    DiagnosticCapture diagnostics;
    // No full status line of unit A: seven fields lose gas and flags; another letter is
    // someone else's line, skipped while the poll waits for its own.
    for (const char* line : {"A +1 +2 +3 +4 +5\r", "A +1 +2 +3 +4 +5 +6\r", "B +1 +2 +3 +4 +5 +6 N2\r"}) {
        answer(line);
        TAlicatData partial{};
        EXPECT_FALSE(mfc_.ReadStatus(partial)) << line;
        EXPECT_EQ(partial.Pressure, 0.0) << line;
        EXPECT_EQ(partial.Raw, "") << line;
    }
    EXPECT_TRUE(diagnostics.Contains("MFC", "Fail: not a full status line"));
    EXPECT_TRUE(diagnostics.Contains("SerialPort", "bytes of a line that answers no command of this exchange: B +1"));
    EXPECT_TRUE(diagnostics.Contains("MFC", "Fail: Timeout while waiting for response"));

    answer("A +1 +2 +3 +4,5 +5 +6 N2\r");
    TAlicatData garbled{};
    garbled.FlowRate_mass = 5;
    EXPECT_FALSE(mfc_.ReadStatus(garbled));
    EXPECT_EQ(garbled.FlowRate_mass, 5.0);
    EXPECT_EQ(garbled.Raw, "");
    EXPECT_TRUE(diagnostics.Contains("MFC", "Fail: status field 4 is not a number"));

    answer("");
    TAlicatData silent{};
    EXPECT_FALSE(mfc_.ReadStatus(silent));
    EXPECT_EQ(silent.Raw, "");
    EXPECT_TRUE(diagnostics.Contains("MFC", "Fail: Timeout while waiting for response, exiting."));
}

TEST_F(AlicatMFCTest, ApplySetpointSendsCountsAndRefusesANonNumber) {
    sim::SimulatedTime time;  // replies and time-outs keep their order however loaded the machine
    const auto controller = StartController();
    for (double percent : {100.0, 33.33, 0.0}) {
        TAlicatData data;
        data.Setpoint_pct = percent;
        EXPECT_TRUE(mfc_.ApplySetpoint_pct(data));
    }
    TAlicatData notANumber;
    notANumber.Setpoint_pct = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(mfc_.ApplySetpoint_pct(notANumber));
    EXPECT_EQ(controller->Received(), (std::vector<std::string>{"A64000", "A21331", "A0"}));
}

TEST_F(AlicatMFCTest, ApplySetpointFailsWhenTheControllerIsSilent) {
    const auto controller = StartController();
    controller->SetFault(sim::SimFault::Silent);
    test::SelfAdvancingClock clock;
    TAlicatData data;
    data.Setpoint_pct = 10;
    EXPECT_FALSE(mfc_.ApplySetpoint_pct(data));
    EXPECT_EQ(clock.Elapsed(), 160ms);  // the port's whole reply time-out
}

// A status line split by a 400 ms pause fails its poll. The rest of it, arriving while the
// next command waits, is no reply to that command: the next poll reads the controller's own
// line, and a setpoint command the controller does not answer fails instead of looking done.
TEST_F(AlicatMFCTest, RestOfASplitStatusLineIsNeverTakenAsTheNextReply) {
    sim::SimulatedTime time;  // the gap inside the split line and the silent port's time-out
    const auto controller = StartController();
    UseQuickTiming(mfc_.aPort, 20, 1500);
    TAlicatData quarter;
    quarter.Setpoint_pct = 25;
    ASSERT_TRUE(mfc_.ApplySetpoint_pct(quarter));
    const auto splitPoll = [&] {
        controller->SetFault(sim::SimFault::SplitLine);
        TAlicatData cut{};
        EXPECT_FALSE(mfc_.ReadStatus(cut));
    };

    splitPoll();
    controller->SetFault(sim::SimFault::None);
    TAlicatData reading{};
    ASSERT_TRUE(mfc_.ReadStatus(reading));
    EXPECT_EQ(reading.SetpointFromDevice, 16000);
    EXPECT_EQ(reading.GasSN, "N2");

    splitPoll();
    controller->SetFault(sim::SimFault::Silent);
    TAlicatData wanted;
    wanted.Setpoint_pct = 50;
    EXPECT_FALSE(mfc_.ApplySetpoint_pct(wanted));
    EXPECT_GT(mfc_.aPort.fStaleBytesDiscarded, 0u);
}

TEST(SendASCII, AppendsACarriageReturnAndTheDurationToTheStatus) {
    const auto controller = std::make_unique<sim::SimulatedInstrument>(
        std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{.SerialNumber = "123456"}), sim::SimInstrumentOptions{});
    std::string status, response;
    EXPECT_TRUE(SendASCII(controller->PortName(), "A??M5\r", true, status, response));
    EXPECT_EQ(response, "A M05 Serial Number 123456");
    EXPECT_EQ(status.rfind("\rDuration: 00:", 0), 0u) << status;
    EXPECT_EQ(controller->Received(), (std::vector<std::string>{"A??M5", ""}));

    DiagnosticCapture diagnostics;
    EXPECT_FALSE(SendASCII("tessaro-no-such-port", "A??M5\r", true, status, response));
    EXPECT_EQ(status.rfind("Failed to setup Com port, port in use\rDuration: 00:", 0), 0u) << status;
    EXPECT_EQ(response, "");
    EXPECT_TRUE(diagnostics.Contains("MFC", "SendASCII return status <>\"\": Failed to setup Com port"));
}

}  // namespace
}  // namespace tessaro
