// The safe restart: the state file kept while programs run, the stop at start of the devices
// a run that did not end cleanly left, and the resume of its programs.

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

#include "engine/Clock.h"
#include "engine/DeviceSetup.h"
#include "engine/Engine.h"
#include "engine/ProgramOptions.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/InterruptedRun.h"
#include "run/RunState.h"
#include "segments/SegmentEditing.h"
#include "segments/SegmentProgram.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr double kMillisecondsPerMinute = 60000;

std::chrono::milliseconds FromMinutes(double minutes) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(minutes * kMillisecondsPerMinute)));
}

std::string StateCaption(const TRunStateDevice& state) {
    return state.Name + " (" + DeviceTypeName(state.Kind) + " on " + state.Port + ")";
}

std::string GapText(double minutes, char separator) {
    const std::string text = DurationToText(DurationStyle::Compact, minutes, separator);
    return text.empty() ? "0s" : text;
}

// The Configure tab's entry that gives the device what it had. A flow controller has no
// syringe; the entry still carries one the tab would accept.
TConfigurationEntry ConfigurationOf(const TRunStateDevice& state) {
    TConfigurationEntry entry;
    entry.NameRole = state.Name;
    entry.Color = state.Color;
    entry.FluidID = state.FluidID;
    entry.UnitName = state.UnitName;
    entry.UnitIsGrams = state.UnitIsGrams;
    entry.UnitTemperatureC = state.UnitTemperatureC;
    entry.UnitPressureBar = state.UnitPressureBar;
    const bool syringeKnown = std::ranges::find(kSyringeSizes_µL, state.SyringeSize_µL) != kSyringeSizes_µL.end();
    entry.SyringeSize_µL = syringeKnown ? state.SyringeSize_µL : kSyringeSizes_µL.back();
    entry.FluidTemperatureC = state.FluidTemperatureC;
    return entry;
}

// The program's run as it stood, with the time the computer was off as one more pause: the
// program time is the one saved, and the rest of the run comes `gap` later.
void RestoreRun(TDeviceInfo& device, const TRunStateDevice& state, std::chrono::milliseconds gap) {
    const std::chrono::milliseconds now = MonotonicNow();
    TProgramRun run;
    run.StandStills = state.StandStills;
    run.Paused = FromMinutes(state.Paused_min);
    run.Cycle = state.Cycle;
    run.Ended = state.Ended;
    std::chrono::milliseconds pausedSoFar = run.Paused;
    if (state.Held) {
        // Still held: the hold began before the computer went off and goes on.
        run.Pause = TProgramPause::Hold;
        run.PausedSince = now - FromMinutes(state.HeldFor_min) - gap;
        pausedSoFar += now - run.PausedSince;
    } else {
        run.StandStills.push_back({state.ProgramTime_min, std::chrono::duration<double, std::ratio<60>>(gap).count()});
        run.Paused += gap;
        pausedSoFar = run.Paused;
    }
    device.Run = run;
    device.FlowStartMonotonic = now - FromMinutes(state.ProgramTime_min) - pausedSoFar;
    device.FlowStartTime = state.StartedDays;
}

}  // namespace

// --- The state file while programs run --------------------------------------------------------

void TEngine::RunStateChanged() {
    if (AnyProgramRunning(DevicesLocal()))
        WriteRunState(true);
    else if (runStateWritten_)
        RemoveRunState();
}

void TEngine::KeepRunStateInTick() {
    TellRunStateOutcomes();
    if (std::exchange(runStateDue_, false)) return RunStateChanged();
    if (!AnyProgramRunning(DevicesLocal())) {
        // Programs stopped some other way (a device applied while it ran, Reset Devices).
        if (runStateWritten_) RemoveRunState();
        return;
    }
    // The program times of the tick's writes only need to survive a crash of the program: a
    // wait for the disk every ten seconds would hold up the tick. A power cut may cost the
    // last few seconds of them, never what programs run.
    if (!lastRunStateWrite_ || MonotonicNow() - *lastRunStateWrite_ >= kRunStateInterval) WriteRunState(false);
}

void TEngine::WriteRunState(bool toDisk) {
    lastRunStateWrite_ = MonotonicNow();
    runStateWritten_ = true;
    runStateWriter_->Write(RunStateFile(), RunStateNow(DevicesLocal()), toDisk);
    // A program started, held, resumed or ended is on the disk before the command returns;
    // the tick's own writes are told at a later tick.
    if (!toDisk) return;
    runStateWriter_->WaitUntilDone();
    TellRunStateOutcomes();
}

void TEngine::RemoveRunState() {
    runStateWritten_ = false;
    lastRunStateWrite_.reset();
    // After any write still waiting, which it replaces.
    runStateWriter_->Remove(RunStateFile());
    runStateWriter_->WaitUntilDone();
    TellRunStateOutcomes();
}

