#pragma once
// The run engine and everything that runs on its clock: the one-second tick that hands
// setpoints to the workers and collects achieved flows, the run commands, the data table
// and its log files, start-up and shutdown. No widgets: it talks to the window through
// TWindowPort, so the whole program can run headless under a QCoreApplication with a fake
// clock. Window thread only.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/AppendedFile.h"
#include "engine/AutoLogFile.h"
#include "engine/ChartLegend.h"
#include "engine/DeviceSetup.h"
#include "engine/EngineObserver.h"
#include "engine/PackedRecords.h"
#include "engine/ProgramOptions.h"
#include "engine/SegmentFiles.h"
#include "engine/WindowPort.h"
#include "run/InterruptedRun.h"
#include "run/RunStateWriter.h"
#include "segments/PlannedFlow.h"
#include "segments/ProgramRun.h"
#include "segments/SegmentEditing.h"
#include "text/DataCsv.h"

namespace tessaro {

class TMFCThread;
class TPSD4Thread;
enum class TProgramPause : std::uint8_t;
struct TProgramRun;
class TClosingMessages;
struct TAlicatData;

struct TEngineSettings {
    // Where "Logs" and "Segment Programs" live (see ChooseDataFolder).
    std::filesystem::path DataFolder;
    // The separator of numbers the operator reads (log lines, data table).
    char DecimalSeparator = '.';
    // The short sleeps of the tick (10 ms per handled device, the 30 ms rule) and the 50 ms
    // between freeing two workers at shutdown; benchmarks and fake-clock tests switch them
    // off. The shutdown wait for the workers' stop always sleeps on the current clock.
    bool Sleeps = true;
    // How long shutdown waits for workers that still have to confirm their stop. Workers
    // that have not confirmed by then are ended through their abandon flag, which takes at
    // most one more instrument exchange; 20 s of waiting keeps the whole shutdown within
    // 30 s.
    std::chrono::milliseconds ShutdownBound{20000};
    // Where the data table goes at close when the log folder refuses it, in this order (see
    // DefaultFallbackFolders).
    std::vector<std::filesystem::path> FallbackFolders;
    // Whether each data line also goes, as it is made, to the log session's CSV file (see
    // DataTableColumns).
    bool ContinuousCsv = true;
    // The size from which the on-screen log goes on in a new file (a new day begins one too).
    std::uint64_t ScreenLogFileLimit = 100'000'000;
    // How many of the data table's lines (and of the numbers kept for its export) are
    // compressed together once they are no longer the newest (see TPackedRecords).
    std::size_t TableBlockLines = TPackedRecords::kDefaultBlockRecords;
};

// A device's cell before it has supplied a fresh reading in the tick; any cell value below
// -9999 is written as "?".
inline constexpr double NoReading = -999999;
inline constexpr std::chrono::milliseconds DataLineInterval{3000};
inline constexpr std::chrono::milliseconds LogSaveInterval{60000};
// How long "Stop all flows" waits for each device's worker to confirm the stop before the
// device is named as unconfirmed.
inline constexpr std::chrono::milliseconds StopConfirmationBound{5000};
// How long the workers are waited for at the end that follows a confirmed "Stop all flows".
inline constexpr std::chrono::milliseconds kEndAfterStopBound{3000};

// The start-time and segment-flow fields of "Design segments": what a program line can hold
// (a time before the program's start or a flow outside 0 to 100 % makes the whole program
// invalid). The start time is in the display's time unit.
inline constexpr TNumberRange kSegmentStartTimeRange{0, 1e12};
inline constexpr TNumberRange kSegmentFlowRange{0, 100};

inline constexpr const char* kShutdownCaption =
    "Waiting for communication threads to stop device actions and terminate. User interface will be unresponsive "
    "until done. ";
inline constexpr const char* kEmergencyText = "In case on emergency, cut the power to any device to stop gas flow.";

// The merged listing as the listing view shows it; `Revision` changes whenever `Text` does.
// A device's planned curve with a number that changes whenever its points do: a window that
// drew revision n need not draw it again while the revision stays n.
struct TPlannedCurve {
    std::vector<TPlannedPoint> Points;
    std::uint64_t Revision = 0;
};

struct TSegmentListing {
    std::string Text;
    std::uint64_t Revision = 0;
};

class TEngine {
public:
    TEngine(TWindowPort& window, TEngineSettings settings);

    // The tick, every 1000 ms.
    void TimerEngineTimer();

