// Program control beyond start and stop: hold and resume, the run settings of the "Design
// segments" page, the end of a program, holdback and the deviation alarm, and the planned
// curve as the device will really run it.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/Clock.h"
#include "engine/DeviceSetup.h"
#include "engine/Engine.h"
#include "engine/ProgramOptions.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentEditing.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

namespace {

// Up to three decimals, trailing zeros left out, as the legend shows flows.
constexpr const char* kAlarmNumber = "0.###";

std::string ClockText(const QDateTime& local) {
    const TLocalDateTime now = ToLocalDateTime(local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.Hour, now.Minute, now.Second);
    return text;
}

std::string DeviceLabel(const TDeviceInfo& device) { return DeviceTypeName(device.DevType) + " on " + device.COMPort; }

std::chrono::milliseconds Seconds(double seconds) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000)));
}

std::vector<std::string> ConfiguredPorts() {
    std::vector<std::string> ports;
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured()) ports.push_back(device.COMPort);
    return ports;
}

}  // namespace

TProgramOptions ProgramOptionsOf(const TDeviceInfo& device) {
    return {ItemOfTermination(device.SegmentProgramTermination),
            device.ProgramRepeat,
            device.HoldbackBand_pct,
            device.LongestHold_s,
            device.AlarmBand_pct,
            device.AlarmDelay_s};
}

void TakeProgramOptions(TDeviceInfo& device, const TProgramOptions& options) {
    const auto within = [](double value, double most) {
        return std::isfinite(value) ? std::clamp(value, 0.0, most) : 0;
    };
    device.SegmentProgramTermination = TerminationOfItem(options.TerminationItem);
    device.ProgramRepeat = std::clamp(options.Repeat, kMinimumRepeat, kMaximumRepeat);
    device.HoldbackBand_pct = within(options.HoldbackBand_pct, kMaximumBand_pct);
    device.LongestHold_s = within(options.LongestHold_s, kMaximumSeconds);
    device.AlarmBand_pct = within(options.AlarmBand_pct, kMaximumBand_pct);
    device.AlarmDelay_s = within(options.AlarmDelay_s, kMaximumSeconds);
}

bool TEngine::SetProgramOptions(const std::optional<std::string>& port, const TProgramOptions& options) {
    TDeviceInfo device;
    if (!port || !FindDevice(*port, device)) return false;
    if (ProgramOptionsOf(device) == options) return true;
    TakeProgramOptions(device, options);
    if (!StoreDevice(device)) {
        MM("Saving device configuration failed");
        return false;
    }
    window_.ShowDevice(device);
    return true;
}

// --- Hold and resume ------------------------------------------------------------------------

void TEngine::HoldPrograms(const std::vector<std::string>& ports) {
    const char sep = settings_.DecimalSeparator;
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device) || !device.IsConfigured()) continue;
        if (device.ControlMode != dcmSegment) {
            MM("Hold: " + device.NameRole + " runs no segment program; nothing held");
            continue;
        }
        if (device.Run.Pause == TProgramPause::Hold) {
            MM("Hold: the program of " + device.NameRole + " is held already");
            continue;
        }
        // A holdback in progress becomes the operator's hold.
        device.BeginPause(TProgramPause::Hold);
        const std::string held = "Hold program of " + device.NameRole + " at " + ClockText(LocalNow()) +
                                 ", program time " + FormatPattern(device.ProgramTime_min(), "0.###", sep) + " min";
        MM(held);
        Notify(TEngineEventKind::ProgramHeld, &device, held);
        StoreDevice(device);
        window_.ShowDevice(device);
    }
    RunStateChanged();
}

void TEngine::ResumePrograms(const std::vector<std::string>& ports) {
    const char sep = settings_.DecimalSeparator;
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device) || !device.IsConfigured()) continue;
        if (device.ControlMode != dcmSegment || device.Run.Pause != TProgramPause::Hold) {
            MM("Resume: the program of " + device.NameRole + " is not held; nothing resumed");
            continue;
        }
        const double heldFor_s = static_cast<double>((MonotonicNow() - device.Run.PausedSince).count()) / 1000;
        device.EndPause();
        const std::string resumed = "Resume program of " + device.NameRole + " at " + ClockText(LocalNow()) +
                                    ", program time " + FormatPattern(device.ProgramTime_min(), "0.###", sep) +
                                    " min, after a hold of " + FormatPattern(heldFor_s, "0.#", sep) + " s";
        MM(resumed);
        Notify(TEngineEventKind::ProgramResumed, &device, resumed);
        StoreDevice(device);
        window_.ShowDevice(device);
    }
    RunStateChanged();
}

