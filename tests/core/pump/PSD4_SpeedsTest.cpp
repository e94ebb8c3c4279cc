#include "pump/PSD4_Speeds.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tessaro {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TPumpSpeedDetails Wish(double desired_µgpm, double syringe_µl = 12.5) {
    TPumpSpeedDetails details;
    details.Init();
    details.SyringeVolume_µl = syringe_µl;
    details.DesiredDispense_µgpm = desired_µgpm;
    return details;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(PumpSpeedDetails, InitGivesTheStandardSyringeWithWater) {
    TPumpSpeedDetails details;
    details.DesiredDispense_µgpm = 5;
    details.Error_pct = 3;
    details.Command = "kept";
    details.Init();
    EXPECT_EQ(details.SyringeVolume_µl, 12.5);
    EXPECT_EQ(details.TotalSteps, 24000);
    EXPECT_EQ(details.FluidDensity, 0.99819);
    EXPECT_EQ(details.DesiredDispense_µgpm, 0);
    EXPECT_EQ(details.AchievedDispense_µgpm, 0);
    EXPECT_EQ(details.Error_pct, 0);
    EXPECT_EQ(details.Command, "kept");
}

TEST(PumpRateModels, RangesAndClamping) {
    const TPumpSpeedDetails details = Wish(0);
    EXPECT_NEAR(ContinuousDispenseRate(details, 5), 622.804, 5e-4);
    EXPECT_NEAR(ContinuousDispenseRate(details, 1000), 97607.68, 5e-3);
    EXPECT_EQ(ContinuousDispenseRate(details, 1), ContinuousDispenseRate(details, 5));
    EXPECT_EQ(ContinuousDispenseRate(details, 5000), ContinuousDispenseRate(details, 1000));
    EXPECT_NEAR(SteppedDispenseRate(details, 5), 639.085, 5e-4);
    EXPECT_NEAR(SteppedDispenseRate(details, 30000), 1.038, 5e-4);
    EXPECT_EQ(SteppedDispenseRate(details, 0), SteppedDispenseRate(details, 5));
    EXPECT_EQ(SteppedDispenseRate(details, 40000), SteppedDispenseRate(details, 30000));
}

struct PlanCase {
    double desired;
    const char* command;
    double achieved;
    double error_pct;
    double tolerance_pct;
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.desired << " µg/min"; }

class PumpPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PumpPlans, ChooseTheNearestProgram) {
    const PlanCase& c = GetParam();
    TPumpSpeedDetails details = Wish(c.desired);
    EXPECT_TRUE(PlanPumpSpeed(details));
    EXPECT_EQ(details.Command, c.command);
    EXPECT_NEAR(details.AchievedDispense_µgpm, c.achieved, 0.01);
    EXPECT_NEAR(details.Error_pct, c.error_pct, c.tolerance_pct);
}

INSTANTIATE_TEST_SUITE_P(Wishes, PumpPlans,
                         ::testing::Values(PlanCase{100, "gIV6000A24000OV1000gD1M268G24000GR", 100.04, 0.04, 0.005},
                                           PlanCase{400, "gIV6000A24000OV1000gD1M34G24000GR", 400.89, 0.22, 0.005},
                                           PlanCase{622.8, "gIV6000A24000OV1000gD1M6G24000GR", 626.25, 0.55, 0.005},
                                           PlanCase{700, "gIV6000A24000OV6A0GR", 747.16, 6.74, 0.005},
                                           PlanCase{50000, "gIV6000A24000OV451A0GR", 49989.44, -0.021, 0.0005},
                                           PlanCase{200000, "gIV6000A24000OV1000A0GR", 97607.68, -51.2, 0.005}));

TEST(PumpPlan, NothingWantedStopsTheProgram) {
    TPumpSpeedDetails details = Wish(0);
    details.AchievedDispense_µgpm = 5;
    details.Error_pct = 7;
    EXPECT_FALSE(PlanPumpSpeed(details));
    EXPECT_EQ(details.Command, "TR");
    EXPECT_EQ(details.AchievedDispense_µgpm, 0);
    EXPECT_EQ(details.Error_pct, 7) << "untouched";
    EXPECT_THAT(details.Feedback, StartsWith("Desired dispense:0 µL/min\r\nFormula breakpoint:622.80"));
}