    // Run control over the given ports (the selected rows of the device list, top to
    // bottom); ports without a device, or without a worker, are passed over.
    void ButtonSegmentProgramStartClick(const std::vector<std::string>& ports);
    void ButtonSegmentProgramStopClick(const std::vector<std::string>& ports);
    void ButtonApplyFlowClick(const std::vector<std::string>& ports);
    // The setpoint typed for the device of `focusedPort`, kept until it is applied.
    void RtDoubleEditDirectControlDesiredFlowValueChanged(const std::optional<std::string>& focusedPort, double value);
    void Resetsoftware1Click();
    // "Stop all flows": every configured device, selected or not, goes to idle at 0 % (a
    // pump is told to end its program) and its record is stored. Waits for nothing: later
    // ticks log each device whose worker reports the stop, and after StopConfirmationBound
    // the devices that did not are named in the log and a notice.
    void StopAllFlows();
    // "Stop all flows", then waits, serving the workers' exchanges, until every device has
    // confirmed its stop or StopConfirmationBound has passed. Returns the devices that did
    // not confirm, named as the log names them (they are also told as a problem).
    std::vector<std::string> StopAllFlowsAndWait();
    // The end of the program after StopAllFlowsAndWait: the last log file, then the workers
    // are ended, those that confirmed the stop at once; one that did not is waited for at
    // most kEndAfterStopBound before it is abandoned.
    void FormCloseAfterStopAll();

    // "Hold program(s)" and "Resume program(s)" over the given ports, and the Devices menu's
    // "Hold all programs" and "Resume all programs" over every configured device. A held
    // program's time stands still: its device keeps the setpoint it had (a pump its
    // program), and on resume the program goes on from there, as much later as it was held.
    // A device that runs no program, or is not held, is named in the log and left alone.
    void HoldPrograms(const std::vector<std::string>& ports);
    void ResumePrograms(const std::vector<std::string>& ports);
    void HoldAllPrograms();
    void ResumeAllPrograms();
    // The run settings of the "Design segments" page for the device of `port`: stored and
    // shown; false when there is no such device.
    bool SetProgramOptions(const std::optional<std::string>& port, const TProgramOptions& options);
    // The device's planned curve as the device really gets it: every cycle, the end choice,
    // and, for a running program, each pause moving the rest of the curve later.
    std::vector<TPlannedPoint> PlannedCurve(const TDeviceInfo& device) const;
    // The same, made again only when the program, its end choice and repeats, its control
    // mode or its stand-stills (a pause lengthens its own every tick) changed.
    const TPlannedCurve& PlannedCurveOf(const TDeviceInfo& device);

    // "Apply" on the Configure tab for the device of `port`: refuses a device without a
    // gas or fluid, takes the entry into the record, starts the device's worker with its
    // LED, puts a running device to idle at zero flow, stores the record, shows the device
    // and asks for a new data table header. False, with the reason told, when nothing was
    // applied.
    bool ApplyConfiguration(const std::string& port, const TConfigurationEntry& entry);
    // Copies the Configure tab's entry into `device`; the syringe size is checked and, when
    // taken, stored with the record (see AcceptSyringeSize).
    void TakeConfiguration(TDeviceInfo& device, const TConfigurationEntry& entry);
    // A volumetric unit's reference temperature and pressure; false, with the field and
    // its range told, when one is out of range.
    bool ReferenceConditionsAccepted(const TConfigurationEntry& entry) const;
    // The numbers of the flow displays for the device of `port` at the two entered
    // percentages; a pump's planned programs go to the on-screen log.
    std::optional<TFlowDisplays> FlowDisplays(const std::string& port, double segmentPct, double directPct);

