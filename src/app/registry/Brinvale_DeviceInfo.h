#pragma once
// The device registry: one value record per instrument (TDeviceInfo) in one program-wide
// array (DevicesLocal), keyed by COM port, with the lookups, the sort and the two kind
// texts of the device list. Window handlers copy an entry out (FindDevice), change the copy
// and write it back (StoreDevice); only the engine tick works on entries in place. All of
// it belongs to the window thread; workers never touch it.
//
// Diagnostic channel: "Unit: DeviceInfo".

#include <QLoggingCategory>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/ColorNames.h"
#include "segments/ProgramRun.h"
#include "segments/SegmentProgram.h"
#include "units/GasFlowUnitConversions.h"

class QObject;

namespace tessaro {

Q_DECLARE_LOGGING_CATEGORY(DeviceInfoLog)

class TMFCThread;
class TPSD4Thread;

enum tDeviceType : std::uint8_t {
    dtMFCA = 0,    // flow controller A of a Kestra gas mixer
    dtMFCB = 1,    // flow controller B
    dtMFCC = 2,    // flow controller C
    dtMFCD = 3,    // flow controller D
    dtPump = 4,    // syringe pump of a Lumora humidifier
    dtMFCDemo = 5  // simulated flow controller
};

enum tDeviceControlMode : std::uint8_t {
    dcmSegment = 0,  // follows its segment program
    dcmDirect = 1,   // follows Setpoint_pct
    dcmIdle = 2      // is handed no new setpoint; no achieved flow is plotted
};

// The Kestra controllers, MFC-A to MFC-D.
constexpr bool IsMixerController(tDeviceType kind) { return kind <= dtMFCD; }
// Everything that is driven as a flow controller: the Kestra controllers and the demo kind.
constexpr bool IsFlowController(tDeviceType kind) { return IsMixerController(kind) || kind == dtMFCDemo; }

inline constexpr TRtColor kBlack = 0xFF000000;

// Why a running program's time stands still: the operator holds it, or the flow has not
// followed it (holdback).
enum class TProgramPause : std::uint8_t { None, Hold, Holdback };

// Where a device's segment program stands; one small record, so that it can be read and
// restored as a whole. Program time runs with the monotonic clock from the program's start
// (FlowStartMonotonic) except while the program is paused.
struct TProgramRun {
    // Every ended pause, summed; and each one with the program time it began at, in order,
    // so the planned curve can be drawn on the device's own clock.
    std::chrono::milliseconds Paused{0};
    std::vector<TStandStill> StandStills;
    TProgramPause Pause = TProgramPause::None;
    std::chrono::milliseconds PausedSince{0};  // monotonic; meaningful while Pause is set
    // The cycle the engine last handed (1-based) and whether the run has passed its end; the
    // end is told once.
    int Cycle = 1;
    bool Ended = false;
    // A holdback that lasted longer than the longest hold lets the program go on until the
    // flow is back inside the band.
    bool HoldbackGivenUp = false;

    bool operator==(const TProgramRun&) const = default;
};

// The deviation alarm of a flow controller: the achieved flow outside the alarm band around
// the planned flow for longer than the alarm delay, or a holdback that outlasted the longest
// hold. One episode is raised once and cleared once.
struct TFlowWatch {
    bool Outside = false;
    std::chrono::milliseconds OutsideSince{0};  // monotonic
    std::string OutsideSinceText;               // local "hh:mm:ss"
    std::string HoldbackSinceText;              // local "hh:mm:ss" of the current holdback
    bool Deviation = false;                     // raised and not yet cleared
    double RaisedBand_pct = 0;                  // the band whose return clears it

    bool operator==(const TFlowWatch&) const = default;
};

struct TDeviceInfo {
    std::string COMPort;  // the key in DevicesLocal, e.g. "COM6"
    std::string NameRole;
    tDeviceType DevType = dtMFCA;
    std::string Serial;  // as the device search read it from the instrument
    TRtColor Color = kBlack;
    double SyringeSizeµL = 0;
    double FluidTemperatureC = 0;
    // Flow controllers: gas number of the gas table; pumps: fluid number (1001 water).
    // -1: nothing chosen yet (0 would be a gas: Air).
    std::int32_t FluidID = -1;
    double MaxFlow_µlpm = 0;         // pump full scale, 25 × syringe size once configured
    TGasFlowDetails FlowUnitDevice;  // unit and full scale of the instrument itself
    TGasFlowDetails FlowUnitUser;    // the operator's unit; holds the last achieved flow
    double Setpoint_pct = 0;         // in effect in direct control
    double Setpoint_gui = 0;         // typed in the direct-control tab, not yet applied
    tDeviceControlMode ControlMode = dcmIdle;
    TProgramText SegmentProgram;
    // What the program gives after its last point; how often it runs; holdback and alarm
    // bands in percent of full scale (0: off) and their times in seconds.
    TSegProgTermination SegmentProgramTermination = TSegProgTermination::tspttZero;
    int ProgramRepeat = 1;
    double HoldbackBand_pct = 0;
    double LongestHold_s = 60;
    double AlarmBand_pct = 5;
    double AlarmDelay_s = 30;
    TProgramRun Run;
    TFlowWatch Watch;
    // When the current program or direct control started, as local date-time (days since
    // 1899-12-30): shown and written, never used to measure the elapsed time.
    double FlowStartTime = 0;
    // The same moment on the monotonic clock. Elapsed_min measures from here: the wall clock
    // jumps at daylight-saving changes and clock corrections, which would shift a running
    // program by the size of the jump and skip or repeat that much of its gas flows.
    std::chrono::milliseconds FlowStartMonotonic{0};
    double LastHandled = 0;  // DataTime of the last controller status the engine handled
    // StatusSequence of that status: what tells the engine a status is new (DataTime is
    // wall-clock time and may repeat or go back).
    std::uint64_t LastHandledSequence = 0;
    // The instrument has not answered for several passes of its worker in a row: the list
    // row reads "No reply" and the LED is red. NoReplySince: local time ("hh:mm:ss") the
    // engine first saw the current run of failed passes; empty while the instrument answers.
    bool NoReply = false;
    std::string NoReplySince;

