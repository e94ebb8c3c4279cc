// Writing a run file, taking one from the configured devices, and applying one to the
// engine: every device is found before any is configured.

#include "run/RunFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>
#include <utility>

#include "discovery/BackgroundJobs.h"
#include "discovery/OperationWindow.h"
#include "engine/AtomicFile.h"
#include "engine/Engine.h"
#include "engine/LockedMessages.h"
#include "engine/ProgramOptions.h"
#include "gases/GasMixtures.h"
#include "segments/SegmentEditing.h"
#include "serial/SerialPort.h"
#include "text/Messages.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

// --- Writing ------------------------------------------------------------------------------------------

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A named colour by its name, any other by its number.
std::string ColorText(TRtColor color) {
    for (const TNamedColor& named : NamedColors())
        if (named.Color == color) return std::string(named.Name);
    return std::to_string(color);
}

QJsonObject UnitObject(const TRunUnit& unit) {
    QJsonObject object{{"name", Text(unit.Name)}};
    if (unit.TemperatureC) object.insert("temperature_c", *unit.TemperatureC);
    if (unit.PressureBar) object.insert("pressure_bar", *unit.PressureBar);
    return object;
}

QJsonObject DeviceObject(const TRunDevice& device) {
    QJsonObject object;
    if (!device.Port.empty()) object.insert("port", Text(device.Port));
    if (!device.Serial.empty()) object.insert("serial", Text(device.Serial));
    object.insert("kind", device.IsPump ? kRunKindPump : kRunKindFlowController);
    object.insert("name", Text(device.Name));
    object.insert("color", Text(ColorText(device.Color)));
    if (device.IsPump) {
        object.insert("fluid", Text(device.Fluid));
        object.insert("syringe_ul", device.Syringe_µL);
        object.insert("fluid_temperature_c", device.FluidTemperatureC);
    } else {
        object.insert("gas", Text(device.Fluid));
        object.insert("unit", UnitObject(device.Unit));
        object.insert("holdback_band_pct", device.HoldbackBand_pct);
        object.insert("longest_hold_s", device.LongestHold_s);
        object.insert("alarm_band_pct", device.AlarmBand_pct);
        object.insert("alarm_delay_s", device.AlarmDelay_s);
    }
    if (!device.Program.empty()) object.insert("program", Text(device.Program));
    object.insert("repeat", device.Repeat);
    object.insert("end", device.End == TSegProgTermination::tspttKeep ? kRunEndKeep : kRunEndZero);
    return object;
}

// --- Taking the configured devices ----------------------------------------------------------------------

std::string FluidShortName(std::int32_t id) {
    TGasItem item;
    return TryGetGas_ID(id, item) ? item.NameShort : std::string();
}

// What a run file holds of the device: a pump has no flow unit, holdback or alarm, a
// controller no syringe or fluid temperature.
TRunDevice RunDeviceOf(const TDeviceInfo& device) {
    TRunDevice run;
    run.Port = device.COMPort;
    run.IsPump = device.DevType == dtPump;
    run.Name = device.NameRole;
    run.Color = device.Color;
    run.Fluid = FluidShortName(device.FluidID);
    run.Program = std::string(TrimBlanksAndControls(device.SegmentProgram));
    run.Repeat = device.ProgramRepeat;
    run.End = device.SegmentProgramTermination;
    if (run.IsPump) {
        run.Syringe_µL = device.SyringeSizeµL;
        run.FluidTemperatureC = device.FluidTemperatureC;
        return run;
    }
    run.Unit.Name = device.FlowUnitUser.Name;
    if (device.FlowUnitUser.GasFlowType != gfuGrams) {
        run.Unit.TemperatureC = device.FlowUnitUser.Temperature;
        run.Unit.PressureBar = device.FlowUnitUser.Pressure_BarA;
    }
    run.HoldbackBand_pct = device.HoldbackBand_pct;
    run.LongestHold_s = device.LongestHold_s;
    run.AlarmBand_pct = device.AlarmBand_pct;
    run.AlarmDelay_s = device.AlarmDelay_s;
    return run;
}

// --- Finding the devices --------------------------------------------------------------------------------

std::string Quote(std::string_view text) { return "\"" + PrintableOnly(text) + "\""; }

std::string KindText(bool pump) { return pump ? kRunKindPump : kRunKindFlowController; }

// Where a device of the run was found: in the registry, or by a probe that still has to be
// registered.
struct TFoundDevice {
    std::string Port;
    std::optional<TPortProbe> NewProbe;
};