    // Segment programs of the "Design segments" page. `port` is the focused device; `table`
    // the page's segment table as it stands.
    // "Add / Apply Segment": the entry is added to the table, or replaces the row at its
    // time, and the table becomes the device's program with the termination of
    // `terminationItem`. An entry outside kSegmentStartTimeRange or kSegmentFlowRange is
    // refused with the field and its range told; the table stays as it was.
    TSegmentTableEdit ApplySegment(const std::optional<std::string>& port, TSegmentTable table,
                                   const TSegmentEntry& entry, int terminationItem);
    // "Delete segment" of row `row` (-1 when no row is selected: nothing happens).
    TSegmentTableEdit DeleteSegment(const std::optional<std::string>& port, TSegmentTable table, int row);
    // The table's context menu. True when a file was written, or a program loaded.
    bool SaveSegmentProgram(const std::optional<std::string>& port, const TChooseFile& chooseFile);
    bool LoadSegmentProgram(const std::optional<std::string>& port, const TChooseFile& chooseFile);
    // A run file's program for the device of `port`, checked before, with its run settings:
    // stored and shown; nothing starts. False when there is no such device.
    bool LoadRunProgram(const std::string& port, const std::string& program, const TProgramOptions& options);
    // The merged listing of the devices of `ports` (the selected rows, top to bottom): the
    // banner, the table and a closing line break.
    std::string MergedSegmentListing(const std::vector<std::string>& ports) const;
    // The same for the listing view, rebuilt only when what it is made of changed since the
    // last call: the ports asked for, those devices' ports, kinds and programs, or the time
    // unit. Otherwise the listing of the last call comes back, at the cost of comparing its
    // inputs. No ports (nothing selected, or the listing switched off): an empty text.
    const TSegmentListing& SegmentListing(const std::vector<std::string>& ports);

    // "Add" of the Mixtures tab: for every recipe line naming a device, a segment at
    // `time_min` (rounded to whole minutes) with the line's setpoint and type and `note` goes
    // into that device's program, replacing a segment at the same minute; each device is
    // stored and shown. `recipeValid` is the outcome of the recipe's last evaluation: an
    // invalid recipe adds nothing. False when nothing was added or adding stopped at a device
    // (devices handled before keep their new segments).
    bool AddMixSegments(std::string_view recipe, bool recipeValid, double time_min, const std::string& note);

    // Recording.
    // The column header block of the table; it begins a log session, whose data lines also
    // go one by one to a CSV file of their own in the log folder (see DataCsvFile).
    void DataTableColumns();
    // The CSV file of the current log session; empty before the first session. The file
    // exists from the session's first data line on.
    const std::filesystem::path& DataCsvFile() const { return csvFile_.Path(); }
    // "Export data table as CSV…": every data line of the table as comma-separated values,
    // written atomically to `path`; a table of several sessions gets the columns of all of
    // them, empty where a session had no such column. The outcome goes to the on-screen
    // log; false, with the system's reason in `error`, when the file was not written.
    bool ExportDataTableCsv(const std::filesystem::path& path, std::string& error);
    // What the export's file dialog opens with: the log folder and a name with the time.
    TFileDialogRequest DataTableCsvDialog() const;
    // A failed write is told once on the on-screen log (until a write succeeds again) and
    // tried again at the next due tick.
    void FlowDataSave(bool ForceSave, const std::string& Suffix);
    // The device of `focusedPort` is shown again in the new unit.
    void SetTimeUnit(const std::string& aUnit, const std::optional<std::string>& focusedPort = std::nullopt);
    void Autoscrolltolastline1Click();
    // The device search empties the table (after saving it) and asks for a new header.
    void ClearDataTable();

    // Start-up (the steps that draw nothing: the time unit, the data folders and the removal
    // of temporaries that a killed run left in the log folders) and shutdown.
    void FormCreate();
    void FormClose();
    // The last log file at close: a failure is always told, and the table is written to the
    // first fallback folder that takes it; false when the log folder did not.
    bool SaveAtClose();
    // Stops every worker within ShutdownBound (and one more instrument exchange), whatever
    // the workers or the operator do: operator messages raised meanwhile, by a worker or by
    // the engine, are told in the log, on the shutdown panel and in a notice, never in a box
    // that waits for a click.
    bool TerminateThreads();
    void RequestThreadsStop();
    int ActiveThreadCount() const;

    // The safe restart. While programs run, their state is kept in RunStateFile(): written
    // when programs start, are held or resumed, or end, and by the tick at most every
    // kRunStateInterval; removed when no program runs any more, by "Stop all flows" and by a
    // normal close.
    std::filesystem::path RunStateFile() const { return settings_.DataFolder / kRunStateFileName; }
    // The state file a run that did not end cleanly left: the first call (FormCreate makes
    // it, before anything is sent to an instrument) stops every device it names and tells the
    // outcome in the log; later calls return the same without sending anything. Its report is
    // empty when there was no such file.
    const TInterruptedRunCheck& StopInterruptedRun();
    // The tick's writes of the state file are made on a thread of their own: this returns
    // once the file is as the last write or removal asked for left it.
    void WaitForRunStateFile();
    // The programs of that run continue on their devices (configured first where needed),
    // each from its program time then; the time since the state was saved counts as a hold
    // and is told in the log. Once only; false when there is nothing to resume or no program
    // could be resumed. The ports of the devices resumed go to `resumed`.
    bool ResumeInterruptedRun(std::vector<std::string>* resumed = nullptr);