void TEngine::HoldAllPrograms() { HoldPrograms(ConfiguredPorts()); }

void TEngine::ResumeAllPrograms() { ResumePrograms(ConfiguredPorts()); }

// --- The program in the tick ----------------------------------------------------------------

double TEngine::ProgramSetpoint(TDeviceInfo& device, double programTime_min) {
    const TProgramMoment moment = ProgramAt(ParsedProgram(device), device.RunRules(), programTime_min);
    device.Run.Cycle = moment.Cycle;
    if (moment.Ended && !device.Run.Ended) {
        device.Run.Ended = true;
        runStateDue_ = true;
        const std::string end =
            moment.Setpoint_pct == 0 && device.SegmentProgramTermination != TSegProgTermination::tspttKeep
                ? "goes to 0 %"
                : "keeps " + FormatGeneral(moment.Setpoint_pct, settings_.DecimalSeparator) + " %";
        const std::string ended = "Segment program of " + device.NameRole + " ended at " + ClockText(LocalNow()) +
                                  "; " + DeviceLabel(device) + " " + end;
        MM(ended);
        Notify(TEngineEventKind::ProgramEnded, &device, ended);
    }
    return moment.Setpoint_pct;
}

const TParsedSegmentProgram& TEngine::ParsedProgram(const TDeviceInfo& device) const {
    return parsedPrograms_.For(device.COMPort, device.SegmentProgram);
}

std::vector<TStandStill> TEngine::StandStillsNow(const TDeviceInfo& device) const {
    std::vector<TStandStill> stills = device.Run.StandStills;
    if (device.Run.Pause != TProgramPause::None)
        stills.push_back(
            {device.ProgramTime_min(),
             std::chrono::duration<double, std::ratio<60>>(MonotonicNow() - device.Run.PausedSince).count()});
    return stills;
}

std::vector<TPlannedPoint> TEngine::PlannedCurve(const TDeviceInfo& device) const {
    const std::vector<TPlannedPoint> planned = PlannedRunPoints(device.SegmentProgram, device.RunRules());
    if (device.ControlMode != dcmSegment) return planned;
    return ShiftedByStandStills(planned, StandStillsNow(device));
}

const TPlannedCurve& TEngine::PlannedCurveOf(const TDeviceInfo& device) {
    TCachedPlannedCurve& cached = plannedCurves_[std::string(TrimBlanksAndControls(device.COMPort))];
    const TProgramRunRules rules = device.RunRules();
    const bool shifted = device.ControlMode == dcmSegment;
    std::vector<TStandStill> stills = shifted ? StandStillsNow(device) : std::vector<TStandStill>();
    const bool sameProgram = cached.Inputs && cached.Inputs->ProgramVersion == device.SegmentProgram.Version() &&
                             cached.Inputs->Rules.End == rules.End && cached.Inputs->Rules.Repeat == rules.Repeat;
    if (sameProgram && cached.Inputs->Shifted == shifted && cached.Inputs->StandStills == stills) return cached.Curve;

    // A long program is read again only when it changed; a pause only moves its points.
    if (!sameProgram) cached.Unshifted = PlannedRunPoints(device.SegmentProgram, rules);
    cached.Curve.Points = shifted ? ShiftedByStandStills(cached.Unshifted, stills) : cached.Unshifted;
    cached.Curve.Revision = ++plannedRevisions_;
    cached.Inputs = TPlannedCurveInputs{device.SegmentProgram.Version(), rules, shifted, std::move(stills)};
    return cached.Curve;
}

// --- Holdback and the deviation alarm -------------------------------------------------------

void TEngine::WatchFlow(TDeviceInfo& device, const TFlowComparison& flow) {
    if (device.ControlMode == dcmIdle) {
        if (device.Watch.Deviation) ClearAlarm(device, flow);
        device.Watch.Outside = false;
        return;
    }
    const double deviation = std::abs(flow.Achieved_pct - flow.Planned_pct);
    HoldBack(device, deviation, flow);
    WatchDeviation(device, deviation, flow);
}

