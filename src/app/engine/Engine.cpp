// The engine tick: per device the setpoint hand-off and the achieved flow, then the data
// line, the periodic log file and the merged listing.

#include "engine/Engine.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "engine/Clock.h"
#include "engine/DataTableText.h"
#include "mfc/AlicatMFCThread.h"
#include "protocol/AlicatMFCProtocol.h"
#include "pump/PSD4_Speeds.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

namespace {

using namespace std::chrono_literals;

constexpr auto kDeviceLedTime = 10ms;
constexpr auto kShortestTick = 30ms;
constexpr auto kTickJitter = 50ms;
constexpr double kMinutesPerMillisecond = 1.0 / 60000;
// The pump's setpoint in a program is taken in the middle of the current half minute.
constexpr double kPumpPlansPerMinute = 2;
constexpr double kPumpPlanOffset_min = 0.25;
// Failed passes of a worker in a row before its device shows "No reply": one lost reply is
// noise, three (a few seconds) are a controller or pump that has stopped answering.
constexpr std::uint32_t kNoReplyPasses = 3;

std::string DeviceReplyLabel(const TDeviceInfo& device) {
    return device.NameRole + " (" + DeviceTypeName(device.DevType) + " on " + device.COMPort + ")";
}

std::string ClockTimeText(const TLocalDateTime& now) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.Hour, now.Minute, now.Second);
    return text;
}

}  // namespace

const char* EngineEventName(TEngineEventKind kind) {
    switch (kind) {
        case TEngineEventKind::AlarmRaised:
            return "alarm raised";
        case TEngineEventKind::AlarmCleared:
            return "alarm cleared";
        case TEngineEventKind::StopConfirmed:
            return "stop confirmed";
        case TEngineEventKind::StopUnconfirmed:
            return "stop not confirmed";
        case TEngineEventKind::ProgramStarted:
            return "program started";
        case TEngineEventKind::ProgramHeld:
            return "program held";
        case TEngineEventKind::ProgramResumed:
            return "program resumed";
        case TEngineEventKind::ProgramEnded:
            return "program ended";
        case TEngineEventKind::NoReply:
            return "no reply";
        case TEngineEventKind::AnswersAgain:
            return "answers again";
    }
    return "event";
}

TEngine::TEngine(TWindowPort& window, TEngineSettings settings)
    : window_(window), settings_(std::move(settings)), dataTable_(settings_.TableBlockLines) {}

void TEngine::MM(const std::string& text) {
    const std::string line = LogTimestamp(ToLocalDateTime(LocalNow())) + text;
    window_.AppendLogLine(line);
    screenLogPending_ += line;
    screenLogPending_ += '\n';
    // A tick's lines go to the file together at its end; any other line at once.
    if (!inTick_) FlushScreenLog();
}

void TEngine::OpenScreenLog() {
    const TLocalDateTime now = ToLocalDateTime(LocalNow());
    screenLogPath_ = LogsFolder() / ScreenLogFileName(now);
    screenLog_ = TAppendedFile(screenLogPath_, std::string());
    screenLogDay_ = {now.Year, now.Month, now.Day};
}

void TEngine::StartNewScreenLogFileWhenDue() {
    const TLocalDateTime now = ToLocalDateTime(LocalNow());
    const bool newDay = screenLogDay_ != std::array<int, 3>{now.Year, now.Month, now.Day};
    if (!newDay && screenLog_.Size() < settings_.ScreenLogFileLimit) return;
    // A new name comes with the next minute at the latest; until then the file goes on.
    if (LogsFolder() / ScreenLogFileName(now) == screenLogPath_) return;
    OpenScreenLog();
}