class TRunDeviceLocator {
public:
    TRunDeviceLocator(const TRunDeviceFinder& finder, std::vector<std::string>& problems)
        : finder_(finder), problems_(problems) {}

    std::optional<TFoundDevice> Locate(const TRunDevice& device, const std::string& path) {
        return device.Port.empty() ? LocateBySerial(device, path + ".serial") : LocateByPort(device, path + ".port");
    }

private:
    std::optional<TFoundDevice> LocateByPort(const TRunDevice& device, const std::string& path) {
        TDeviceInfo registered;
        if (FindDevice(device.Port, registered)) {
            if (!KindMatches(registered.DevType == dtPump, device, path, Quote(device.Port))) return std::nullopt;
            return TFoundDevice{registered.COMPort, std::nullopt};
        }
        // Only a name the port list can give is opened, never another file.
        if (!IsPlainPortName(device.Port)) {
            problems_.push_back(path + ": " + Quote(device.Port) + " is not a port name as the port list shows it");
            return std::nullopt;
        }
        if (!finder_.Probe) {
            problems_.push_back(path + ": there is no device on " + Quote(device.Port));
            return std::nullopt;
        }
        TPortProbe probe = finder_.Probe(device.Port);
        probe.Port = device.Port;
        if (!probe.MfcFound && !probe.PumpFound) {
            problems_.push_back(path + ": " +
                                (probe.OpenRefusal.empty()
                                     ? "no instrument answers on " + Quote(device.Port)
                                     : Quote(device.Port) + " cannot be opened: " + probe.OpenRefusal));
            return std::nullopt;
        }
        if (!KindMatches(probe.PumpFound, device, path, Quote(device.Port))) return std::nullopt;
        return TFoundDevice{device.Port, std::move(probe)};
    }

    std::optional<TFoundDevice> LocateBySerial(const TRunDevice& device, const std::string& path) {
        for (const TDeviceInfo& registered : DevicesLocal())
            if (TrimBlanksAndControls(registered.Serial) == device.Serial) {
                if (!KindMatches(registered.DevType == dtPump, device, path, "on " + Quote(registered.COMPort)))
                    return std::nullopt;
                return TFoundDevice{registered.COMPort, std::nullopt};
            }
        for (const TPortProbe& probe : SearchResults())
            if ((probe.MfcFound || probe.PumpFound) && TrimBlanksAndControls(probe.Entry.Serial) == device.Serial) {
                if (!KindMatches(probe.PumpFound, device, path, "on " + Quote(probe.Port))) return std::nullopt;
                return TFoundDevice{probe.Port, probe};
            }
        problems_.push_back(path + ": no instrument with the serial number " + Quote(device.Serial) + " was found");
        return std::nullopt;
    }

    bool KindMatches(bool foundPump, const TRunDevice& device, const std::string& path, const std::string& where) {
        if (foundPump == device.IsPump) return true;
        problems_.push_back(path + ": the instrument " + where + " is a " + KindText(foundPump) + ", not a " +
                            KindText(device.IsPump));
        return false;
    }

    // The search runs once, and only when a device is named by its serial number.
    const std::vector<TPortProbe>& SearchResults() {
        if (!searched_ && finder_.Search) searchResults_ = finder_.Search();
        searched_ = true;
        return searchResults_;
    }

    const TRunDeviceFinder& finder_;
    std::vector<std::string>& problems_;
    bool searched_ = false;
    std::vector<TPortProbe> searchResults_;
};

// Every device of the run, or the problems; two entries that turn out to be one instrument
// are a problem too.
std::vector<TFoundDevice> LocateRunDevices(const TRunFile& run, const TRunDeviceFinder& finder,
                                           std::vector<std::string>& problems) {
    TRunDeviceLocator locator(finder, problems);
    std::vector<TFoundDevice> found;
    std::map<std::string, std::size_t> indexOfPort;
    for (std::size_t i = 0; i < run.Devices.size(); ++i) {
        const std::string path = "devices[" + std::to_string(i) + "]";
        std::optional<TFoundDevice> device = locator.Locate(run.Devices[i], path);
        if (!device) continue;
        const auto [at, inserted] = indexOfPort.emplace(std::string(TrimBlanksAndControls(device->Port)), i);
        if (!inserted)
            problems.push_back(path + ": names the instrument on " + Quote(device->Port) + " as devices[" +
                               std::to_string(at->second) + "] does");
        found.push_back(std::move(*device));
    }
    return found;
}

