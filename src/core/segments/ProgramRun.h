#pragma once
// What a running segment program hands its device at a given program time, once the
// program's own evaluation (SegmentAtTime) is wrapped in the run's rules: the program is
// run `Repeat` times in a row, each cycle from its own time 0, and after the last point of
// the last cycle the termination choice decides between 0 % and the last point's setpoint.
// Program time is the run's own clock: the engine stops it while a program is held.

#include <string_view>
#include <vector>

#include "segments/PlannedFlow.h"
#include "segments/SegmentProgram.h"

namespace tessaro {

inline constexpr int kMinimumRepeat = 1;
inline constexpr int kMaximumRepeat = 10000;

struct TProgramRunRules {
    TSegProgTermination End = TSegProgTermination::tspttZero;
    int Repeat = 1;  // taken within kMinimumRepeat..kMaximumRepeat
};

// The program at one program time.
struct TProgramMoment {
    double Setpoint_pct = 0;
    int Cycle = 1;             // 1-based; the last cycle once ended
    double CycleTime_min = 0;  // the time within the cycle, as SegmentAtTime takes it
    bool Ended = false;        // past the last point of the last cycle
};

// The time of the last point of one cycle (the last line's, as ProgramDuration takes it),
// 0 for an empty program; and its setpoint.
double CycleLength_min(std::string_view program);
TProgramMoment ProgramAt(std::string_view program, const TProgramRunRules& rules, double programTime_min);
// The same on a program read once: what the engine evaluates every tick.
double CycleLength_min(const TParsedSegmentProgram& program);
TProgramMoment ProgramAt(const TParsedSegmentProgram& program, const TProgramRunRules& rules, double programTime_min);
// The whole run's length: every cycle.
double RunLength_min(std::string_view program, const TProgramRunRules& rules);

// The planned-flow curve of the whole run: every cycle one after the other, then what the
// termination gives, drawn for one more hundredth of the run's length.
std::vector<TPlannedPoint> PlannedRunPoints(std::string_view program, const TProgramRunRules& rules);

// A stretch in which the program time stood still (a hold): from `ProgramTime_min` on, the
// rest of the run comes `Duration_min` later.
struct TStandStill {
    double ProgramTime_min = 0;
    double Duration_min = 0;
    bool operator==(const TStandStill&) const = default;
};
// The planned curve on the device's own clock: each stand-still holds the value it was
// entered with and moves everything after it later. `standStills` in program-time order.
std::vector<TPlannedPoint> ShiftedByStandStills(const std::vector<TPlannedPoint>& points,
                                                const std::vector<TStandStill>& standStills);

// A program with its cycles written out one after the other and, one second after the end,
// a line with what the termination gives (type "End" for 0 %, "Keep" for the held setpoint):
// the merged listing's view of a run.
std::string ListedRunProgram(std::string_view program, const TProgramRunRules& rules);

}  // namespace tessaro