TEST(PumpPlan, AWishThatIsNotANumberStopsTheProgram) {
    TPumpSpeedDetails details = Wish(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(PlanPumpSpeed(details));
    EXPECT_EQ(details.Command, "TR");
}

TEST(PumpPlan, ANegativeWishTakesTheSlowestSteppedProgramAndLeavesTheError) {
    TPumpSpeedDetails details = Wish(-10);
    details.Error_pct = 7;
    EXPECT_TRUE(PlanPumpSpeed(details));
    EXPECT_EQ(details.Command, "gIV6000A24000OV1000gD1M29999G24000GR");
    EXPECT_EQ(details.Error_pct, 7);
}

TEST(PumpPlan, ExtremeWishesStillGiveTheNearestValidProgram) {
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double desired;
        const char* command;
    } cases[] = {
        {-1e308, "gIV6000A24000OV1000gD1M29999G24000GR"},
        {-infinity, "gIV6000A24000OV1000gD1M29999G24000GR"},
        {1e308, "gIV6000A24000OV1000A0GR"},
        {infinity, "gIV6000A24000OV1000A0GR"},
    };
    for (const auto& c : cases) {
        TPumpSpeedDetails details = Wish(c.desired);
        EXPECT_TRUE(PlanPumpSpeed(details)) << c.desired;
        EXPECT_EQ(details.Command, c.command) << c.desired;
        EXPECT_TRUE(std::isfinite(details.AchievedDispense_µgpm)) << c.desired;
    }
}

TEST(PumpPlan, ALargerSyringeScalesEveryRate) {
    TPumpSpeedDetails small = Wish(100);
    TPumpSpeedDetails large = Wish(200, 25);
    ASSERT_TRUE(PlanPumpSpeed(small));
    ASSERT_TRUE(PlanPumpSpeed(large));
    EXPECT_EQ(large.Command, small.Command);
    EXPECT_DOUBLE_EQ(large.AchievedDispense_µgpm, 2 * small.AchievedDispense_µgpm);
    EXPECT_DOUBLE_EQ(ContinuousDispenseRate(large, 5), 2 * ContinuousDispenseRate(small, 5));

    TPumpSpeedDetails between = Wish(1000, 25);  // stepped for the larger syringe only
    ASSERT_TRUE(PlanPumpSpeed(between));
    EXPECT_THAT(between.Command, HasSubstr("gD1M"));
}

TEST(PumpPlan, SteppedTraceShowsEachBisectionStep) {
    TPumpSpeedDetails details = Wish(100);
    ASSERT_TRUE(PlanPumpSpeed(details));
    const std::string& trace = details.Feedback;
    EXPECT_THAT(trace, StartsWith("Desired dispense:100 µL/min\r\nFormula breakpoint:622.80"));
    EXPECT_THAT(trace, HasSubstr(" µL/min\r\nStop: BL:1 M:15000 BH:30000 Desired:100 Achieved:2.07"));
    EXPECT_THAT(trace, HasSubstr(" Prev Error:1.79769313486232E308\r\nStart: BL:1 M:15000 BH:30000 "));
    const auto final = trace.rfind("\r\nFinal: M:268 Desired:100 Achieved:100.04");
    ASSERT_NE(final, std::string::npos);
    EXPECT_EQ(trace.find("\r\n", final + 2), std::string::npos) << "the last line has no line end";
    const int passes = CountOf(trace, "Start: ");
    EXPECT_TRUE(passes == 14 || passes == 15) << passes;
    EXPECT_EQ(CountOf(trace, "Stop: "), passes + 1);
}

TEST(PumpPlan, ContinuousTraceShowsTheBracketOfEachPass) {
    TPumpSpeedDetails details = Wish(200000);
    ASSERT_TRUE(PlanPumpSpeed(details));
    EXPECT_EQ(CountOf(details.Feedback, "BL:"), 26) << "25 passes and the closing line";
    EXPECT_THAT(details.Feedback, HasSubstr("\r\nBL:5 EL:"));
    EXPECT_THAT(details.Feedback, HasSubstr(" * BH:1000 EH:102392.3"));
    EXPECT_THAT(details.Feedback, EndsWith("\r\n"));
}

TEST(PumpPlan, TraceNumbersUseTheGivenSeparator) {
    TPumpSpeedDetails details = Wish(100.5);
    ASSERT_TRUE(PlanPumpSpeed(details, ','));
    EXPECT_THAT(details.Feedback, StartsWith("Desired dispense:100,5 µL/min\r\nFormula breakpoint:622,80"));
    EXPECT_THAT(details.Command, Not(HasSubstr(",")));
}

}  // namespace
}  // namespace tessaro
