#include <gtest/gtest.h>

#include <cmath>

#include "protocol/AlicatMFCProtocol.h"
#include "protocol/PSD4Protocol.h"
#include "protocol/ReplyText.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"

namespace tessaro::sim {
namespace {

std::string Trimmed(const std::optional<std::string>& reply) {
    return reply ? std::string(TrimBlanksAndControls(*reply)) : std::string("<none>");
}

TEST(SimulatedMfc, GivesTheRepliesTheInitialisationExpects) {
    SimulatedMfc mfc(SimMfcConfig{});
    for (const AlicatInitStep& step : AlicatInitSequence()) {
        const std::string command = std::string(TrimBlanksAndControls(step.Command));
        const std::optional<std::string> reply = mfc.Answer(command, 0);
        ASSERT_TRUE(reply.has_value()) << command;
        if (!step.Expected.empty()) {
            EXPECT_EQ(Trimmed(reply), step.Expected) << command;
        }
    }
    EXPECT_EQ(mfc.Answer("", 0), std::nullopt);
    EXPECT_EQ(mfc.Answer("B", 0), std::nullopt);  // another unit's command
}

TEST(SimulatedMfc, FollowsTheSetpointWithAFirstOrderLagAndLittleNoise) {
    SimMfcConfig config;
    config.LagSeconds = 1.0;
    config.NoiseCounts = 12;
    SimulatedMfc mfc(config);
    mfc.Answer("A", 0);
    mfc.Answer("A32000", 0);
    EXPECT_NEAR(mfc.MassFlowCounts(1.0), 32000 * (1 - std::exp(-1.0)), 1);
    EXPECT_NEAR(mfc.MassFlowCounts(10.0), 32000, 2);

    for (double t = 10.5; t < 15; t += 0.5) {
        TAlicatData data;
        ASSERT_EQ(ParseAlicatStatus(Trimmed(mfc.Answer("A", t)), 'A', t, data).Outcome, AlicatStatusParse::Applied);
        EXPECT_EQ(data.SetpointFromDevice, 32000.0);
        EXPECT_NEAR(data.FlowRate_mass, 32000, 13);
        EXPECT_EQ(data.GasSN, "N2");
    }
    mfc.Answer("A99999", 20);  // beyond full scale: the controller holds full scale
    EXPECT_EQ(mfc.SetpointCounts(), 64000.0);
}

TEST(SimulatedMfc, ChangesGasAndReportsTheFullScaleOfTheNewGas) {
    SimMfcConfig config;
    config.FullScale_slpm = 2.0;
    SimulatedMfc mfc(config);
    TAlicatData data;
    ParseAlicatStatus(Trimmed(mfc.Answer("AG 4", 0)), 'A', 0, data);
    EXPECT_EQ(data.GasSN, "CO2");
    const AlicatFullScale fullScale = ParseAlicatFullScale(Trimmed(mfc.Answer("AFPF 37 67", 0)));
    ASSERT_TRUE(fullScale.MaxFlow_gpm.has_value());
    EXPECT_NEAR(*fullScale.MaxFlow_gpm, 2.0 * 44.010 / 24.465, 1e-4);
    EXPECT_EQ(Trimmed(mfc.Answer("AG 211", 0)), "A ?");
    EXPECT_EQ(mfc.Gas(), 4);
}

TEST(SimulatedMfc, AppendsTheFlagsItIsGiven) {
    SimulatedMfc mfc(SimMfcConfig{});
    mfc.SetFlags({"MOV", "TMF"});
    TAlicatData data;
    ParseAlicatStatus(Trimmed(mfc.Answer("A", 0)), 'A', 0, data);
    EXPECT_TRUE(data.ErrorFlags.Contains(TAlicatError::MOV));
    EXPECT_TRUE(data.ErrorFlags.Contains(TAlicatError::TMF));
}

class SimulatedPumpTest : public ::testing::Test {
protected:
    SimulatedPumpTest() : pump_(MakeConfig()) {}
    static SimPumpConfig MakeConfig() {
        SimPumpConfig config;
        config.InitSeconds = 1.0;
        return config;
    }
    std::string Ask(const std::string& body, double now) { return Trimmed(pump_.Answer("/1" + body, now)); }
    PumpStatusDecode Status(double now) { return DecodePumpStatus(Ask("Q", now)); }