    // Run-time objects the record refers to but does not own; copies share them.
    TMFCThread* ThreadMFC = nullptr;    // worker of a flow-controller or demo device
    TPSD4Thread* ThreadPump = nullptr;  // worker of a pump
    QObject* Led = nullptr;             // the device's LED in the status bar
    QObject* SerieSegment = nullptr;    // planned-flow curve
    QObject* SerieFlow = nullptr;       // achieved-flow curve

    // A device is configured exactly when it has a worker.
    bool IsConfigured() const { return ThreadMFC != nullptr || ThreadPump != nullptr; }

    // Takes now as the start of the program or direct control, on both clocks; the program
    // starts afresh (no pause, first cycle).
    void MarkFlowStart();
    // Minutes since MarkFlowStart on the monotonic clock of CurrentClock().
    double Elapsed_min() const;
    // Minutes of program time: the elapsed time less every pause.
    double ProgramTime_min() const;
    // Program time stands still from now on / runs on from now on (the pause is kept for
    // the planned curve).
    void BeginPause(TProgramPause why);
    void EndPause();
    TProgramRunRules RunRules() const { return {SegmentProgramTermination, ProgramRepeat}; }

    // A flow controller's full scale: known once the controller has reported it for its gas
    // (a demo device has its own from the start); until then every flow in its unit is
    // unknown. A pump's full scale comes from its syringe.
    bool FullScaleKnown() const;
    // The full scale in g/min of the device's gas; none while it is unknown.
    std::optional<double> FullScale_gpm() const;
    // Takes the full scale a controller reported for its gas (g/min) into both flow units.
    // False, and nothing changed, when it is no positive number or the record holds it
    // already.
    bool TakeReportedFullScale(double maxFlow_gpm);
    // The full scale becomes unknown: the controller reports another one for a new gas or
    // to a new worker.
    void ForgetFullScale();

    // Flow controllers and the demo kind: the short name of an elemental gas FluidID,
    // "Mixture" for a mixture (as defined or normalised), "Unknown" for a number the gas
    // table lacks. Pumps: "Pump". Needs the gas table built.
    std::string Fluidname() const;

    // Creates and starts the device's worker thread (a pump is connected and initialised
    // first, on the calling thread, which may take up to 15 s); false when the device
    // already has a worker, has a kind without one, or is a pump that does not answer.
    // Call it on the window thread: the worker exchanges its records with the thread that
    // created it. The caller owns the worker (delete it to end it; see TDeviceWorker).
    bool StartThread();
    // The same; for a pump that does not answer, `failure` says why (empty otherwise).
    bool StartThread(std::string& failure);
    // The same; `notice` tells the operator what was done on the way (a program the pump
    // was still running stopped), empty when nothing.
    bool StartThread(std::string& failure, std::string& notice);

    bool operator==(const TDeviceInfo&) const = default;
};

// "MFC-A" .. "MFC-D", "Pump", "MFC": the Device column of the device list.
std::string DeviceTypeName(tDeviceType kind);
// "Kestra", "Lumora", "Simulated": the Instrument column.
std::string InstrumentName(tDeviceType kind);

// The program-wide array; window thread only.
std::vector<TDeviceInfo>& DevicesLocal();

// The two virtual demo devices on "COMX" and "COMY".
std::vector<TDeviceInfo> DemoDevices();
// Module start-up, after the standard flow units: opens the channel and fills DevicesLocal
// with the demo devices.
void InitializeDeviceInfo();

// Ports are compared with blanks and control characters trimmed from both ends of both
// sides, then exactly (case matters). The first matching entry counts.
bool FindDevice(std::string_view port, TDeviceInfo& dev);  // dev untouched when not found
int DeviceIndex(std::string_view port);                    // -1 when not found
// The same, for ports the operator types: the entry of exactly this port, else the first
// whose port differs from it only in the case of ASCII letters ("com6" finds "COM6",
// "SIM-MFC1" finds "sim-mfc1"); -1 when there is neither.
int DeviceIndexIgnoringCase(std::string_view port);
// Copies dev over the entry of its port; false, and nothing changed, when there is none.
bool StoreDevice(const TDeviceInfo& dev);

// By NameRole with ASCII letters folded, then by DevType. Entries that compare equal keep
// no particular order.
void SortDevicesLocalArray();

// What the device search gives an instrument it finds before the operator configures it.
// Kestra controllers are lettered in the order they are found; see NextFlowControllerKind.
TDeviceInfo NewFoundDevice(std::string_view port, tDeviceType kind, std::string_view serial);
// dtMFCA for the first controller in `devices`, dtMFCB for the second, ..., dtMFCD from the
// fourth on (a Kestra mixer has four).
tDeviceType NextFlowControllerKind(const std::vector<TDeviceInfo>& devices);

}  // namespace tessaro