    // The on-screen log: the local time stamp and `text` as one line. Each line also goes
    // to the screen log file (see FormCreate): the lines of a tick in one write at the tick's
    // end, any other line at once. A new file is begun each day and when the file has
    // reached ScreenLogFileLimit. A failed write is told once with the system's reason,
    // until a write succeeds again, and lines cut short by a full disk are cut off.
    void MM(const std::string& text);
    // The file the on-screen log goes to now; empty before FormCreate.
    const std::filesystem::path& ScreenLogFile() const { return screenLogPath_; }
    // Write calls made to the screen log files so far, and the bytes they wrote.
    std::uint64_t ScreenLogWrites() const { return screenLogWrites_; }
    std::uint64_t ScreenLogBytesWritten() const { return screenLogBytes_; }
    // A problem the operator must hear about without anything waiting for them: the log
    // and a notice that stays until it is dismissed.
    void ReportProblem(const std::string& text);

    // The chart legend: two entries for every configured device, in the registry's order,
    // with the planned setpoint now and the flow of the last reading. The window renews
    // them at every tick (ChartValuesChanged).
    std::vector<TChartLegendEntry> ChartLegend() const;
    // The same as one text: the chart's description for a screen reader.
    std::string ChartSummary() const;

    // Read by the window.
    // The table's lines, the older ones compressed (see TPackedRecords).
    const TPackedRecords& DataTable() const { return dataTable_; }
    // Bytes the table's lines and the numbers kept for its export take in memory.
    std::size_t DataTableMemoryBytes() const;
    double TimeFactor() const { return timeFactor_; }
    const std::string& TimeUnitSymbol() const { return timeUnitSymbol_; }
    bool AutoScroll() const { return autoScroll_; }
    // Minutes on the graph's time axis for the monotonic instant `at` (0 before the first
    // start).
    double GraphMinutes(std::chrono::milliseconds at) const;
    const TEngineSettings& Settings() const { return settings_; }
    std::filesystem::path LogsFolder() const { return settings_.DataFolder / "Logs"; }
    std::filesystem::path SegmentProgramsFolder() const { return settings_.DataFolder / "Segment Programs"; }
    // The monotonic instant of the last log file written, none before the first.
    std::optional<std::chrono::milliseconds> LastLogSaveTime() const { return lastLogSave_; }
    // Bytes the periodic ("auto") log files have handed to the system so far.
    std::uint64_t PeriodicLogBytesWritten() const { return autoLogFile_.BytesWritten(); }

    // Set by the device search and by every configuration of a device.
    bool DataHeaderPending = true;

    // The listener told of every data line's device states and of the events; none (the
    // default) tells nobody. It must outlive the engine or be removed first.
    void SetObserver(TEngineObserver* observer) { observer_ = observer; }

private:
    // What a flow controller's reading is compared with: the setpoint it was following.
    struct TFlowComparison {
        double Achieved_pct = 0;
        double Planned_pct = 0;
        double Achieved = 0;  // in the device's unit
        double FullScale_gpm = 0;
    };