    SimulatedPump pump_;
};

TEST_F(SimulatedPumpTest, AnswersTheSignatureAndOnlyItsOwnAddress) {
    EXPECT_EQ(Ask("?22", 0), "/0`255");
    EXPECT_EQ(pump_.Answer("/2Q", 0), std::nullopt);
    EXPECT_EQ(pump_.Answer("/1Q", 0), std::string("/0`\x03\r\n"));
}

TEST_F(SimulatedPumpTest, IsBusyWhileItInitialises) {
    EXPECT_EQ(Ask("A100R", 0), "/0g");  // a move before initialisation
    EXPECT_EQ(Ask("ZN1R", 1), "/0@");
    EXPECT_TRUE(Status(1.9).Busy);
    EXPECT_EQ(Ask("A100R", 1.95), "/0O");  // a new command while busy
    EXPECT_EQ(Ask("Q", 2.05), "/0o");      // ready; the refusal is reported until the next command
    EXPECT_EQ(Ask("A100R", 2.1), "/0@");
    EXPECT_EQ(Ask("A30000R", 3), "/0c");
    EXPECT_EQ(Ask("X", 3), "/0b");
}

TEST_F(SimulatedPumpTest, MovesAtTheCommandedSpeed) {
    Ask("ZN1R", 0);
    EXPECT_EQ(Ask("V6000A24000R", 2), "/0@");  // 24000 steps at 4 x 6000 steps/s: one second
    EXPECT_TRUE(pump_.Busy(2.9));
    EXPECT_NEAR(pump_.Position(2.5), 12000, 1);
    EXPECT_FALSE(pump_.Busy(3.1));
    EXPECT_EQ(Ask("?", 3.1), "/0`24000");
}

TEST_F(SimulatedPumpTest, RunsAnEndlessProgramUntilTerminated) {
    Ask("ZN1R", 0);
    EXPECT_EQ(Ask("gIV6000A24000OV1000gD1M5G24000GR", 2), "/0@");
    EXPECT_TRUE(pump_.Busy(3600));  // still dosing an hour later
    EXPECT_EQ(Ask("TR", 3600), "/0`");
    EXPECT_FALSE(pump_.Busy(3601));
    EXPECT_EQ(Ask("gIV6000A24000OV451A0GR", 3602), "/0@");
    EXPECT_TRUE(pump_.Busy(7200));
}

TEST_F(SimulatedPumpTest, RunsThePrimingAndSyringeChangePrograms) {
    Ask("ZN1R", 0);
    // Three loops of: valve in, fill 24000 steps at 4 x 3000 steps/s, valve out, empty:
    // about 4.7 s each.
    EXPECT_EQ(Ask("V3000gIA24000OA0G3R", 2), "/0@");
    EXPECT_TRUE(pump_.Busy(2 + 3 * 4.6));
    EXPECT_FALSE(pump_.Busy(2 + 3 * 4.8));
    EXPECT_EQ(pump_.Position(20), 0.0);

    EXPECT_EQ(Ask("V4000IA24000R", 20), "/0@");
    EXPECT_TRUE(pump_.Busy(21.7));
    EXPECT_FALSE(pump_.Busy(21.9));
    EXPECT_EQ(pump_.Valve(), 'I');
    EXPECT_EQ(Ask("?", 22), "/0`24000");
}

TEST_F(SimulatedPumpTest, KeepsTheSerialNumberInStoredStringsTwelveAndThirteen) {
    Ask("ZN1R", 0);
    Ask("e12R", 2);
    std::string serial = PumpPositionDigits(Ask("?", 3));
    Ask("e13R", 4);
    serial += PumpPositionDigits(Ask("?", 5));
    EXPECT_EQ(serial, "12345678");
}

TEST(SimulatedPumpSerial, SplitsSerialNumbersIntoTwoPlungerPositions) {
    using Halves = std::pair<std::string, std::string>;
    EXPECT_EQ(SimulatedPump::SplitSerial("12345678"), (Halves{"1234", "5678"}));
    EXPECT_EQ(SimulatedPump::SplitSerial("24001"), (Halves{"2", "4001"}));
    EXPECT_EQ(SimulatedPump::SplitSerial("7"), (Halves{"0", "7"}));
    EXPECT_EQ(SimulatedPump::SplitSerial("10000000"), std::nullopt);
    EXPECT_EQ(SimulatedPump::SplitSerial("12a"), std::nullopt);
}

}  // namespace
}  // namespace tessaro::sim
