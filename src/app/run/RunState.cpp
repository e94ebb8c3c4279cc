#include "run/RunState.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "engine/AtomicFile.h"
#include "engine/Clock.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

using TMinutes = std::chrono::duration<double, std::ratio<60>>;

constexpr std::array<std::pair<tDeviceType, const char*>, 6> kKindNames{
    {{dtMFCA, "MFC-A"}, {dtMFCB, "MFC-B"}, {dtMFCC, "MFC-C"}, {dtMFCD, "MFC-D"}, {dtPump, "Pump"}, {dtMFCDemo, "MFC"}}};

double Minutes(std::chrono::milliseconds duration) { return TMinutes(duration).count(); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

QJsonObject UnitObject(const TRunStateDevice& device) {
    return {{"name", Text(device.UnitName)},
            {"grams", device.UnitIsGrams},
            {"temperature_c", device.UnitTemperatureC},
            {"pressure_bar", device.UnitPressureBar}};
}

QJsonArray StandStillArray(const std::vector<TStandStill>& stills) {
    QJsonArray array;
    for (const TStandStill& still : stills)
        array.append(QJsonObject{{"program_time_min", still.ProgramTime_min}, {"duration_min", still.Duration_min}});
    return array;
}

QJsonObject DeviceObject(const TRunStateDevice& device) {
    return {{"port", Text(device.Port)},
            {"kind", Text(RunStateKindName(device.Kind))},
            {"name", Text(device.Name)},
            {"serial", Text(device.Serial)},
            {"color", static_cast<qint64>(device.Color)},
            {"fluid_id", device.FluidID},
            {"unit", UnitObject(device)},
            {"syringe_ul", device.SyringeSize_µL},
            {"fluid_temperature_c", device.FluidTemperatureC},
            {"program", Text(device.Program)},
            {"end", device.End == TSegProgTermination::tspttKeep ? "keep" : "zero"},
            {"repeat", device.Repeat},
            {"holdback_band_pct", device.HoldbackBand_pct},
            {"longest_hold_s", device.LongestHold_s},
            {"alarm_band_pct", device.AlarmBand_pct},
            {"alarm_delay_s", device.AlarmDelay_s},
            {"started", device.StartedDays},
            {"program_time_min", device.ProgramTime_min},
            {"paused_min", device.Paused_min},
            {"stand_stills", StandStillArray(device.StandStills)},
            {"held", device.Held},
            {"held_for_min", device.HeldFor_min},
            {"cycle", device.Cycle},
            {"ended", device.Ended}};
}

// Reads the keys of one object, collecting a problem for each missing or wrong one.
class TKeyReader {
public:
    TKeyReader(const QJsonObject& object, std::string path, std::vector<std::string>& problems)
        : object_(object), path_(std::move(path)), problems_(problems) {}

    bool Failed() const { return failed_; }

    void Read(const char* key, std::string& value) {
        const QJsonValue found = object_.value(key);
        if (!found.isString()) return Problem(key, "expected a text");
        value = found.toString().toStdString();
    }
    void Read(const char* key, bool& value) {
        const QJsonValue found = object_.value(key);
        if (!found.isBool()) return Problem(key, "expected true or false");
        value = found.toBool();
    }
    // A finite number within [least, most].
    void Read(const char* key, double& value, double least = -1e300, double most = 1e300) {
        const QJsonValue found = object_.value(key);
        const double number = found.toDouble();
        if (!found.isDouble() || !std::isfinite(number) || number < least || number > most)
            return Problem(key, "expected a number from " + Number(least) + " to " + Number(most));
        value = number;
    }
    template <typename Integer>
    void ReadWhole(const char* key, Integer& value, double least, double most) {
        const QJsonValue found = object_.value(key);
        const double number = found.toDouble();
        if (!found.isDouble() || number < least || number > most || number != std::floor(number))
            return Problem(key, "expected a whole number from " + Number(least) + " to " + Number(most));
        value = static_cast<Integer>(number);
    }
    QJsonObject Object(const char* key) {
        const QJsonValue found = object_.value(key);
        if (!found.isObject()) Problem(key, "expected an object");
        return found.toObject();
    }
    QJsonArray Array(const char* key) {
        const QJsonValue found = object_.value(key);
        if (!found.isArray()) Problem(key, "expected a list");
        return found.toArray();
    }
    void Problem(const std::string& key, const std::string& what) {
        failed_ = true;
        problems_.push_back(path_ + (path_.empty() ? "" : ".") + key + ": " + what);
    }
    const std::string& Path() const { return path_; }

private:
    static std::string Number(double value) {
        if (std::abs(value) >= 1e300) return value < 0 ? "-∞" : "∞";
        return QString::number(value, 'g', 15).toStdString();
    }

    const QJsonObject& object_;
    std::string path_;
    std::vector<std::string>& problems_;
    bool failed_ = false;
};

// A port name the file may name: no control characters and no step out of a folder.
bool IsSafePortName(const std::string& port) {
    const auto unsafe = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\'; };
    if (port.empty() || std::ranges::any_of(port, unsafe)) return false;
    std::size_t start = 0;
    while (start <= port.size()) {
        const std::size_t end = std::min(port.find('/', start), port.size());
        if (std::string_view(port.data() + start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::vector<TStandStill> ReadStandStills(TKeyReader& keys, std::vector<std::string>& problems) {
    std::vector<TStandStill> stills;
    const QJsonArray array = keys.Array("stand_stills");
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonObject object = array[i].toObject();
        TKeyReader still(object, keys.Path() + ".stand_stills[" + std::to_string(i) + "]", problems);
        TStandStill entry;
        still.Read("program_time_min", entry.ProgramTime_min, 0);
        still.Read("duration_min", entry.Duration_min, 0);
        if (still.Failed()) {
            keys.Problem("stand_stills", "see above");
            continue;
        }
        stills.push_back(entry);
    }
    return stills;
}

bool ReadDevice(const QJsonObject& object, const std::string& path, TRunStateDevice& device,
                std::vector<std::string>& problems) {
    TKeyReader keys(object, path, problems);
    keys.Read("port", device.Port);
    if (!keys.Failed() && !IsSafePortName(device.Port))
        keys.Problem("port", "\"" + PrintableOnly(device.Port) + "\" is no port name");
    std::string kind;
    keys.Read("kind", kind);
    if (object.value("kind").isString() && !RunStateKindOfName(kind, device.Kind))
        keys.Problem("kind", "unknown kind \"" + PrintableOnly(kind) + "\"");
    keys.Read("name", device.Name);
    keys.Read("serial", device.Serial);
    keys.ReadWhole("color", device.Color, 0, 4294967295.0);
    keys.ReadWhole("fluid_id", device.FluidID, -1, 1e9);
    const QJsonObject unit = keys.Object("unit");
    TKeyReader unitKeys(unit, path + ".unit", problems);
    unitKeys.Read("name", device.UnitName);
    unitKeys.Read("grams", device.UnitIsGrams);
    unitKeys.Read("temperature_c", device.UnitTemperatureC);
    unitKeys.Read("pressure_bar", device.UnitPressureBar);
    keys.Read("syringe_ul", device.SyringeSize_µL, 0);
    keys.Read("fluid_temperature_c", device.FluidTemperatureC);
    std::string program;
    keys.Read("program", program);
    device.Program = std::move(program);
    std::string end;
    keys.Read("end", end);
    if (end == "keep")
        device.End = TSegProgTermination::tspttKeep;
    else if (end == "zero")
        device.End = TSegProgTermination::tspttZero;
    else if (object.value("end").isString())
        keys.Problem("end", "expected \"zero\" or \"keep\"");
    keys.ReadWhole("repeat", device.Repeat, kMinimumRepeat, kMaximumRepeat);
    keys.Read("holdback_band_pct", device.HoldbackBand_pct, 0, 100);
    keys.Read("longest_hold_s", device.LongestHold_s, 0);
    keys.Read("alarm_band_pct", device.AlarmBand_pct, 0, 100);
    keys.Read("alarm_delay_s", device.AlarmDelay_s, 0);
    keys.Read("started", device.StartedDays);
    keys.Read("program_time_min", device.ProgramTime_min, 0);
    keys.Read("paused_min", device.Paused_min, 0);
    device.StandStills = ReadStandStills(keys, problems);
    keys.Read("held", device.Held);
    keys.Read("held_for_min", device.HeldFor_min, 0);
    keys.ReadWhole("cycle", device.Cycle, 1, kMaximumRepeat);
    keys.Read("ended", device.Ended);
    return !keys.Failed() && !unitKeys.Failed();
}

}  // namespace

std::string RunStateKindName(tDeviceType kind) {
    for (const auto& [known, name] : kKindNames)
        if (known == kind) return name;
    return "MFC-A";
}

bool RunStateKindOfName(std::string_view name, tDeviceType& kind) {
    for (const auto& [known, text] : kKindNames) {
        if (name != text) continue;
        kind = known;
        return true;
    }
    return false;
}

bool RunsProgram(const TDeviceInfo& device) { return device.IsConfigured() && device.ControlMode == dcmSegment; }

bool AnyProgramRunning(const std::vector<TDeviceInfo>& devices) {
    return std::ranges::any_of(devices,
                               [](const TDeviceInfo& device) { return RunsProgram(device) && !device.Run.Ended; });
}

TRunStateDevice RunStateDeviceOf(const TDeviceInfo& running) {
    // A holdback in progress is written as ended: the flow it waited for has gone with the
    // computer, and the tick starts a new one if the flow still lags.
    TDeviceInfo device = running;
    if (device.Run.Pause == TProgramPause::Holdback) device.EndPause();
    TRunStateDevice state;
    state.Port = device.COMPort;
    state.Kind = device.DevType;
    state.Name = device.NameRole;
    state.Serial = device.Serial;
    state.Color = device.Color;
    state.FluidID = device.FluidID;
    state.UnitName = device.FlowUnitUser.Name;
    state.UnitIsGrams = device.FlowUnitUser.GasFlowType == gfuGrams;
    state.UnitTemperatureC = device.FlowUnitUser.Temperature;
    state.UnitPressureBar = device.FlowUnitUser.Pressure_BarA;
    state.SyringeSize_µL = device.SyringeSizeµL;
    state.FluidTemperatureC = device.FluidTemperatureC;
    state.Program = device.SegmentProgram;
    state.End = device.SegmentProgramTermination;
    state.Repeat = device.ProgramRepeat;
    state.HoldbackBand_pct = device.HoldbackBand_pct;
    state.LongestHold_s = device.LongestHold_s;
    state.AlarmBand_pct = device.AlarmBand_pct;
    state.AlarmDelay_s = device.AlarmDelay_s;
    state.StartedDays = device.FlowStartTime;
    state.ProgramTime_min = device.ProgramTime_min();
    state.Paused_min = Minutes(device.Run.Paused);
    state.StandStills = device.Run.StandStills;
    state.Held = device.Run.Pause == TProgramPause::Hold;
    if (state.Held) state.HeldFor_min = Minutes(MonotonicNow() - device.Run.PausedSince);
    state.Cycle = device.Run.Cycle;
    state.Ended = device.Run.Ended;
    return state;
}

TRunState RunStateNow(const std::vector<TDeviceInfo>& devices) {
    TRunState state;
    state.Written = LocalNow();
    for (const TDeviceInfo& device : devices)
        if (RunsProgram(device)) state.Devices.push_back(RunStateDeviceOf(device));
    return state;
}

std::string RunStateJson(const TRunState& state) {
    QJsonArray devices;
    for (const TRunStateDevice& device : state.Devices) devices.append(DeviceObject(device));
    // With its offset from UTC, so the time between two writes is right across a change of
    // daylight-saving time.
    const QDateTime written = state.Written.toOffsetFromUtc(state.Written.offsetFromUtc());
    const QJsonObject root{{"format", kRunStateFormat},
                           {"version", kRunStateVersion},
                           {"written", written.toString(Qt::ISODateWithMs)},
                           {"devices", devices}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool ParseRunState(std::string_view text, TRunState& state, std::vector<std::string>& problems) {
    state = TRunState{};
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        problems.push_back("not JSON: " + error.errorString().toStdString() + " at byte " +
                           std::to_string(error.offset));
        return false;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value("format").toString() != kRunStateFormat) {
        problems.push_back(std::string("not a run state of this program (no \"format\": \"") + kRunStateFormat + "\")");
        return false;
    }
    const QJsonValue version = root.value("version");
    if (!version.isDouble() || version.toDouble() != kRunStateVersion) {
        problems.push_back("version: expected " + std::to_string(kRunStateVersion) +
                           " (the file was written by another version of the program)");
        return false;
    }
    state.Written = QDateTime::fromString(root.value("written").toString(), Qt::ISODateWithMs);
    if (!state.Written.isValid()) problems.push_back("written: expected a date and time (ISO 8601)");
    const QJsonArray devices = root.value("devices").toArray();
    if (!root.value("devices").isArray()) problems.push_back("devices: expected a list");
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const std::string path = "devices[" + std::to_string(i) + "]";
        if (!devices[i].isObject()) {
            problems.push_back(path + ": expected an object");
            continue;
        }
        TRunStateDevice device;
        if (ReadDevice(devices[i].toObject(), path, device, problems)) state.Devices.push_back(std::move(device));
    }
    return true;
}

bool WriteRunStateFile(const std::filesystem::path& path, const TRunState& state, std::string& error, bool toDisk) {
    const std::string text = RunStateJson(state);
    return WriteFileAtomically(
        path, [&](const TByteWriter& write) { return write(text); }, error,
        toDisk ? TWriteDurability::Disk : TWriteDurability::System);
}

}  // namespace tessaro
