#include "registry/Brinvale_DeviceInfo.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <utility>

#include "engine/Clock.h"
#include "gases/GasMixtures.h"
#include "mfc/AlicatMFCThread.h"
#include "protocol/PSD4Protocol.h"
#include "pump/PSD4_Thread.h"
#include "text/TextScan.h"

namespace tessaro {

Q_LOGGING_CATEGORY(DeviceInfoLog, "Unit: DeviceInfo", QtWarningMsg)

namespace {

constexpr double kFoundPumpSyringe_µL = 12500;   // the configuration tab's initial syringe
constexpr double kPumpFullScalePerSyringe = 25;  // µL/min per µL of syringe
constexpr double kRoomTemperatureC = 20;

constexpr const char* kFirstDemoProgram =
    "10 100 Ramp\r\n"
    "12 100 Step Some_random_comment\r\n"
    "12.5 30 Ramp\r\n"
    "15 50 Step\r\n"
    "20 30 Step\r\n"
    "24 0 Ramp";
constexpr const char* kSecondDemoProgram =
    "1.5 100 Ramp\r\n"
    "2.5 100 Step Some_random_comment\r\n"
    "3.5 30 Ramp\r\n"
    "4 50 Step\r\n"
    "4.5 30 Step\r\n"
    "8 0 Ramp";

constexpr double kPumpStartUpWait_s = 15;

void Write(const std::string& line) { qCInfo(DeviceInfoLog).noquote() << QString::fromStdString(line); }
void Warn(const std::string& line) { qCWarning(DeviceInfoLog).noquote() << QString::fromStdString(line); }

// Marks entering and leaving a named step on the channel.
class DiagnosticScope {
public:
    explicit DiagnosticScope(std::string name) : name_(std::move(name)) {
        qCDebug(DeviceInfoLog).noquote() << QString::fromStdString("Enter " + name_);
    }
    ~DiagnosticScope() { qCDebug(DeviceInfoLog).noquote() << QString::fromStdString("Leave " + name_); }
    DiagnosticScope(const DiagnosticScope&) = delete;
    DiagnosticScope& operator=(const DiagnosticScope&) = delete;

private:
    std::string name_;
};

// The pump is connected and initialised here, on the calling thread, before its worker
// runs. A pump that does not answer gets no worker: its worker could never stop it, and
// the device stays unconfigured so the operator can try again.
TPSD4Thread* StartPumpThread(const TDeviceInfo& dev, std::string& failure, std::string& notice) {
    DiagnosticScope scope("StartThread Pump");
    auto pump = std::make_unique<TPSD4>();
    if (!pump->Connect(dev.COMPort)) {
        failure = pump->ConnectFailure;
        Warn("No pump answers on " + dev.COMPort + ": " + failure + "; no worker started");
        return nullptr;
    }
    // A program left dosing by an earlier session would refuse the initialisation; the
    // worker stops it too when it gets no wish, but not before the wait below ran out.
    if (pump->RunningAtConnect) {
        notice = pump->StopLeftoverProgram()
                     ? "The pump on " + dev.COMPort + " was still running a program: stopped it (TR)"
                     : "The pump on " + dev.COMPort +
                           " is still running a program and did not take the stop (TR); its worker tries again";
        Write(notice);
    }
    pump->Initialize(std::string(kPumpInitialise));
    pump->WaitUntilFree(kPumpStartUpWait_s);

    auto thread = std::make_unique<TPSD4Thread>();
    thread->Name = dev.NameRole;
    thread->Pump = std::move(pump);
    thread->ThreadIn.IsTerminated = false;
    thread->ThreadIn.ToTerminate = false;
    thread->GUIIn.IsTerminated = false;
    thread->GUIOut.ToTerminate = false;
    Write("Create thread: " + thread->Name);
    thread->start();
    return thread.release();
}

TMFCThread* StartFlowControllerThread(const TDeviceInfo& dev) {
    DiagnosticScope scope("StartThread MFC");
    auto thread = std::make_unique<TMFCThread>();
    thread->Simulated = dev.DevType == dtMFCDemo;
    thread->MFC = std::make_unique<TAlicatMFC>();
    thread->MFC->GasID = -1;
    thread->MFC->Role = "A";
    thread->MFC->aDeviceID = 'A';
    thread->MFC->aPort.fPort = dev.COMPort;
    thread->MFC->aPort.fBaudRate = kAlicatBaudRate;
    thread->MFC->LocalNow = LocalNowDays;
    thread->ThreadID = dev.COMPort;
    thread->Name = dev.COMPort;
    thread->ThreadIn.IsTerminated = false;
    thread->ThreadIn.ToTerminate = false;
    thread->GUIOut.ToTerminate = false;
    Write("Create thread: " + thread->ThreadID + " - " + thread->Name);
    thread->start();
    return thread.release();
}

bool SortsBefore(const TDeviceInfo& a, const TDeviceInfo& b) {
    if (LessIgnoringAsciiCase(a.NameRole, b.NameRole)) return true;
    if (LessIgnoringAsciiCase(b.NameRole, a.NameRole)) return false;
    return a.DevType < b.DevType;
}

TRtColor NamedColor(std::string_view name) { return ColorFromName(name).value_or(kBlack); }

TDeviceInfo DemoDevice(std::string port, std::string serial, std::string_view color, double fullScale_sccm,
                       std::string program) {
    TDeviceInfo dev;
    dev.COMPort = std::move(port);
    dev.DevType = dtMFCDemo;
    dev.Serial = std::move(serial);
    dev.NameRole = "Virtual Demo";
    dev.Color = NamedColor(color);
    dev.ControlMode = dcmDirect;
    dev.Setpoint_pct = 0;
    dev.FlowUnitDevice = FlowUnitMlnAir();
    dev.FlowUnitDevice.SetGasFlowMax(fullScale_sccm);
    dev.FlowUnitUser = dev.FlowUnitDevice.Clone();
    dev.FluidID = -1;
    dev.SegmentProgram = std::move(program);
    // A demo device reports no real flow: its alarm would always be raised.
    dev.AlarmBand_pct = 0;
    return dev;
}

std::string_view FoundDeviceColor(tDeviceType kind) {
    switch (kind) {
        case dtMFCA:
            return "Blue";
        case dtMFCB:
            return "Red";
        case dtMFCC:
            return "Green";
        case dtMFCD:
            return "DarkOrange";
        case dtPump:
            return "Teal";
        case dtMFCDemo:
            return "Purple";
    }
    return "Black";
}

}  // namespace

void TDeviceInfo::MarkFlowStart() {
    FlowStartTime = LocalNowDays();
    FlowStartMonotonic = MonotonicNow();
    Run = TProgramRun{};
}

double TDeviceInfo::ProgramTime_min() const {
    std::chrono::milliseconds paused = Run.Paused;
    if (Run.Pause != TProgramPause::None) paused += MonotonicNow() - Run.PausedSince;
    return std::chrono::duration<double, std::ratio<60>>(MonotonicNow() - FlowStartMonotonic - paused).count();
}

void TDeviceInfo::BeginPause(TProgramPause why) {
    if (Run.Pause == TProgramPause::None) Run.PausedSince = MonotonicNow();
    Run.Pause = why;
}

void TDeviceInfo::EndPause() {
    if (Run.Pause == TProgramPause::None) return;
    const double programTime = ProgramTime_min();
    const std::chrono::milliseconds pause = MonotonicNow() - Run.PausedSince;
    Run.Paused += pause;
    Run.StandStills.push_back({programTime, std::chrono::duration<double, std::ratio<60>>(pause).count()});
    Run.Pause = TProgramPause::None;
}

double TDeviceInfo::Elapsed_min() const {
    return std::chrono::duration<double, std::ratio<60>>(MonotonicNow() - FlowStartMonotonic).count();
}

bool TDeviceInfo::FullScaleKnown() const {
    if (DevType == dtPump) return MaxFlow_µlpm > 0;
    return FlowUnitDevice.GasFlowMaxKnown();
}

std::optional<double> TDeviceInfo::FullScale_gpm() const {
    if (DevType == dtPump || !FlowUnitDevice.GasFlowMaxKnown()) return std::nullopt;
    return MassFromVolume(FlowUnitDevice.GasFlowMax_sccm() / StandardCCPerLitre, StandardPressure_BarA,
                          StandardTemperature_K, FlowUnitDevice.GasMolarMass);
}

bool TDeviceInfo::TakeReportedFullScale(double maxFlow_gpm) {
    const double fullScale_sccm = StandardCCFromGrams(maxFlow_gpm, FlowUnitDevice.GasMolarMass);
    if (!(fullScale_sccm > 0) || !std::isfinite(fullScale_sccm)) return false;
    if (fullScale_sccm == FlowUnitDevice.GasFlowMax_sccm() && fullScale_sccm == FlowUnitUser.GasFlowMax_sccm())
        return false;
    FlowUnitDevice.SetGasFlowMax(fullScale_sccm);
    FlowUnitUser.SetGasFlowMax(fullScale_sccm);
    return true;
}

void TDeviceInfo::ForgetFullScale() {
    FlowUnitDevice.SetGasFlowMax(0);
    FlowUnitUser.SetGasFlowMax(0);
}

std::string TDeviceInfo::Fluidname() const {
    if (DevType == dtPump) return "Pump";
    if (!IsFlowController(DevType)) return "Unknown";
    TGasItem gas;
    if (!TryGetGas_ID(FluidID, gas)) return "Unknown";
    // Stock mixtures stay in the table as defined; they are mixtures all the same.
    return gas.GasType() == TGasType::tElemental ? gas.NameShort : "Mixture";
}

bool TDeviceInfo::StartThread() {
    std::string failure;
    return StartThread(failure);
}

bool TDeviceInfo::StartThread(std::string& failure) {
    std::string notice;
    return StartThread(failure, notice);
}

bool TDeviceInfo::StartThread(std::string& failure, std::string& notice) {
    failure.clear();
    notice.clear();
    if (IsConfigured()) return false;
    if (DevType == dtPump) {
        ThreadPump = StartPumpThread(*this, failure, notice);
        return ThreadPump != nullptr;
    }
    if (IsFlowController(DevType)) {
        ThreadMFC = StartFlowControllerThread(*this);
        return true;
    }
    return false;
}

std::string DeviceTypeName(tDeviceType kind) {
    switch (kind) {
        case dtMFCA:
            return "MFC-A";
        case dtMFCB:
            return "MFC-B";
        case dtMFCC:
            return "MFC-C";
        case dtMFCD:
            return "MFC-D";
        case dtPump:
            return "Pump";
        case dtMFCDemo:
            return "MFC";
    }
    return "Unknown";
}

std::string InstrumentName(tDeviceType kind) {
    if (IsMixerController(kind)) return "Kestra";
    if (kind == dtPump) return "Lumora";
    if (kind == dtMFCDemo) return "Simulated";
    return "Unknown";
}

std::vector<TDeviceInfo>& DevicesLocal() {
    static std::vector<TDeviceInfo> devices;
    return devices;
}

std::vector<TDeviceInfo> DemoDevices() {
    std::vector<TDeviceInfo> demos;
    demos.push_back(DemoDevice("COMX", "123456", "Purple", 50, kFirstDemoProgram));
    demos.push_back(DemoDevice("COMY", "1234567", "Green", 500, kSecondDemoProgram));
    return demos;
}

void InitializeDeviceInfo() {
    qCDebug(DeviceInfoLog) << "Initialization";
    DevicesLocal() = DemoDevices();
}

int DeviceIndex(std::string_view port) {
    const std::string_view wanted = TrimBlanksAndControls(port);
    const std::vector<TDeviceInfo>& devices = DevicesLocal();
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (TrimBlanksAndControls(devices[i].COMPort) == wanted) return static_cast<int>(i);
    return -1;
}

int DeviceIndexIgnoringCase(std::string_view port) {
    if (const int exact = DeviceIndex(port); exact >= 0) return exact;
    const std::string_view wanted = TrimBlanksAndControls(port);
    const std::vector<TDeviceInfo>& devices = DevicesLocal();
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (EqualIgnoringAsciiCase(TrimBlanksAndControls(devices[i].COMPort), wanted)) return static_cast<int>(i);
    return -1;
}

bool FindDevice(std::string_view port, TDeviceInfo& dev) {
    const int index = DeviceIndex(port);
    if (index < 0) return false;
    dev = DevicesLocal()[static_cast<std::size_t>(index)];
    return true;
}

bool StoreDevice(const TDeviceInfo& dev) {
    const int index = DeviceIndex(dev.COMPort);
    if (index < 0) return false;
    try {
        // Copy first, then move in: a copy that runs out of memory leaves the entry whole.
        TDeviceInfo copy = dev;
        DevicesLocal()[static_cast<std::size_t>(index)] = std::move(copy);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void SortDevicesLocalArray() { std::ranges::sort(DevicesLocal(), SortsBefore); }

tDeviceType NextFlowControllerKind(const std::vector<TDeviceInfo>& devices) {
    const auto found =
        std::ranges::count_if(devices, [](const TDeviceInfo& d) { return IsMixerController(d.DevType); });
    return static_cast<tDeviceType>(std::min<std::ptrdiff_t>(found, dtMFCD));
}

TDeviceInfo NewFoundDevice(std::string_view port, tDeviceType kind, std::string_view serial) {
    TDeviceInfo dev;
    dev.COMPort = port;
    dev.DevType = kind;
    dev.Serial = serial;
    dev.NameRole = InstrumentName(kind) + " " + DeviceTypeName(kind);
    dev.Color = NamedColor(FoundDeviceColor(kind));
    dev.ControlMode = dcmIdle;
    if (kind == dtPump) {
        dev.SyringeSizeµL = kFoundPumpSyringe_µL;
        dev.MaxFlow_µlpm = kPumpFullScalePerSyringe * kFoundPumpSyringe_µL;
        dev.FluidTemperatureC = kRoomTemperatureC;
        dev.FlowUnitDevice = FlowUnitMicrolitres();
    } else {
        // The controller's full scale is unknown until it reports it for its gas (see
        // FullScaleKnown), rather than a made-up figure that calculations would take for real.
        dev.FlowUnitDevice = FlowUnitMlnAir();
        dev.FlowUnitDevice.SetGasFlowMax(0);
    }
    dev.FlowUnitUser = dev.FlowUnitDevice.Clone();
    return dev;
}

}  // namespace tessaro