void TEngine::FlushScreenLog() {
    if (screenLogPath_.empty()) {
        screenLogPending_.clear();
        return;
    }
    if (screenLogPending_.empty()) return;
    StartNewScreenLogFileWhenDue();
    const std::string lines = std::move(screenLogPending_);
    screenLogPending_.clear();
    // A failed write is tried again with the next lines: the disk may have room again. Lines
    // cut short are cut off, so the next ones start a line of their own.
    std::string error;
    ++screenLogWrites_;
    if (screenLog_.Append(lines, error)) {
        screenLogBytes_ += lines.size();
        screenLogFailureTold_ = false;
        return;
    }
    if (screenLogFailureTold_) return;
    screenLogFailureTold_ = true;
    const std::string problem =
        "Writing the screen log file failed: " + PrintableOnly(screenLogPath_.string()) + ": " + error;
    window_.AppendLogLine(LogTimestamp(ToLocalDateTime(LocalNow())) + problem);
}

void TEngine::ReportProblem(const std::string& text) {
    MM(text);
    window_.ShowNotice(text);
}

double TEngine::GraphMinutes(std::chrono::milliseconds at) const {
    if (!graphStart_) return 0;
    return static_cast<double>((at - *graphStart_).count()) * kMinutesPerMillisecond;
}

void TEngine::MarkGraphStart() {
    if (!graphStart_) graphStart_ = MonotonicNow();
}

void TEngine::Pause(std::chrono::milliseconds duration) const {
    if (settings_.Sleeps) CurrentClock().Sleep(duration);
}

// The on-screen log lines of one tick reach the screen log file in one write, when the
// tick ends however it ends.
class TEngine::TScreenLogBatch {
public:
    explicit TScreenLogBatch(TEngine& engine) : engine_(engine), outer_(std::exchange(engine.inTick_, true)) {}
    ~TScreenLogBatch() {
        engine_.inTick_ = outer_;
        if (!outer_) engine_.FlushScreenLog();
    }
    TScreenLogBatch(const TScreenLogBatch&) = delete;
    TScreenLogBatch& operator=(const TScreenLogBatch&) = delete;

private:
    TEngine& engine_;
    bool outer_;
};

void TEngine::TimerEngineTimer() {
    const TScreenLogBatch screenLogBatch(*this);
    struct TTickViews {
        TWindowPort& window;
        explicit TTickViews(TWindowPort& shown) : window(shown) { window.TickBegins(); }
        ~TTickViews() { window.TickEnded(); }
    } views(window_);
    window_.SetActivityLed(true);
    const std::chrono::milliseconds tickStart = MonotonicNow();
    // The line is stamped with the time the tick began: the devices' LED time may carry the
    // clock into the next second before the line is made.
    const QDateTime tickStartLocal = LocalNow();
    // The timer's ticks come a few milliseconds early or late; without the allowance a tick
    // exactly three seconds after the last line would wait for the fourth.
    const bool loggingTick = !lastDataLine_ || *lastDataLine_ + DataLineInterval - kTickJitter < tickStart;

    std::string cells;
    std::vector<TCsvDeviceValues> csvValues;
    TDataLineSnapshot snapshot;
    for (TDeviceInfo& device : DevicesLocal()) {
        double cell = NoReading;
        const TProgramStep before{device.Run.Pause, device.Run.Cycle, device.Run.Ended, device.Watch.Deviation};
        if (device.ThreadMFC != nullptr && IsFlowController(device.DevType))
            HandleFlowController(device, cell);
        else if (device.ThreadPump != nullptr && device.DevType == dtPump)
            HandlePump(device);
        ShowProgramChanges(device, before);
        // Only logging ticks write a line, so only they format the cells.
        if (!loggingTick) continue;
        AppendCell(cells, cell);
        const double planned_pct = PlannedPercent(device);
        csvValues.push_back({planned_pct, PlannedFlow(device, planned_pct), RecordedAchievedFlow(device, cell)});
        if (observer_ != nullptr && device.IsConfigured())
            snapshot.Devices.push_back(Snapshot(device, csvValues.back()));
    }

    if (loggingTick && !IsBlankText(cells)) {
        if (DataHeaderPending) {
            DataTableColumns();
            DataHeaderPending = false;
        }
        const TLocalDateTime localStart = ToLocalDateTime(tickStartLocal);
        AppendDataLine(DataLineTimePrefix(localStart) + cells);
        RecordCsvRow({localStart, tickStartLocal.offsetFromUtc(), GraphMinutes(tickStart)}, csvValues);
        lastDataLine_ = tickStart;
        if (autoScroll_) window_.ScrollDataTableToEnd();
        if (observer_ != nullptr) {
            snapshot.Time = tickStartLocal;
            observer_->DataLineMade(snapshot);
        }
    }

    WatchStopConfirmations();
    KeepRunStateInTick();
    window_.ChartValuesChanged();
    FlowDataSave(false, "auto");
    window_.MemoSegmentsUpdate();
    if (MonotonicNow() - tickStart < kShortestTick) Pause(kShortestTick);
    window_.SetActivityLed(false);
}

