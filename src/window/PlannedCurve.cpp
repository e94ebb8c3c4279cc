#include "PlannedCurve.h"

namespace tessaro {

namespace {

constexpr double kHeldTimeFactor = 1.01;

}  // namespace

std::vector<TPlannedPoint> PlannedFlowPoints(std::string_view program, TSegProgTermination termination) {
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
    if (count > 0 && termination == TSegProgTermination::tspttKeep)
        points.push_back({previous.Time * kHeldTimeFactor, previous.Setpoint});
    return points;
}

}  // namespace tessaro