void TEngine::HoldBack(TDeviceInfo& device, double deviation, const TFlowComparison& flow) {
    TProgramRun& run = device.Run;
    const bool applies = device.ControlMode == dcmSegment && device.HoldbackBand_pct > 0 &&
                         run.Pause != TProgramPause::Hold && !run.Ended;
    if (!applies || deviation <= device.HoldbackBand_pct) {
        if (run.Pause == TProgramPause::Holdback) device.EndPause();
        if (applies) run.HoldbackGivenUp = false;
        return;
    }
    if (run.HoldbackGivenUp) return;
    if (run.Pause == TProgramPause::None) {
        device.BeginPause(TProgramPause::Holdback);
        device.Watch.HoldbackSinceText = ClockText(LocalNow());
        return;
    }
    if (MonotonicNow() - run.PausedSince <= Seconds(device.LongestHold_s)) return;
    // The program goes on; the operator decides what to do about the flow.
    device.EndPause();
    run.HoldbackGivenUp = true;
    if (!device.Watch.Deviation) RaiseAlarm(device, flow, device.HoldbackBand_pct, device.Watch.HoldbackSinceText);
}

void TEngine::WatchDeviation(TDeviceInfo& device, double deviation, const TFlowComparison& flow) {
    TFlowWatch& watch = device.Watch;
    if (watch.Deviation && deviation <= watch.RaisedBand_pct) ClearAlarm(device, flow);
    if (device.AlarmBand_pct <= 0 || deviation <= device.AlarmBand_pct) {
        watch.Outside = false;
        return;
    }
    if (!watch.Outside) {
        watch.Outside = true;
        watch.OutsideSince = MonotonicNow();
        watch.OutsideSinceText = ClockText(LocalNow());
    }
    if (!watch.Deviation && MonotonicNow() - watch.OutsideSince > Seconds(device.AlarmDelay_s))
        RaiseAlarm(device, flow, device.AlarmBand_pct, watch.OutsideSinceText);
}

std::string TEngine::FlowsText(const TDeviceInfo& device, const TFlowComparison& flow) const {
    const char sep = settings_.DecimalSeparator;
    const std::string& unit = device.FlowUnitUser.Name;
    return "achieved " + FormatPattern(flow.Achieved, kAlarmNumber, sep) + " " + unit + ", planned " +
           FormatPattern(PlannedFlowInUnit(device, flow), kAlarmNumber, sep) + " " + unit;
}

double TEngine::PlannedFlowInUnit(const TDeviceInfo& device, const TFlowComparison& flow) const {
    TGasFlowDetails grams = FlowUnitGrams().Clone();
    grams.GasFlowValue = flow.Planned_pct / 100 * flow.FullScale_gpm;
    grams.GasMolarMass = device.FlowUnitUser.GasMolarMass;
    TGasFlowDetails target = device.FlowUnitUser.Clone();
    std::string errors, feedback;
    if (!GasFlowConversion(grams, target, errors, feedback, settings_.DecimalSeparator)) return flow.Planned_pct;
    return target.GasFlowValue;
}

void TEngine::RaiseAlarm(TDeviceInfo& device, const TFlowComparison& flow, double band_pct, const std::string& since) {
    device.Watch.Deviation = true;
    device.Watch.RaisedBand_pct = band_pct;
    const std::string alarm = "Alarm: " + device.NameRole + " " + FlowsText(device, flow) + " since " + since;
    alarmTexts_[device.COMPort] = alarm;
    ReportProblem(alarm);
    Notify(TEngineEventKind::AlarmRaised, &device, alarm);
    window_.SetDeviceLedFault(device.Led, true);
}

void TEngine::ClearAlarm(TDeviceInfo& device, const TFlowComparison& flow) {
    device.Watch.Deviation = false;
    const std::string cleared = "Alarm cleared: " + device.NameRole + " " + FlowsText(device, flow);
    alarmTexts_.erase(device.COMPort);
    MM(cleared);
    Notify(TEngineEventKind::AlarmCleared, &device, cleared);
    if (!device.NoReply) window_.SetDeviceLedFault(device.Led, false);
}

}  // namespace tessaro
