#include "segments/ProgramRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaro {
namespace {

constexpr TSegProgTermination kKeep = TSegProgTermination::tspttKeep;
constexpr TSegProgTermination kZero = TSegProgTermination::tspttZero;

void ExpectPoints(const std::vector<TPlannedPoint>& actual, const std::vector<TPlannedPoint>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].Time_min, expected[i].Time_min, 1e-12) << i;
        EXPECT_NEAR(actual[i].Setpoint_pct, expected[i].Setpoint_pct, 1e-12) << i;
    }
}

// A one-minute program whose first point is a Ramp: each cycle ramps up from 0 % again.
constexpr const char* kRampProgram = "0.5 40 Ramp\r\n1 40 Step";

TEST(ProgramAt, CyclesRestartAtTimeZeroAndTheEndChoiceFollowsTheLastCycle) {
    struct Case {
        double time;
        TSegProgTermination end;
        int repeat;
        double setpoint;
        int cycle;
        bool ended;
    };
    const Case cases[] = {
        {0.25, kZero, 3, 20, 1, false},
        {1.0, kZero, 3, 0, 2, false},  // the second cycle begins at its own time 0
        {1.25, kZero, 3, 20, 2, false},
        {2.75, kZero, 3, 40, 3, false},
        {3.0, kZero, 3, 40, 3, false},  // the last point itself still counts
        {3.01, kZero, 3, 0, 3, true},
        {3.01, kKeep, 3, 40, 3, true},
        {1.01, kKeep, 1, 40, 1, true},
        {1.01, kZero, 1, 0, 1, true},
        // Out-of-range repeats are taken at the nearest bound.
        {1.5, kZero, 0, 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.time << " min, repeat " << c.repeat);
        const TProgramMoment moment = ProgramAt(kRampProgram, {c.end, c.repeat}, c.time);
        EXPECT_DOUBLE_EQ(moment.Setpoint_pct, c.setpoint);
        EXPECT_EQ(moment.Cycle, c.cycle);
        EXPECT_EQ(moment.Ended, c.ended);
    }
}

TEST(ProgramAt, EmptyProgramHasEndedAtOnceWithZero) {
    const TProgramMoment moment = ProgramAt("", {kKeep, 5}, 0.1);
    EXPECT_TRUE(moment.Ended);
    EXPECT_EQ(moment.Setpoint_pct, 0);
}

TEST(PlannedRunPoints, ShowEveryCycleAndTheEndTheDeviceGets) {
    ExpectPoints(PlannedRunPoints("5 40 Step", {kKeep, 1}), {{0, 0}, {5, 0}, {5, 40}, {5.05, 40}});
    ExpectPoints(PlannedRunPoints("5 40 Step", {kZero, 1}), {{0, 0}, {5, 0}, {5, 40}, {5, 0}, {5.05, 0}});
    ExpectPoints(PlannedRunPoints(kRampProgram, {kZero, 2}),
                 {{0, 0}, {0.5, 40}, {1, 40}, {1, 40}, {1, 0}, {1.5, 40}, {2, 40}, {2, 40}, {2, 0}, {2.02, 0}});
    ExpectPoints(PlannedRunPoints("", {kZero, 3}), {});
}

TEST(ShiftedByStandStills, AHoldKeepsTheValueItBeganWithAndMovesTheRestLater) {
    const std::vector<TPlannedPoint> ramp{{0, 0}, {10, 100}, {12, 100}};
    // Held for 2 minutes at 5 min (50 %), then for 1 minute at 11 min.
    ExpectPoints(ShiftedByStandStills(ramp, {{5, 2}, {11, 1}}),
                 {{0, 0}, {5, 50}, {7, 50}, {12, 100}, {13, 100}, {14, 100}, {15, 100}});
    ExpectPoints(ShiftedByStandStills(ramp, {}), ramp);
    // A hold after the last point holds the last value.
    ExpectPoints(ShiftedByStandStills(ramp, {{20, 3}}), {{0, 0}, {10, 100}, {12, 100}, {20, 100}, {23, 100}});
}

TEST(ListedRunProgram, WritesTheCyclesOutAndTheEndOneSecondLater) {
    EXPECT_EQ(ListedRunProgram("1 40 Step note\r\n2 0 Ramp", {kZero, 2}),
              "1 40 Step\r\n2 0 Ramp\r\n3 40 Step\r\n4 0 Ramp\r\n4.01666666666667 0 End");
    EXPECT_EQ(ListedRunProgram("1 40 Step", {kKeep, 1}), "1 40 Step\r\n1.01666666666667 40 Keep");
    EXPECT_EQ(ListedRunProgram("", {kKeep, 1}), "");
}

}  // namespace
}  // namespace tessaro
