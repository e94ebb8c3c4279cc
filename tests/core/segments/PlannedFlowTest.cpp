#include "segments/PlannedFlow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageCapture.h"

namespace tessaro {
namespace {

constexpr TSegProgTermination kKeep = TSegProgTermination::tspttKeep;
const auto kOther = TSegProgTermination::tspttZero;

void ExpectPoints(const std::vector<TPlannedPoint>& actual, const std::vector<TPlannedPoint>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].Time_min, expected[i].Time_min, 1e-12) << i;
        EXPECT_EQ(actual[i].Setpoint_pct, expected[i].Setpoint_pct) << i;
    }
}

TEST(PlannedFlowPoints, FollowStepsRampsAndTheHeldLastSetpoint) {
    struct Case {
        const char* program;
        std::vector<TPlannedPoint> points;
    };
    const Case cases[] = {
        {"10 100 Ramp\r\n12 100 Step\r\n15 50 Ramp", {{0, 0}, {10, 100}, {12, 100}, {12, 100}, {15, 50}, {15.15, 50}}},
        // A first Step after time zero starts from zero at zero.
        {"5 40 Step", {{0, 0}, {5, 0}, {5, 40}, {5.05, 40}}},
        {"0 40 Step\n3 10 Step", {{0, 0}, {0, 0}, {0, 40}, {3, 40}, {3, 10}, {3.03, 10}}},
        // A first Ramp starts from zero only when both its time and setpoint are above zero.
        {"4 30 Ramp", {{0, 0}, {4, 30}, {4.04, 30}}},
        {"0 30 Ramp\r\n10 30 Ramp", {{0, 30}, {10, 30}, {10.1, 30}}},
        {"4 0 Ramp", {{4, 0}, {4.04, 0}}},
        // Only the exact type words draw, but the line still counts as the first and as the
        // previous one.
        {"5 40 ramp\r\n10 20 Ramp", {{10, 20}, {10.1, 20}}},
        {"5 40 ramp\r\n10 20 Step", {{10, 40}, {10, 20}, {10.1, 20}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ExpectPoints(PlannedFlowPoints(c.program, kKeep), c.points);
    }
}

TEST(PlannedFlowPoints, HoldTheLastSetpointOnlyWithTheKeepTermination) {
    ExpectPoints(PlannedFlowPoints("5 40 Step", kOther), {{0, 0}, {5, 0}, {5, 40}});
    ExpectPoints(PlannedFlowPoints("", kOther), {});
}

TEST(PlannedFlowPoints, AnUnreadableLineIsToldAndAddsNothing) {
    MessageCapture messages;
    // What was read before the fault (the time 7) is still the last point.
    ExpectPoints(PlannedFlowPoints("5 40 Step\r\n7 x Ramp", kKeep), {{0, 0}, {5, 0}, {5, 40}, {7.07, 0}});
    // An empty line reads as time 0 and setpoint 0: the next Step starts from there.
    ExpectPoints(PlannedFlowPoints("5 40 Step\r\n\r\n9 20 Step", kKeep),
                 {{0, 0}, {5, 0}, {5, 40}, {9, 0}, {9, 20}, {9.09, 20}});
    EXPECT_EQ(messages.messages, (std::vector<std::string>{"Failed to read segment", "Failed to read segment"}));
}

// The points as drawn by reading every line on its own through ReadSegment.
std::vector<TPlannedPoint> PointsLineByLine(const std::string& program) {
    std::vector<TPlannedPoint> points;
    const int count = SegmentCount(program);
    TSegment previous;
    for (int i = 0; i < count; ++i) {
        const TSegment segment = ReadSegment(i, program);
        if (segment.aType == "Step") {
            if (i > 0) {
                points.push_back({segment.Time, previous.Setpoint});
            } else {
                points.push_back({0, 0});
                points.push_back({segment.Time, 0});
            }
            points.push_back({segment.Time, segment.Setpoint});
        } else if (segment.aType == "Ramp") {
            if (i == 0 && segment.Time > 0 && segment.Setpoint > 0) points.push_back({0, 0});
            points.push_back({segment.Time, segment.Setpoint});
        }
        previous = segment;
    }
    if (count > 0) points.push_back({previous.Time * 1.01, previous.Setpoint});
    return points;
}

TEST(PlannedFlowPoints, MatchReadingEachLineOnItsOwn) {
    MessageCapture silence;
    for (const std::string program : {"1 10 Step\r\n2 20 Ramp\r\n", "1 10 Step\r2 20 Ramp\n\n3 5 Step note\r\n",
                                      "  7   30\tStep  a_note \r\n8 x\r\n9", "\r\n\r\n", "1e1 5 Ramp\r\n20 +50 Step"}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(PlannedFlowPoints(program, kKeep), PointsLineByLine(program));
    }
}

}  // namespace
}  // namespace tessaro