void TEngine::ShowProgramChanges(const TDeviceInfo& device, const TProgramStep& before) {
    const TProgramRun& now = device.Run;
    // A paused program's planned curve moves later with every tick of the pause.
    if (now.Pause != TProgramPause::None || now.Pause != before.Pause) window_.PlannedCurveChanged(device);
    if (now.Pause != before.Pause || now.Cycle != before.Cycle || now.Ended != before.Ended ||
        device.Watch.Deviation != before.Deviation)
        window_.ShowDeviceRow(device);
}

void TEngine::WatchReplies(TDeviceInfo& device, std::uint32_t failedPasses) {
    if (failedPasses == 0) {
        device.NoReplySince.clear();
        if (!device.NoReply) return;
        device.NoReply = false;
        MM(DeviceReplyLabel(device) + " answers again");
        Notify(TEngineEventKind::AnswersAgain, &device, DeviceReplyLabel(device) + " answers again");
        window_.SetDeviceLedFault(device.Led, false);
        window_.ShowDeviceRow(device);
        return;
    }
    if (device.NoReplySince.empty()) device.NoReplySince = ClockTimeText(ToLocalDateTime(LocalNow()));
    if (device.NoReply || failedPasses < kNoReplyPasses) return;
    device.NoReply = true;
    MM(DeviceReplyLabel(device) + ": no reply since " + device.NoReplySince);
    Notify(TEngineEventKind::NoReply, &device, DeviceReplyLabel(device) + ": no reply since " + device.NoReplySince);
    window_.SetDeviceLedFault(device.Led, true);
    window_.ShowDeviceRow(device);
}

void TEngine::HandleFlowController(TDeviceInfo& device, double& cell) {
    TMFCThread& worker = *device.ThreadMFC;
    WatchReplies(device, worker.GUIIn.FailedPasses);
    // Every tick: the worker changes the instrument's gas when it differs.
    worker.GUIOut.DeviceStatus.GasID = device.FluidID;

    // Each status the worker read is handled once; its sequence number tells a new one.
    const TThreadData& report = worker.GUIIn;
    if (report.StatusSequence == device.LastHandledSequence || report.IsTerminated) return;

    window_.SetDeviceLed(device.Led, true);
    const TAlicatData& status = report.DeviceStatus;
    TakeReportedFullScale(device, status);
    const double fraction = status.FlowRate_mass / kAlicatFullScaleCounts;
    window_.FlowSerie(device, GraphMinutes(MonotonicNow()), fraction * 100, false);

    // The reading's own full scale is that of the gas the controller measured; a demo device
    // reports none and has its own.
    const std::optional<double> fullScale_gpm =
        status.MaxFlowgpm > 0 ? std::optional<double>(status.MaxFlowgpm) : device.FullScale_gpm();
    if (fullScale_gpm) {
        // A failed conversion leaves the previous value in the device's unit; it is shown again.
        TGasFlowDetails& grams = FlowUnitGrams();
        grams.GasFlowValue = fraction * *fullScale_gpm;
        grams.GasMolarMass = device.FlowUnitUser.GasMolarMass;
        std::string errors;
        std::string feedback;
        GasFlowConversion(grams, device.FlowUnitUser, errors, feedback, settings_.DecimalSeparator);
        cell = device.FlowUnitUser.GasFlowValue;
    }
    // Without a full scale the flow in the unit is unknown: no cell value, not a flow of 0.
    KeepAchievedFlow(device, fullScale_gpm ? std::optional<double>(cell) : std::nullopt);

    // The reading shows how the instrument followed the setpoint it was last handed; the
    // program's time may wait for it before the next setpoint is taken.
    WatchFlow(device, {fraction * 100, worker.GUIOut.DeviceStatus.Setpoint_pct, cell, status.MaxFlowgpm});
    switch (device.ControlMode) {
        case dcmDirect:
            worker.GUIOut.DeviceStatus.Setpoint_pct = device.Setpoint_pct;
            break;
        case dcmSegment:
            worker.GUIOut.DeviceStatus.Setpoint_pct = ProgramSetpoint(device, device.ProgramTime_min());
            break;
        case dcmIdle:
            break;
    }

    device.LastHandled = status.DataTime;
    device.LastHandledSequence = report.StatusSequence;
    Pause(kDeviceLedTime);
    window_.SetDeviceLed(device.Led, false);
}