    // Tick.
    void HandleFlowController(TDeviceInfo& device, double& cell);
    void HandlePump(TDeviceInfo& device);
    // A controller's full scale, as its reading reports it for the device's gas, goes into
    // the device record; the log and the window's flow displays show it.
    void TakeReportedFullScale(TDeviceInfo& device, const TAlicatData& status);
    // Shows when a device's instrument stops answering and when it answers again, from the
    // worker's count of failed passes in a row.
    void WatchReplies(TDeviceInfo& device, std::uint32_t failedPasses);
    void PlanPumpSegment(TDeviceInfo& device, TPSD4Thread& worker);
    void PlanPumpDirect(TDeviceInfo& device, TPSD4Thread& worker);
    // What the list row shows of a device's program, before the tick handled it.
    struct TProgramStep {
        TProgramPause Pause;
        int Cycle;
        bool Ended;
        bool Deviation;
    };
    // The list row and the planned curve follow what the tick changed in the program's run.
    void ShowProgramChanges(const TDeviceInfo& device, const TProgramStep& before);
    // The setpoint of the device's program at `programTime_min`; tells the end of the run once.
    double ProgramSetpoint(TDeviceInfo& device, double programTime_min);
    // The device's program as the tick evaluates it: read again only when its text changed.
    const TParsedSegmentProgram& ParsedProgram(const TDeviceInfo& device) const;
    // Holdback and the deviation alarm of a flow controller after each new reading.
    void WatchFlow(TDeviceInfo& device, const TFlowComparison& flow);
    void HoldBack(TDeviceInfo& device, double deviation_pct, const TFlowComparison& flow);
    void WatchDeviation(TDeviceInfo& device, double deviation_pct, const TFlowComparison& flow);
    void RaiseAlarm(TDeviceInfo& device, const TFlowComparison& flow, double band_pct, const std::string& since);
    void ClearAlarm(TDeviceInfo& device, const TFlowComparison& flow);
    std::string FlowsText(const TDeviceInfo& device, const TFlowComparison& flow) const;
    double PlannedFlowInUnit(const TDeviceInfo& device, const TFlowComparison& flow) const;
    void AppendCell(std::string& line, double value) const;
    // Segment editing: whether the entry's time and flow fit a program line; false, with
    // the refused field told.
    bool SegmentEntryAccepted(const TSegmentEntry& entry) const;
    // The legend's achieved flow of a device, in its unit; none when the reading's flow in
    // the unit is unknown (no full scale yet).
    void KeepAchievedFlow(const TDeviceInfo& device, std::optional<double> flow);
    TChartLegendValues ChartLegendValues(const TDeviceInfo& device) const;
    void AppendDataLine(std::string line);
    void AppendTableLines(std::vector<std::string> lines);
    // The setpoint last handed to the device's worker, in percent; none without a worker.
    static double PlannedPercent(const TDeviceInfo& device);
    // The planned flow in the device's unit for `planned_pct`; NoReading while its full scale
    // is unknown.
    double PlannedFlow(const TDeviceInfo& device, double planned_pct) const;
    // The achieved flow a data line records for the device; `cell` is its table cell.
    double RecordedAchievedFlow(const TDeviceInfo& device, double cell) const;
    void Pause(std::chrono::milliseconds duration) const;
    void MarkGraphStart();
    // Stop all flows: logs the confirmations the workers have reported since the request,
    // and once the bound has passed names the devices that gave none.
    void WatchStopConfirmations();
    void LogStopConfirmations();
    // Names the devices still waiting as a problem and forgets them; returns their names.
    std::vector<std::string> ReportSilentStops();

    // The run state file: written now while a program runs, removed when none does.
    void RunStateChanged();
    void KeepRunStateInTick();
    // `toDisk`: the write waits until the file is on the disk (see TWriteDurability).
    void WriteRunState(bool toDisk);
    void RemoveRunState();
    // The failures of the writes and removals done since the last call go to the log.
    void TellRunStateOutcomes();
    bool ResumeInterruptedDevice(const TRunStateDevice& state, double gap_min);

    // The screen log file.
    class TScreenLogBatch;
    void OpenScreenLog();
    // A new file each day, and when the file has reached ScreenLogFileLimit.
    void StartNewScreenLogFileWhenDue();
    void FlushScreenLog();

    // Recording.
    std::filesystem::path SaveLogFile(const std::string& suffix, std::string& error);
    // The "auto" file through autoLogFile_, any other written whole and flushed.
    bool WriteLogFile(const std::filesystem::path& path, const std::string& suffix, std::string& error);
    bool WriteLogFile(const std::filesystem::path& path, std::string& error) const;
    void BeginCsvSession();
    void RecordCsvRow(const TCsvRowStamp& stamp, const std::vector<TCsvDeviceValues>& values);
    void AppendCsvFileRow(const std::string& row);
    bool WriteTableCsv(const std::filesystem::path& path, std::string& error) const;

    // The listener.
    void Notify(TEngineEventKind kind, const TDeviceInfo* device, const std::string& text);
    TDeviceSnapshot Snapshot(const TDeviceInfo& device, const TCsvDeviceValues& values) const;

    // Shutdown.
    void WaitForStopConfirmations(int initialCount);
    void AbandonUnconfirmedWorkers();
    void WaitForAbandonedWorkersToEnd();
    void TellClosingMessages();
    void FreeWorkersAndLeds();
    void MarkDevicesUnconfigured();
    bool CreateFolder(const std::filesystem::path& folder);
    void RemoveStaleLogTemporaries();

