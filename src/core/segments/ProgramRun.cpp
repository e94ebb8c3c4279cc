#include "segments/ProgramRun.h"

#include <algorithm>
#include <cmath>

#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr double kHeldTimeFactor = 1.01;
constexpr double kListedEndDelay_min = 1.0 / 60;

int TakenRepeat(int repeat) { return std::clamp(repeat, kMinimumRepeat, kMaximumRepeat); }

TSegment LastSegment(std::string_view program) {
    const std::vector<std::string_view> lines = SplitProgramLines(program);
    if (lines.empty()) return ImplicitStartSegment();
    return ReadSegmentLine(lines.back(), static_cast<int>(lines.size()) - 1);
}

double EndSetpoint(std::string_view program, TSegProgTermination end) {
    if (end != TSegProgTermination::tspttKeep) return 0;
    return LastSegment(program).Setpoint;
}

}  // namespace

double CycleLength_min(std::string_view program) { return std::max(0.0, LastSegment(program).Time); }

double RunLength_min(std::string_view program, const TProgramRunRules& rules) {
    return CycleLength_min(program) * TakenRepeat(rules.Repeat);
}

namespace {

// The run's rules around one cycle of `length`: `evaluate(t)` gives the program at a time
// within the cycle, `endSetpoint()` what the termination leaves after the last cycle.
template <typename Evaluate, typename EndSetpointOf>
TProgramMoment MomentOfRun(double length, const TProgramRunRules& rules, double programTime_min, Evaluate&& evaluate,
                           EndSetpointOf&& endSetpoint) {
    const int repeat = TakenRepeat(rules.Repeat);
    TProgramMoment moment;
    if (programTime_min > length * repeat) {
        moment.Ended = true;
        moment.Cycle = repeat;
        moment.CycleTime_min = programTime_min - length * (repeat - 1);
        moment.Setpoint_pct = endSetpoint();
        return moment;
    }
    int cycle = 0;
    if (length > 0) cycle = std::min(static_cast<int>(std::floor(programTime_min / length)), repeat - 1);
    moment.Cycle = std::max(cycle, 0) + 1;
    moment.CycleTime_min = programTime_min - length * (moment.Cycle - 1);
    moment.Setpoint_pct = evaluate(moment.CycleTime_min);
    return moment;
}

}  // namespace

TProgramMoment ProgramAt(std::string_view program, const TProgramRunRules& rules, double programTime_min) {
    return MomentOfRun(
        CycleLength_min(program), rules, programTime_min,
        [program](double t) { return SegmentAtTime(program, t).Setpoint; },
        [program, &rules] { return EndSetpoint(program, rules.End); });
}

double CycleLength_min(const TParsedSegmentProgram& program) { return std::max(0.0, program.Last().Time); }

TProgramMoment ProgramAt(const TParsedSegmentProgram& program, const TProgramRunRules& rules, double programTime_min) {
    return MomentOfRun(
        CycleLength_min(program), rules, programTime_min, [&program](double t) { return program.At(t).Setpoint; },
        [&program, &rules] { return rules.End == TSegProgTermination::tspttKeep ? program.Last().Setpoint : 0.0; });
}

std::vector<TPlannedPoint> PlannedRunPoints(std::string_view program, const TProgramRunRules& rules) {
    const std::vector<TPlannedPoint> cycle = PlannedFlowPoints(program, rules.End);
    if (SplitProgramLines(program).empty()) return {};
    // PlannedFlowPoints holds the last setpoint with the keep termination; the run adds its
    // own end after the last cycle.
    const size_t cyclePoints = rules.End == TSegProgTermination::tspttKeep ? cycle.size() - 1 : cycle.size();
    const int repeat = TakenRepeat(rules.Repeat);
    const double length = CycleLength_min(program);
    std::vector<TPlannedPoint> points;
    points.reserve(cyclePoints * static_cast<size_t>(repeat) + 2);
    for (int c = 0; c < repeat; ++c)
        for (size_t i = 0; i < cyclePoints; ++i)
            points.push_back({cycle[i].Time_min + length * c, cycle[i].Setpoint_pct});
    const double total = length * repeat;
    const double endSetpoint = EndSetpoint(program, rules.End);
    if (rules.End != TSegProgTermination::tspttKeep) points.push_back({total, endSetpoint});
    points.push_back({total * kHeldTimeFactor, endSetpoint});
    return points;
}

std::vector<TPlannedPoint> ShiftedByStandStills(const std::vector<TPlannedPoint>& points,
                                                const std::vector<TStandStill>& standStills) {
    if (standStills.empty()) return points;
    std::vector<TPlannedPoint> shifted;
    shifted.reserve(points.size() + 2 * standStills.size());
    double shift = 0;
    size_t next = 0;
    // The value the curve has at `time`, between the points around it.
    const auto valueAt = [&](size_t i, double time) {
        if (i == 0) return points.empty() ? 0.0 : points[0].Setpoint_pct;
        if (i >= points.size()) return points.back().Setpoint_pct;
        const TPlannedPoint& a = points[i - 1];
        const TPlannedPoint& b = points[i];
        if (b.Time_min <= a.Time_min) return a.Setpoint_pct;
        return a.Setpoint_pct + (time - a.Time_min) * (b.Setpoint_pct - a.Setpoint_pct) / (b.Time_min - a.Time_min);
    };
    for (size_t i = 0; i <= points.size(); ++i) {
        // A stand-still at or before this point's time begins with the curve's value then.
        while (next < standStills.size() &&
               (i == points.size() || standStills[next].ProgramTime_min < points[i].Time_min)) {
            const TStandStill& still = standStills[next++];
            const double value = valueAt(i, still.ProgramTime_min);
            shifted.push_back({still.ProgramTime_min + shift, value});
            shift += still.Duration_min;
            shifted.push_back({still.ProgramTime_min + shift, value});
        }
        if (i < points.size()) shifted.push_back({points[i].Time_min + shift, points[i].Setpoint_pct});
    }
    return shifted;
}

std::string ListedRunProgram(std::string_view program, const TProgramRunRules& rules) {
    const std::vector<std::string_view> lines = SplitProgramLines(program);
    if (lines.empty()) return std::string(program);
    const int repeat = TakenRepeat(rules.Repeat);
    const double length = CycleLength_min(program);
    std::string listed;
    for (int c = 0; c < repeat; ++c)
        for (size_t i = 0; i < lines.size(); ++i) {
            const TSegment segment = ReadSegmentLine(lines[i], static_cast<int>(i));
            listed += FormatGeneral(segment.Time + length * c, '.') + " " + FormatGeneral(segment.Setpoint, '.') + " " +
                      segment.aType + "\r\n";
        }
    const bool keep = rules.End == TSegProgTermination::tspttKeep;
    listed += FormatGeneral(length * repeat + kListedEndDelay_min, '.') + " " +
              FormatGeneral(EndSetpoint(program, rules.End), '.') + (keep ? " Keep" : " End");
    return listed;
}

}  // namespace tessaro