void TEngine::TakeReportedFullScale(TDeviceInfo& device, const TAlicatData& status) {
    // The worker stamps the reading with the gas the controller is set to: a full scale read
    // for the gas before a change must not pass for the new gas's.
    if (device.DevType == dtMFCDemo || device.FluidID < 0 || status.GasID != device.FluidID) return;
    if (!device.TakeReportedFullScale(status.MaxFlowgpm)) return;
    MM(DeviceReplyLabel(device) + ": full scale " + FormatGeneral(status.MaxFlowgpm, settings_.DecimalSeparator) +
       " g/min");
    window_.FullScaleChanged(device);
}

void TEngine::HandlePump(TDeviceInfo& device) {
    TPSD4Thread& worker = *device.ThreadPump;
    WatchReplies(device, worker.GUIIn.FailedPasses);
    window_.SetDeviceLed(device.Led, true);
    if (device.ControlMode == dcmDirect)
        PlanPumpDirect(device, worker);
    else if (device.ControlMode == dcmSegment)
        PlanPumpSegment(device, worker);
    // The pump's curve shows the setpoint its worker has applied.
    window_.FlowSerie(device, GraphMinutes(MonotonicNow()), worker.GUIIn.Setpoint * 100, false);
    KeepAchievedFlow(device, worker.GUIIn.Setpoint * device.MaxFlow_µlpm);
    Pause(kDeviceLedTime);
    window_.SetDeviceLed(device.Led, false);
}

void TEngine::PlanPumpDirect(TDeviceInfo& device, TPSD4Thread& worker) {
    const TPumpSpeedDetails details = PlanPumpDispense(device, device.Setpoint_pct / 100, settings_.DecimalSeparator);
    worker.GUIOut.Command = details.Command;
    worker.GUIOut.Setpoint = device.Setpoint_pct / 100;
}

void TEngine::PlanPumpSegment(TDeviceInfo& device, TPSD4Thread& worker) {
    // Program time, which stands still while the program is held.
    const double elapsed = device.ProgramTime_min();
    const double floorTime = std::floor(elapsed * kPumpPlansPerMinute) / kPumpPlansPerMinute;
    const double planTime = floorTime + kPumpPlanOffset_min;
    const double fraction = ProgramSetpoint(device, planTime) / 100;
    const TPumpSpeedDetails details = PlanPumpDispense(device, fraction, settings_.DecimalSeparator);

    const char sep = settings_.DecimalSeparator;
    MM(" Pump segment program");
    MM("     Elapsed time, m : " + FormatGeneral(elapsed, sep));
    MM("       Floor time, m : " + FormatGeneral(floorTime, sep));
    MM("Floor time+offset, m : " + FormatGeneral(planTime, sep));
    MM("  Device max flow, µL: " + FormatGeneral(device.MaxFlow_µlpm, sep));
    MM("         Setpoint, % : " + FormatGeneral(fraction * 100, sep));
    MM(" Desired dispense, µg: " + FormatGeneral(details.DesiredDispense_µgpm, sep));
    MM(" Achieveddispense, µg: " + FormatGeneral(details.AchievedDispense_µgpm, sep));
    MM("              Command: " + details.Command);
    worker.GUIOut.Command = details.Command;
    worker.GUIOut.Setpoint = fraction;
}