    TWindowPort& window_;
    TEngineSettings settings_;
    TPackedRecords dataTable_;
    // Whether any line of the table holds more than blanks: decides whether the table
    // counts as empty without scanning it.
    bool tableHasContent_ = false;
    double timeFactor_ = 1;
    std::string timeUnitSymbol_ = "m";
    bool autoScroll_ = false;
    // Durations are measured on the monotonic clock; wall-clock time is only shown.
    std::optional<std::chrono::milliseconds> graphStart_;
    std::optional<std::chrono::milliseconds> lastDataLine_;
    std::optional<std::chrono::milliseconds> lastLogSave_;
    // The "auto" files of the current table: each holds all lines of the one before, which
    // goes once the next is written.
    TAutoLogFile autoLogFile_;
    bool saveFailureTold_ = false;
    // The last achieved flow of each device that reported one, by trimmed port; empty when
    // that reading's flow in the device's unit was unknown.
    std::map<std::string, std::optional<double>> achievedFlows_;
    bool terminating_ = false;
    // Operator messages raised while the workers are stopped, from any thread; told on the
    // window thread in the log and a notice instead of a box.
    std::shared_ptr<TClosingMessages> closingMessages_;
    std::vector<std::string> closingMessagesTold_;

    // The numbers of the table's data lines, kept per log session so that an export needs
    // no parsing of the fixed-width text: per line one record of its stamp and one entry per
    // device of the session's columns (see CsvRowRecord).
    struct TCsvSession {
        std::vector<std::string> ColumnNames;
        std::size_t DeviceCount = 0;
        TPackedRecords Rows;
    };
    std::vector<TCsvSession> csvSessions_;
    TAppendedFile csvFile_;
    bool csvFailureTold_ = false;

    // A device asked to stop by "Stop all flows" whose worker has not yet confirmed it: the
    // worker's status or pass number at the request tells a later report.
    struct TPendingStop {
        std::string Port;
        std::string Caption;  // see DeviceCaption
        std::uint64_t SequenceAtRequest = 0;
    };
    std::vector<TPendingStop> pendingStops_;
    std::uint64_t stopAllCount_ = 0;  // lets a command that showed a box see a stop-all made meanwhile
    std::chrono::milliseconds stopRequestedAt_{0};

    // What the listing of SegmentListing was made of: per port asked for, the device found
    // (none: an empty port) with the name of its kind and its program.
    struct TListedProgram {
        std::string COMPort;
        std::string TypeName;
        std::uint64_t ProgramVersion = 0;  // see TProgramText
        TProgramRunRules Rules;            // the end choice and the repeats are listed too
    };
    struct TSegmentListingInputs {
        std::vector<std::string> Ports;
        std::vector<TListedProgram> Programs;
        std::string UnitSymbol;
        double Factor = 0;
    };
    bool SegmentListingInputsUnchanged(const std::vector<std::string>& ports) const;
    TSegmentListingInputs SegmentListingInputs(const std::vector<std::string>& ports) const;
    struct TPlannedCurveInputs {
        std::uint64_t ProgramVersion = 0;
        TProgramRunRules Rules;
        bool Shifted = false;
        std::vector<TStandStill> StandStills;
    };
    struct TCachedPlannedCurve {
        std::optional<TPlannedCurveInputs> Inputs;
        std::vector<TPlannedPoint> Unshifted;  // of Inputs' program and rules
        TPlannedCurve Curve;
    };
    std::vector<TStandStill> StandStillsNow(const TDeviceInfo& device) const;
    std::map<std::string, TCachedPlannedCurve> plannedCurves_;  // by COM port
    std::uint64_t plannedRevisions_ = 0;
    std::optional<TSegmentListingInputs> listingInputs_;
    TSegmentListing listing_;

    std::optional<std::chrono::milliseconds> lastRunStateWrite_;
    bool runStateWritten_ = false;  // by this run, and not removed since
    bool runStateDue_ = false;      // a program ended in this tick
    bool runStateFailureTold_ = false;
    std::unique_ptr<TRunStateWriter> runStateWriter_ = std::make_unique<TRunStateWriter>();
    std::optional<TInterruptedRunCheck> interruptedRun_;
    mutable TParsedProgramCache parsedPrograms_;

    std::filesystem::path screenLogPath_;
    TAppendedFile screenLog_;
    std::array<int, 3> screenLogDay_{};  // the local date the file was begun on
    std::string screenLogPending_;       // lines not yet in the file
    bool inTick_ = false;
    std::uint64_t screenLogWrites_ = 0;
    std::uint64_t screenLogBytes_ = 0;
    bool screenLogFailureTold_ = false;

    TEngineObserver* observer_ = nullptr;
    // The text of each standing deviation alarm, by port.
    std::map<std::string, std::string> alarmTexts_;
};

}  // namespace tessaro
