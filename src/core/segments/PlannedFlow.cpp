#include "segments/PlannedFlow.h"

namespace tessaro {

namespace {

constexpr double kHeldTimeFactor = 1.01;

void AddStep(std::vector<TPlannedPoint>& points, const TSegment& segment, const TSegment* previous) {
    if (previous) {
        points.push_back({segment.Time, previous->Setpoint});
    } else {
        points.push_back({0, 0});
        points.push_back({segment.Time, 0});
    }
    points.push_back({segment.Time, segment.Setpoint});
}

void AddRamp(std::vector<TPlannedPoint>& points, const TSegment& segment, bool first) {
    if (first && segment.Time > 0 && segment.Setpoint > 0) points.push_back({0, 0});
    points.push_back({segment.Time, segment.Setpoint});
}

}  // namespace

std::vector<TPlannedPoint> PlannedFlowPoints(std::string_view program, TSegProgTermination termination) {
    const std::vector<std::string_view> lines = SplitProgramLines(program);
    std::vector<TPlannedPoint> points;
    points.reserve(lines.size() + 3);
    TSegment previous;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TSegment segment = ReadSegmentLine(lines[i], static_cast<int>(i));
        if (segment.aType == "Step")
            AddStep(points, segment, i > 0 ? &previous : nullptr);
        else if (segment.aType == "Ramp")
            AddRamp(points, segment, i == 0);
        previous = segment;
    }
    if (!lines.empty() && termination == TSegProgTermination::tspttKeep)
        points.push_back({previous.Time * kHeldTimeFactor, previous.Setpoint});
    return points;
}

}  // namespace tessaro