// A found instrument joins the registry as the device search registers it.
void Register(const TPortProbe& probe) {
    const tDeviceType kind = probe.PumpFound ? dtPump : NextFlowControllerKind(DevicesLocal());
    DevicesLocal().push_back(NewFoundDevice(probe.Port, kind, probe.Entry.Serial));
}

// --- Configuring ----------------------------------------------------------------------------------------

TConfigurationEntry ConfigurationEntryOf(const TRunDevice& run, const TDeviceInfo& device) {
    TConfigurationEntry entry;
    entry.NameRole = run.Name;
    entry.Color = run.Color;
    TGasItem gas;
    if (GetGasByShortName(run.Fluid, gas)) entry.FluidID = gas.AlicatID;
    entry.UnitName = run.IsPump ? device.FlowUnitUser.Name : run.Unit.Name;
    entry.UnitIsGrams = run.IsPump || run.Unit.IsMass();
    entry.UnitTemperatureC = run.Unit.TemperatureC.value_or(device.FlowUnitUser.Temperature);
    entry.UnitPressureBar = run.Unit.PressureBar.value_or(device.FlowUnitUser.Pressure_BarA);
    // A controller has no syringe; it keeps what it has, as the Configure page would.
    const bool knownSyringe = std::ranges::find(kSyringeSizes_µL, device.SyringeSizeµL) != kSyringeSizes_µL.end();
    entry.SyringeSize_µL =
        run.IsPump ? run.Syringe_µL : (knownSyringe ? device.SyringeSizeµL : kSyringeSizes_µL.back());
    entry.FluidTemperatureC = run.IsPump ? run.FluidTemperatureC : device.FluidTemperatureC;
    entry.Setpoint_gui = device.Setpoint_gui;
    return entry;
}

TProgramOptions ProgramOptionsOf(const TRunDevice& run) {
    TProgramOptions options;
    options.TerminationItem = ItemOfTermination(run.End);
    options.Repeat = run.Repeat;
    options.HoldbackBand_pct = run.HoldbackBand_pct;
    options.LongestHold_s = run.LongestHold_s;
    options.AlarmBand_pct = run.AlarmBand_pct;
    options.AlarmDelay_s = run.AlarmDelay_s;
    return options;
}

// Messages the configuration would show in boxes become the run's problems. A worker may
// raise one meanwhile, on its own thread.
class TMessageCollector {
public:
    TMessageCollector() : diversion_([this](const std::string& text) { messages_.Add(text); }) {}
    std::vector<std::string> Take() { return messages_.Take(); }

private:
    TLockedMessages messages_;
    TMessageDiversion diversion_;  // last: ends before the list it fills
};

bool ConfigureRunDevice(TEngine& engine, const TRunDevice& run, const std::string& port, const std::string& path,
                        std::vector<std::string>& problems) {
    TDeviceInfo device;
    if (!FindDevice(port, device)) return false;
    TMessageCollector messages;
    const bool applied = engine.ApplyConfiguration(port, ConfigurationEntryOf(run, device)) &&
                         engine.LoadRunProgram(port, run.Program, ProgramOptionsOf(run));
    for (const std::string& message : messages.Take()) problems.push_back(path + ": " + message);
    if (!applied && problems.empty())
        problems.push_back(path + ": the device on " + Quote(port) + " was not configured");
    return applied;
}

// The device list as it stands: shown devices with their state, the others as found.
std::vector<TDeviceRowTexts> DeviceRows() {
    std::vector<TDeviceRowTexts> rows;
    for (const TDeviceInfo& device : DevicesLocal())
        rows.push_back(device.IsConfigured() ? ShownDeviceListRow(device) : DeviceListRow(device));
    SortDeviceRows(rows);
    return rows;
}

constexpr const char* kRunFileFilter = "Run files (*.json)|*.json";

}  // namespace

std::string RunFileText(const TRunFile& run) {
    QJsonObject top;
    if (!run.Rig.empty()) top.insert("rig", Text(run.Rig));
    QJsonArray devices;
    for (const TRunDevice& device : run.Devices) devices.append(DeviceObject(device));
    top.insert("devices", devices);
    if (run.GiveUpAfter_s) top.insert("give_up_after_s", *run.GiveUpAfter_s);
    if (run.Mqtt)
        top.insert("mqtt",
                   QJsonObject{{"host", Text(run.Mqtt->Host)}, {"port", run.Mqtt->Port}, {"rig", Text(run.Mqtt->Rig)}});
    return QJsonDocument(top).toJson(QJsonDocument::Indented).toStdString();
}