double TEngine::PlannedPercent(const TDeviceInfo& device) {
    if (device.ThreadMFC != nullptr && IsFlowController(device.DevType))
        return device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct;
    if (device.ThreadPump != nullptr && device.DevType == dtPump) return device.ThreadPump->GUIOut.Setpoint * 100;
    return NoReading;
}

double TEngine::PlannedFlow(const TDeviceInfo& device, double planned_pct) const {
    const std::optional<double> fullScale = FullScaleInUserUnit(device, settings_.DecimalSeparator);
    if (!fullScale || planned_pct < kCsvLowestValue) return NoReading;
    return planned_pct / 100 * *fullScale;
}

double TEngine::RecordedAchievedFlow(const TDeviceInfo& device, double cell) const {
    // A pump reports no flow: its achieved flow is the dispense it took, as the legend shows it.
    if (device.DevType != dtPump) return cell;
    return ChartLegendValues(device).Achieved.value_or(NoReading);
}

void TEngine::Notify(TEngineEventKind kind, const TDeviceInfo* device, const std::string& text) {
    if (observer_ == nullptr) return;
    TEngineEvent event{LocalNow(), kind, {}, {}, text};
    if (device != nullptr) {
        event.COMPort = device->COMPort;
        event.Name = device->NameRole;
    }
    observer_->EventOccurred(event);
}

TDeviceSnapshot TEngine::Snapshot(const TDeviceInfo& device, const TCsvDeviceValues& values) const {
    const auto known = [](double value) {
        return value < kCsvLowestValue ? std::nullopt : std::optional<double>(value);
    };
    TDeviceSnapshot snapshot;
    snapshot.COMPort = device.COMPort;
    snapshot.Name = device.NameRole;
    snapshot.Kind = DeviceTypeName(device.DevType);
    snapshot.IsPump = device.DevType == dtPump;
    snapshot.Fluid = snapshot.IsPump ? device.FlowUnitUser.GasName : device.Fluidname();
    snapshot.Unit = device.FlowUnitUser.Name;
    snapshot.Planned_pct = known(values.Planned_pct);
    snapshot.PlannedFlow = known(values.Planned);
    snapshot.AchievedFlow = known(values.Achieved);
    snapshot.State = DeviceStateText(device);
    if (device.ControlMode == dcmSegment) snapshot.ProgramTime_min = device.ProgramTime_min();
    const auto alarm = alarmTexts_.find(device.COMPort);
    if (alarm != alarmTexts_.end()) snapshot.Alarm = alarm->second;
    return snapshot;
}

void TEngine::AppendCell(std::string& line, double value) const {
    AppendDataCell(line, value, settings_.DecimalSeparator);
}

void TEngine::AppendDataLine(std::string line) {
    std::vector<std::string> lines;
    lines.push_back(std::move(line));
    AppendTableLines(std::move(lines));
}

void TEngine::AppendTableLines(std::vector<std::string> lines) {
    for (const std::string& line : lines)
        if (!tableHasContent_ && !IsBlankText(line)) tableHasContent_ = true;
    for (const std::string& line : lines) dataTable_.Append(line);
    window_.DataTableLinesAppended(lines);
}

}  // namespace tessaro