void TEngine::WaitForRunStateFile() {
    runStateWriter_->WaitUntilDone();
    TellRunStateOutcomes();
}

void TEngine::TellRunStateOutcomes() {
    for (const TRunStateWriter::TOutcome& outcome : runStateWriter_->TakeOutcomes()) {
        const std::string where = PrintableOnly(outcome.Path.string()) + ": " + outcome.Error;
        if (outcome.Removal) {
            if (!outcome.Error.empty()) MM("Removing the run state file failed: " + where);
            continue;
        }
        // A failed write is tried again at the next; told once until a write succeeds.
        if (outcome.Error.empty())
            runStateFailureTold_ = false;
        else if (!std::exchange(runStateFailureTold_, true))
            MM("Writing the run state file failed: " + where);
    }
}

// --- A start after a run that did not end cleanly ---------------------------------------------

const TInterruptedRunCheck& TEngine::StopInterruptedRun() {
    if (interruptedRun_) return *interruptedRun_;
    interruptedRun_ = CheckInterruptedRun(RunStateFile(), settings_.DecimalSeparator);
    for (const std::string& line : interruptedRun_->Report) MM(line);
    return *interruptedRun_;
}

bool TEngine::ResumeInterruptedRun(std::vector<std::string>* resumed) {
    if (!interruptedRun_ || !interruptedRun_->Run) {
        MM("Resume the interrupted run: there is no interrupted run to resume");
        return false;
    }
    const TRunState run = std::move(*interruptedRun_->Run);
    interruptedRun_->Run.reset();
    const char sep = settings_.DecimalSeparator;
    // A clock set back meanwhile makes no negative hold.
    const double gap_min =
        static_cast<double>(std::max<qint64>(0, run.Written.msecsTo(LocalNow()))) / kMillisecondsPerMinute;
    MM("Resume the interrupted run saved at " + run.Written.toString("yyyy-MM-dd hh:mm:ss").toStdString() +
       ": the computer was off for " + GapText(gap_min, sep) + " (" + FormatPattern(gap_min * 60, "0.#", sep) +
       " s), counted as a hold of every program");
    FlowDataSave(true, "ResumeInterruptedRun");
    bool any = false;
    for (const TRunStateDevice& state : run.Devices) {
        if (!ResumeInterruptedDevice(state, gap_min)) continue;
        any = true;
        if (resumed != nullptr) resumed->push_back(state.Port);
    }
    if (!any) return false;
    MarkGraphStart();
    DataHeaderPending = true;
    RunStateChanged();
    return true;
}

bool TEngine::ResumeInterruptedDevice(const TRunStateDevice& state, double gap_min) {
    const std::string caption = StateCaption(state);
    TDeviceInfo device;
    if (!FindDevice(state.Port, device)) {
        DevicesLocal().push_back(NewFoundDevice(state.Port, state.Kind, state.Serial));
        FindDevice(state.Port, device);
    }
    if (device.DevType != state.Kind) {
        MM("Resume: " + caption + " not resumed: the device on " + state.Port + " is a " +
           DeviceTypeName(device.DevType) + " now");
        return false;
    }
    if (RunsProgram(device) && !device.Run.Ended) {
        MM("Resume: " + caption + " not resumed: it runs a program of its own");
        return false;
    }
    if (!device.IsConfigured()) {
        if (!ApplyConfiguration(state.Port, ConfigurationOf(state)) || !FindDevice(state.Port, device) ||
            !device.IsConfigured()) {
            MM("Resume: " + caption + " not resumed: it could not be configured");
            return false;
        }
    }
    device.SegmentProgram = state.Program;
    TakeProgramOptions(device, {ItemOfTermination(state.End), state.Repeat, state.HoldbackBand_pct, state.LongestHold_s,
                                state.AlarmBand_pct, state.AlarmDelay_s});
    device.ControlMode = dcmSegment;
    device.Watch = TFlowWatch{};
    RestoreRun(device, state, FromMinutes(gap_min));
    window_.FlowSerie(device, 0, 0, true);
    if (!StoreDevice(device)) {
        MM("Resume: " + caption + " not resumed: saving the device failed");
        return false;
    }
    const char sep = settings_.DecimalSeparator;
    MM("Resume program of " + device.NameRole + " at program time " + ProgramStandText(state, sep) +
       (state.Held ? "; the hold goes on" : ", after a hold of " + FormatPattern(gap_min * 60, "0.#", sep) + " s"));
    window_.ShowDevice(device);
    window_.PlannedCurveChanged(device);
    return true;
}

}  // namespace tessaro
