#include "protocol/AlicatMFCProtocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tessaro {
namespace {

TEST(AlicatCommands, FrameTheUnitLetterAndCarriageReturn) {
    EXPECT_EQ(AlicatPollCommand('A'), "A\r");
    EXPECT_EQ(AlicatGasCommand('A', 8), "AG 8\r");
    EXPECT_EQ(AlicatFullScaleQuery('A'), "AFPF 37 67\r");
}

TEST(AlicatSetpointCommand, SendsCountsRoundedHalfToEvenWithoutClamping) {
    struct Case {
        double Percent;
        const char* Command;
    };
    const Case cases[] = {
        {100, "A64000\r"},      {33.33, "A21331\r"},  {50, "A32000\r"},  {0, "A0\r"},
        {12.5, "A8000\r"},      {0.00390625, "A2\r"},  // 2.5 counts
        {0.01171875, "A8\r"},                          // 7.5 counts
        {-0.00390625, "A-2\r"}, {-0.0, "A0\r"},       {150, "A96000\r"}, {-1, "A-640\r"},
    };
    for (const Case& c : cases) EXPECT_EQ(AlicatSetpointCommand('A', c.Percent), c.Command) << c.Percent;
}

TEST(AlicatSetpointCommand, RefusesWhatIsNotAFiniteNumberAndWritesHugeOnesInFull) {
    EXPECT_EQ(AlicatSetpointCommand('A', std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(AlicatSetpointCommand('A', std::numeric_limits<double>::infinity()), std::nullopt);
    const auto huge = AlicatSetpointCommand('A', 1e300);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->substr(0, 5), "A6400");
    EXPECT_EQ(huge->find_first_not_of("0123456789", 1), huge->size() - 1);
}

TEST(AlicatInitSequence, HoldsTheSevenCommandsWithTheirExpectedReplies) {
    const auto steps = AlicatInitSequence();
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[0].Command, "A\r");
    EXPECT_EQ(steps[0].Expected, "");
    EXPECT_EQ(steps[1].Expected, "A Factory values have been restored.");
    EXPECT_EQ(steps[3].Command, "ASPUE 0\r");
    EXPECT_EQ(steps[3].Expected, "A U");
    EXPECT_EQ(steps[3].FailureLabel, "Remote control failed:");
    EXPECT_EQ(steps[4].FailureLabel, "Remote setpoint mode:count failed:");
    EXPECT_EQ(steps[5].Expected, "A 7 barA");
    EXPECT_EQ(steps[6].Command, "A0\r");
}

TEST(AlicatSerialFromReply, TakesTheWordAfterSerialNumberOrElseTheTrimmedReply) {
    const struct {
        const char* reply;
        const char* serial;
    } cases[] = {
        {"A M05 Serial Number 100001\r", "100001"},
        {"  A M05 serial   number\tXB-77 extra", "XB-77"},
        {"A M05 Serial Number", "A M05 Serial Number"},
        {" A M05 Model 12 \r\n", "A M05 Model 12"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(AlicatSerialFromReply(c.reply), c.serial) << c.reply;
}

TEST(ParseAlicatStatus, ReadsTheWorkedExample) {
    TAlicatData data;
    const auto result = ParseAlicatStatus("A +14.70 +25.00 +0.00 +32000 +32000 +0.0 N2 MOV", 'A', 45000.5, data);
    EXPECT_EQ(result.Outcome, AlicatStatusParse::Applied);
    EXPECT_EQ(data.DataTime, 45000.5);
    EXPECT_EQ(data.Pressure, 14.7);
    EXPECT_EQ(data.Temp, 25.0);
    EXPECT_EQ(data.FlowRate_vol, 0.0);
    EXPECT_EQ(data.FlowRate_mass, 32000.0);
    EXPECT_EQ(data.SetpointFromDevice, 32000.0);
    EXPECT_EQ(data.Totalizer, 0.0);
    EXPECT_EQ(data.GasSN, "N2");
    TAlicatErrors expected;
    expected.Include(TAlicatError::MOV);
    EXPECT_EQ(data.ErrorFlags, expected);
}

TEST(ParseAlicatStatus, SetsFlagsFromTheNinthFieldOnAndIgnoresUnknownTokens) {
    // Separators are runs of any character of code 32 or below.
    TAlicatData data;
    data.ErrorFlags.Include(TAlicatError::ADC);  // replaced, not merged
    ParseAlicatStatus("A\t+1.0 +25 +5 +6 +7 +8\r\nN2 HLD lck XYZ LCK", 'A', 1, data);
    TAlicatErrors expected;
    expected.Include(TAlicatError::HLD);
    expected.Include(TAlicatError::LCK);
    EXPECT_EQ(data.ErrorFlags, expected);
    EXPECT_EQ(data.FlowRate_vol, 5.0);
}

// A line without its gas (and so without its flags) or from another unit is no reading.
TEST(ParseAlicatStatus, SetsNothingForAShortLineOrOneFromAnotherUnit) {
    struct Case {
        const char* Line;
        AlicatStatusParse Outcome;
    };
    const Case cases[] = {
        {"", AlicatStatusParse::TooFewFields},
        {"A +1 +2 +3 +4 +5", AlicatStatusParse::TooFewFields},
        {"A +1 +2 +3 +4 +5 +6", AlicatStatusParse::TooFewFields},
        {"B +1 +2 +3 +4 +5 +6 N2", AlicatStatusParse::OtherUnit},
        {"a +1 +2 +3 +4 +5 +6 N2 LCK", AlicatStatusParse::OtherUnit},
        {"AA +1 +2 +3 +4 +5 +6 N2", AlicatStatusParse::OtherUnit},
    };
    for (const Case& c : cases) {
        TAlicatData data;
        data.Pressure = 9;
        data.GasSN = "old";
        EXPECT_EQ(ParseAlicatStatus(c.Line, 'A', 1, data).Outcome, c.Outcome) << c.Line;
        EXPECT_EQ(data.Pressure, 9.0) << c.Line;
        EXPECT_EQ(data.GasSN, "old") << c.Line;
        EXPECT_EQ(data.DataTime, 0.0) << c.Line;
    }
    TAlicatData other;
    EXPECT_EQ(ParseAlicatStatus("B +1 +2 +3 +4 +5 +6 N2", 'B', 1, other).Outcome, AlicatStatusParse::Applied);
}

TEST(ParseAlicatStatus, LeavesTheRecordAloneWhenANumberIsGarbled) {
    TAlicatData data;
    data.FlowRate_mass = 123;
    const auto result = ParseAlicatStatus("A +1 +2 +3 +4x +5 +6 N2", 'A', 1, data);
    EXPECT_EQ(result.Outcome, AlicatStatusParse::NotANumber);
    EXPECT_EQ(result.BadField, 4);
    EXPECT_EQ(data.FlowRate_mass, 123.0);
    EXPECT_EQ(data.Pressure, 0.0);
    EXPECT_EQ(data.GasSN, "");
}

TEST(TAlicatDataErrors, JoinsTheExplanationsInFlagOrderWithoutATrailingLineEnd) {
    TAlicatData data;
    std::string text = "stale";
    EXPECT_FALSE(data.Errors(text));
    EXPECT_EQ(text, "");

    data.ErrorFlags.Include(TAlicatError::LCK);
    data.ErrorFlags.Include(TAlicatError::HLD);
    EXPECT_TRUE(data.Errors(text));
    EXPECT_EQ(text,
              "Valve drive hold enabled (bypass active loop control).\r\n"
              "Display buttons are disabled.");
}

TEST(TAlicatDataErrors, KeepsTheEnDashOfTheCommunicationError) {
    TAlicatData data;
    data.ErrorFlags.Include(TAlicatError::ADC);
    std::string text;
    data.Errors(text);
    EXPECT_EQ(text,
              "Internal communication error (not common \u2013 please contact Alicat for "
              "assistance).");
}

TEST(AlicatErrorTokens, RoundTripAllElevenFlags) {
    for (int i = 0; i < kAlicatErrorCount; ++i) {
        const auto flag = static_cast<TAlicatError>(i);
        EXPECT_EQ(AlicatErrorFromToken(AlicatErrorToken(flag)), flag);
        EXPECT_FALSE(AlicatErrorExplanation(flag).empty());
    }
    EXPECT_EQ(AlicatErrorToken(TAlicatError::VOV), "VOV");
    EXPECT_EQ(AlicatErrorFromToken("vov"), std::nullopt);
}

TEST(ParseAlicatFullScale, TakesFieldOneOfExactlyFourBlankSeparatedFields) {
    const AlicatFullScale good = ParseAlicatFullScale("A 1.1450 67 g/m");
    EXPECT_TRUE(good.FourFields);
    EXPECT_EQ(good.Value, "1.1450");
    EXPECT_EQ(good.Unit, "g/m");
    EXPECT_EQ(good.MaxFlow_gpm, 1.145);

    for (const char* reply : {"A 1.5 67", "A 1.5 67 g/m x", "A  1.5 67 g/m", ""}) {
        const AlicatFullScale other = ParseAlicatFullScale(reply);
        EXPECT_FALSE(other.FourFields) << reply;
        EXPECT_EQ(other.MaxFlow_gpm, std::nullopt) << reply;
    }

    const AlicatFullScale notANumber = ParseAlicatFullScale("A 1,5 67 g/m");
    EXPECT_TRUE(notANumber.FourFields);
    EXPECT_EQ(notANumber.MaxFlow_gpm, std::nullopt);
}

}  // namespace
}  // namespace tessaro