bool WriteRunFile(const std::filesystem::path& path, const TRunFile& run, std::string& error) {
    const std::string text = RunFileText(run);
    return WriteFileAtomically(
        path, [&text](const TByteWriter& write) { return write(text); }, error);
}

TRunFile RunFileFromEngine(const TEngine&) {
    TRunFile run;
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured()) run.Devices.push_back(RunDeviceOf(device));
    return run;
}

TRunDeviceFinder SystemRunDeviceFinder() { return ProbingRunDeviceFinder(&ListComPorts); }

TRunDeviceFinder ProbingRunDeviceFinder(TPortLister lister) {
    TRunDeviceFinder finder;
    finder.Probe = [](const std::string& port) {
        TPortProbe probe;
        RunJobsServingEvents({[&probe, &port] { probe = ProbePort(port); }}, [](std::size_t) {});
        return probe;
    };
    finder.Search = [lister = std::move(lister)] {
        std::vector<std::string> ports;
        for (const std::string& port : lister())
            if (IsPlainPortName(port) && DeviceIndex(port) < 0 && std::ranges::find(ports, port) == ports.end())
                ports.push_back(port);
        std::vector<TPortProbe> probes(ports.size());
        std::vector<std::function<void()>> jobs;
        for (std::size_t i = 0; i < ports.size(); ++i)
            jobs.push_back([&probes, &ports, i] { probes[i] = ProbePort(ports[i]); });
        RunJobsServingEvents(jobs, [](std::size_t) {});
        return probes;
    };
    return finder;
}

std::vector<std::string> ApplyRunFile(TEngine& engine, const TRunFile& run, const TRunDeviceFinder& finder) {
    std::vector<std::string> problems;
    const std::vector<TFoundDevice> found = LocateRunDevices(run, finder, problems);
    if (!problems.empty()) return problems;

    for (const TFoundDevice& device : found)
        if (device.NewProbe) Register(*device.NewProbe);
    for (std::size_t i = 0; i < found.size(); ++i)
        ConfigureRunDevice(engine, run.Devices[i], found[i].Port, "devices[" + std::to_string(i) + "]", problems);
    if (problems.empty())
        engine.MM("Run file applied: " + std::to_string(found.size()) + " device(s) configured, nothing started");
    return problems;
}

TFileDialogRequest RunFileDialog(const TEngine& engine) {
    return {kRunFileFilter, engine.Settings().DataFolder, std::string()};
}

TRunFileOpened OpenRunFile(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder) {
    TRunFileOpened opened;
    const TRunFileRead read = ReadRunFile(path);
    opened.Problems = read.Run ? ApplyRunFile(engine, *read.Run, finder) : read.Problems;
    opened.Applied = read.Run && opened.Problems.empty();
    const std::string shown = PrintableOnly(path.string());
    if (!read.Run)
        engine.MM("The run file " + shown + " is not valid; nothing was configured:");
    else if (!opened.Applied)
        engine.MM("The run file " + shown + " could not be applied:");
    else
        engine.MM("Run file " + shown + " loaded; start the programs when ready");
    for (const std::string& problem : opened.Problems) engine.MM(problem);
    opened.Rows = DeviceRows();
    return opened;
}

std::optional<TRunFileOpened> OpenRunFile(TEngine& engine, const std::filesystem::path& path,
                                          const TRunDeviceFinder& finder, TOperationWindow& window,
                                          TEngineTimer* timer) {
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return std::nullopt;
    }
    const TOperationFrame frame(window, timer, "Opening the run file");
    return OpenRunFile(engine, path, finder);
}

bool SaveRunFile(TEngine& engine, const std::filesystem::path& path, std::string& error) {
    const TRunFile run = RunFileFromEngine(engine);
    const std::string shown = PrintableOnly(path.string());
    if (!WriteRunFile(path, run, error)) {
        engine.MM("The run file " + shown + " was not written: " + error);
        return false;
    }
    engine.MM("Run file of " + std::to_string(run.Devices.size()) + " configured device(s) saved to " + shown);
    return true;
}

std::vector<std::string> RunPorts(const TRunFile& run) {
    std::vector<std::string> ports;
    for (const TRunDevice& device : run.Devices) {
        if (!device.Port.empty()) {
            ports.push_back(device.Port);
            continue;
        }
        for (const TDeviceInfo& registered : DevicesLocal())
            if (TrimBlanksAndControls(registered.Serial) == device.Serial) {
                ports.push_back(registered.COMPort);
                break;
            }
    }
    return ports;
}

}  // namespace tessaro
