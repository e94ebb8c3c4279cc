#pragma once
// The points of a device's planned-flow curve, drawn from its segment program: a Step jumps
// at its time from the previous setpoint, a Ramp runs straight from the previous point, the
// first Step starts from zero at time zero, and with the "keep" termination the last
// setpoint is held for one more hundredth of the last time. One pass over the program.

#include <string_view>
#include <vector>

#include "segments/SegmentProgram.h"

namespace tessaro {

struct TPlannedPoint {
    double Time_min = 0;
    double Setpoint_pct = 0;
    bool operator==(const TPlannedPoint&) const = default;
};

// A line that cannot be read shows "Failed to read segment" and adds nothing, but what
// could be read of it still counts as the previous point of the next line and as the last
// point; a type word other than exactly "Step" or "Ramp" adds no point.
std::vector<TPlannedPoint> PlannedFlowPoints(std::string_view program, TSegProgTermination termination);

}  // namespace tessaro
