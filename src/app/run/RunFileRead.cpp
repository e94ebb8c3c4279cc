// Reading and checking a run file: every problem of the file is collected with the path of
// its key, so one reading tells the operator all that is wrong.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "engine/DeviceSetup.h"
#include "engine/ProgramOptions.h"
#include "gases/GasMixtures.h"
#include "run/RunFile.h"
#include "segments/ProgramRun.h"
#include "segments/SegmentProgramFile.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

// A run file is a few kilobytes; anything this large is no run file.
constexpr qint64 kMaxRunFileBytes = 4 * 1024 * 1024;

constexpr const char* kGasListHint = "the gas table's short names are listed by tessaro --list-gases";

const std::vector<std::string> kTopKeys = {"rig", "devices", "give_up_after_s", "mqtt"};
const std::vector<std::string> kDeviceKeys = {"port",
                                              "serial",
                                              "kind",
                                              "name",
                                              "color",
                                              "gas",
                                              "fluid",
                                              "unit",
                                              "program",
                                              "program_file",
                                              "repeat",
                                              "end",
                                              "holdback_band_pct",
                                              "longest_hold_s",
                                              "alarm_band_pct",
                                              "alarm_delay_s",
                                              "syringe_ul",
                                              "fluid_temperature_c"};
const std::vector<std::string> kUnitKeys = {"name", "temperature_c", "pressure_bar"};
const std::vector<std::string> kMqttKeys = {"host", "port", "rig"};

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

std::string Quote(std::string_view text) { return "\"" + PrintableOnly(text) + "\""; }

// The value as a problem names it.
std::string Shown(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::String:
            return Quote(value.toString().toStdString());
        case QJsonValue::Double:
            return FormatGeneral(value.toDouble());
        case QJsonValue::Bool:
            return value.toBool() ? "true" : "false";
        case QJsonValue::Array:
            return "an array";
        case QJsonValue::Object:
            return "an object";
        default:
            return "null";
    }
}

bool IsRigName(std::string_view name) {
    return !name.empty() && std::ranges::all_of(name, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

class TRunFileChecker {
public:
    TRunFileChecker(std::string fileName, std::filesystem::path folder)
        : fileName_(std::move(fileName)), folder_(std::move(folder)) {}

    TRunFileRead Check(const QJsonObject& top) {
        TRunFile run;
        KnownKeysOnly(top, "", kTopKeys);
        if (auto rig = String(top, "rig", "rig", false)) run.Rig = *rig;
        ReadDevices(top, run);
        if (top.contains("give_up_after_s"))
            run.GiveUpAfter_s = Number(top, "give_up_after_s", "give_up_after_s", {0, kMaximumSeconds * 365, true});
        if (top.contains("mqtt")) run.Mqtt = ReadMqtt(top.value("mqtt"), run.Rig);
        TRunFileRead read;
        read.Problems = std::move(problems_);
        if (read.Problems.empty()) read.Run = std::move(run);
        return read;
    }

    void Problem(const std::string& key, const std::string& what) {
        problems_.push_back(fileName_ + ": " + (key.empty() ? "" : key + ": ") + what);
    }

private:
    static std::string KeyPath(const std::string& parent, const std::string& key) {
        return parent.empty() ? key : parent + "." + key;
    }

    void KnownKeysOnly(const QJsonObject& object, const std::string& parent, const std::vector<std::string>& known) {
        for (const QString& key : object.keys())
            if (std::ranges::find(known, key.toStdString()) == known.end())
                Problem(KeyPath(parent, PrintableOnly(key.toStdString())),
                        "unknown key; the keys here are " + Joined(known));
    }

    std::optional<std::string> String(const QJsonObject& object, const char* key, const std::string& path,
                                      bool required) {
        if (!object.contains(key)) {
            if (required) Problem(path, "missing; a text was expected");
            return std::nullopt;
        }
        const QJsonValue value = object.value(key);
        if (!value.isString()) {
            Problem(path, "a text was expected, not " + Shown(value));
            return std::nullopt;
        }
        return value.toString().toStdString();
    }

    // A number within `range`; none (told) when missing, of another type or outside.
    std::optional<double> Number(const QJsonObject& object, const char* key, const std::string& path,
                                 const TNumberRange& range) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            Problem(path, "missing; a number " + RangeText(range, '.') + " was expected");
            return std::nullopt;
        }
        const bool inRange =
            value.isDouble() && std::isfinite(value.toDouble()) &&
            (range.MinimumExcluded ? value.toDouble() > range.Minimum : value.toDouble() >= range.Minimum) &&
            value.toDouble() <= range.Maximum;
        if (!inRange) {
            Problem(path, "a number " + RangeText(range, '.') + " was expected, not " + Shown(value));
            return std::nullopt;
        }
        return value.toDouble();
    }

    std::optional<int> WholeNumber(const QJsonObject& object, const char* key, const std::string& path, int least,
                                   int most) {
        const QJsonValue value = object.value(key);
        const double number = value.toDouble(0.5);
        if (!value.isDouble() || number != std::floor(number) || number < least || number > most) {
            Problem(path, "a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                              " was expected, not " + Shown(value));
            return std::nullopt;
        }
        return static_cast<int>(number);
    }

    void ReadDevices(const QJsonObject& top, TRunFile& run) {
        const QJsonValue devices = top.value("devices");
        if (!devices.isArray() || devices.toArray().isEmpty()) {
            Problem("devices", devices.isUndefined()
                                   ? "missing; an array of devices was expected"
                                   : "an array of at least one device was expected, not " + Shown(devices));
            return;
        }
        const QJsonArray array = devices.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const std::string path = "devices[" + std::to_string(i) + "]";
            if (!array[i].isObject()) {
                Problem(path, "a device (an object) was expected, not " + Shown(array[i]));
                continue;
            }
            run.Devices.push_back(ReadDevice(array[i].toObject(), path));
        }
        NamedOnce(run.Devices);
    }

    // Two entries for one instrument would configure it twice with different settings.
    void NamedOnce(const std::vector<TRunDevice>& devices) {
        std::map<std::string, std::size_t> firstOf;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const TRunDevice& device = devices[i];
            const std::string key = device.Port.empty() ? "serial:" + device.Serial : "port:" + device.Port;
            if (device.Port.empty() && device.Serial.empty()) continue;
            const auto [at, inserted] = firstOf.emplace(key, i);
            if (!inserted)
                Problem("devices[" + std::to_string(i) + "]." + (device.Port.empty() ? "serial" : "port"),
                        Quote(device.Port.empty() ? device.Serial : device.Port) + " is named by devices[" +
                            std::to_string(at->second) + "] already; each device is named once");
        }
    }

    TRunDevice ReadDevice(const QJsonObject& object, const std::string& path) {
        TRunDevice device;
        KnownKeysOnly(object, path, kDeviceKeys);
        ReadDeviceName(object, path, device);
        const std::optional<std::string> kind = String(object, "kind", path + ".kind", true);
        if (kind && *kind != kRunKindFlowController && *kind != kRunKindPump)
            Problem(path + ".kind", std::string("\"") + kRunKindFlowController + "\" or \"" + kRunKindPump +
                                        "\" was expected, not " + Quote(*kind));
        device.IsPump = kind && *kind == kRunKindPump;
        const bool knownKind = kind && (device.IsPump || *kind == kRunKindFlowController);
        if (auto name = String(object, "name", path + ".name", false)) device.Name = *name;
        ReadColor(object, path, device);
        // What else a device needs depends on its kind.
        if (knownKind && device.IsPump)
            ReadPumpDetails(object, path, device);
        else if (knownKind)
            ReadControllerDetails(object, path, device);
        ReadProgram(object, path, device);
        ReadRunSettings(object, path, device);
        return device;
    }

    void ReadDeviceName(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        const std::optional<std::string> port = String(object, "port", path + ".port", false);
        const std::optional<std::string> serial = String(object, "serial", path + ".serial", false);
        if (port && serial) {
            Problem(path, "either a \"port\" or a \"serial\" was expected, not both");
            return;
        }
        if (port) device.Port = std::string(TrimBlanksAndControls(*port));
        if (serial) device.Serial = std::string(TrimBlanksAndControls(*serial));
        if (port && device.Port.empty()) Problem(path + ".port", "a port name was expected, not \"\"");
        if (serial && device.Serial.empty()) Problem(path + ".serial", "a serial number was expected, not \"\"");
        if (!object.contains("port") && !object.contains("serial"))
            Problem(path, "a \"port\" (as the port list shows it) or a \"serial\" (the serial number) was expected");
    }

    void ReadColor(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        const std::optional<std::string> text = String(object, "color", path + ".color", false);
        if (!text) return;
        if (const std::optional<TRtColor> color = StringToRtColor(*text))
            device.Color = *color;
        else
            Problem(path + ".color", "a colour name (\"Blue\") or number was expected, not " + Quote(*text));
    }

    // The gas or fluid by its short name; `fluid` tells which part of the table is meant.
    void ReadFluidName(const QJsonObject& object, const std::string& path, const char* key, bool fluid,
                       TRunDevice& device) {
        const std::optional<std::string> name = String(object, key, path + "." + key, true);
        if (!name) return;
        TGasItem item;
        if (!GetGasByShortName(*name, item) || IsFluid(item) != fluid) {
            Problem(path + "." + key,
                    std::string("unknown ") + (fluid ? "fluid " : "gas ") + Quote(*name) + "; " + kGasListHint);
            return;
        }
        device.Fluid = *name;
    }

    // What belongs to the other kind of device is refused, not passed over.
    void NotForThisKind(const QJsonObject& object, const std::string& path, std::initializer_list<const char*> keys,
                        const char* kind) {
        for (const char* key : keys)
            if (object.contains(key)) Problem(path + "." + key, std::string("not a key of a ") + kind);
    }

    void ReadControllerDetails(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        NotForThisKind(object, path, {"fluid", "syringe_ul", "fluid_temperature_c"}, kRunKindFlowController);
        ReadFluidName(object, path, "gas", false, device);
        if (!object.contains("unit")) return;
        const QJsonValue unit = object.value("unit");
        const std::string unitPath = path + ".unit";
        if (!unit.isObject()) {
            Problem(unitPath,
                    "a unit (an object with name, temperature_c, pressure_bar) was expected, not " + Shown(unit));
            return;
        }
        const QJsonObject fields = unit.toObject();
        KnownKeysOnly(fields, unitPath, kUnitKeys);
        if (auto name = String(fields, "name", unitPath + ".name", true)) {
            device.Unit.Name = *name;
            if (TrimBlanksAndControls(*name).empty()) Problem(unitPath + ".name", "a unit name was expected");
        }
        const bool volumetric = fields.contains("temperature_c") || fields.contains("pressure_bar");
        if (!volumetric) return;
        device.Unit.TemperatureC =
            Number(fields, "temperature_c", unitPath + ".temperature_c", kReferenceTemperatureRange);
        device.Unit.PressureBar = Number(fields, "pressure_bar", unitPath + ".pressure_bar", kReferencePressureRange);
    }

    void ReadPumpDetails(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        NotForThisKind(object, path,
                       {"gas", "unit", "holdback_band_pct", "longest_hold_s", "alarm_band_pct", "alarm_delay_s"},
                       kRunKindPump);
        ReadFluidName(object, path, "fluid", true, device);
        const QJsonValue syringe = object.value("syringe_ul");
        if (syringe.isDouble() && std::ranges::find(kSyringeSizes_µL, syringe.toDouble()) != kSyringeSizes_µL.end()) {
            device.Syringe_µL = syringe.toDouble();
        } else {
            std::vector<std::string> sizes;
            for (double size : kSyringeSizes_µL) sizes.push_back(FormatGeneral(size));
            Problem(path + ".syringe_ul", (syringe.isUndefined() ? std::string("missing; ") : std::string()) +
                                              "a syringe size in µl (" + Joined(sizes) + ") was expected" +
                                              (syringe.isUndefined() ? "" : ", not " + Shown(syringe)));
        }
        if (object.contains("fluid_temperature_c"))
            if (auto t = Number(object, "fluid_temperature_c", path + ".fluid_temperature_c", {-273.15, 2000, true}))
                device.FluidTemperatureC = *t;
    }

    void ReadProgram(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        const bool inline_ = object.contains("program");
        const bool file = object.contains("program_file");
        if (inline_ && file) {
            Problem(path, "either a \"program\" or a \"program_file\" was expected, not both");
            return;
        }
        std::optional<std::string> text;
        std::string key;
        if (inline_) {
            key = path + ".program";
            text = String(object, "program", key, true);
        } else if (file) {
            key = path + ".program_file";
            if (auto name = String(object, "program_file", key, true)) text = ReadProgramFile(*name, key);
        }
        if (!text) return;
        device.Program = std::string(TrimBlanksAndControls(*text));
        CheckProgram(device.Program, key);
    }

    std::optional<std::string> ReadProgramFile(const std::string& name, const std::string& key) {
        std::filesystem::path path = std::filesystem::path(name);
        if (path.is_relative()) path = folder_ / path;
        QFile file(QString::fromStdU16String(path.u16string()));
        if (!file.open(QIODevice::ReadOnly)) {
            Problem(key, Quote(name) + " cannot be read: " + file.errorString().toStdString());
            return std::nullopt;
        }
        const QByteArray bytes = file.read(static_cast<qint64>(kMaxSegmentProgramFileBytes) + 1);
        if (bytes.size() > static_cast<qsizetype>(kMaxSegmentProgramFileBytes)) {
            Problem(key, Quote(name) + " is larger than a segment program file can be");
            return std::nullopt;
        }
        std::optional<std::string> text = DecodeSegmentProgramFile(std::string_view(bytes.constData(), bytes.size()));
        if (!text) Problem(key, Quote(name) + " is not a text file");
        return text;
    }

    // Each line on its own, so every bad line is named with its number and what is wrong.
    void CheckProgram(std::string_view program, const std::string& key) {
        const std::vector<std::string_view> lines = SplitProgramLines(program);
        for (std::size_t i = 0; i < lines.size(); ++i)
            ValidateSegmentProgram(lines[i], '.', [&](const std::string& why) {
                Problem(key, "line " + std::to_string(i + 1) + " " + Quote(lines[i]) + ": " + why);
            });
    }

    void ReadRunSettings(const QJsonObject& object, const std::string& path, TRunDevice& device) {
        if (object.contains("repeat"))
            if (auto repeat = WholeNumber(object, "repeat", path + ".repeat", kMinimumRepeat, kMaximumRepeat))
                device.Repeat = *repeat;
        if (auto end = String(object, "end", path + ".end", false)) {
            if (*end == kRunEndZero)
                device.End = TSegProgTermination::tspttZero;
            else if (*end == kRunEndKeep)
                device.End = TSegProgTermination::tspttKeep;
            else
                Problem(path + ".end", std::string("\"") + kRunEndZero + "\" (0 % after the program) or \"" +
                                           kRunEndKeep + "\" (the last setpoint) was expected, not " + Quote(*end));
        }
        const TNumberRange band{0, kMaximumBand_pct};
        const TNumberRange seconds{0, kMaximumSeconds};
        for (const auto& [key, range, value] : {std::tuple{"holdback_band_pct", band, &device.HoldbackBand_pct},
                                                std::tuple{"longest_hold_s", seconds, &device.LongestHold_s},
                                                std::tuple{"alarm_band_pct", band, &device.AlarmBand_pct},
                                                std::tuple{"alarm_delay_s", seconds, &device.AlarmDelay_s}})
            if (object.contains(key))
                if (auto number = Number(object, key, path + "." + key, range)) *value = *number;
    }

    std::optional<TRunMqtt> ReadMqtt(const QJsonValue& value, const std::string& runRig) {
        if (!value.isObject()) {
            Problem("mqtt", "an object with host, port and rig was expected, not " + Shown(value));
            return std::nullopt;
        }
        const QJsonObject object = value.toObject();
        KnownKeysOnly(object, "mqtt", kMqttKeys);
        TRunMqtt mqtt;
        if (auto host = String(object, "host", "mqtt.host", true)) {
            mqtt.Host = std::string(TrimBlanksAndControls(*host));
            if (mqtt.Host.empty()) Problem("mqtt.host", "a host name or address was expected, not \"\"");
        }
        if (object.contains("port"))
            if (auto port = WholeNumber(object, "port", "mqtt.port", 1, 65535)) mqtt.Port = *port;
        mqtt.Rig = runRig;
        if (auto rig = String(object, "rig", "mqtt.rig", false)) mqtt.Rig = *rig;
        if (!IsRigName(mqtt.Rig))
            Problem("mqtt.rig", "a name of letters, digits, \"-\" and \"_\" was expected, not " + Quote(mqtt.Rig) +
                                    (object.contains("rig") ? "" : " (the run's \"rig\")"));
        return mqtt;
    }

    std::string fileName_;
    std::filesystem::path folder_;
    std::vector<std::string> problems_;
};

}  // namespace

TRunFileRead ParseRunFile(const std::string& bytes, const std::filesystem::path& path) {
    const std::string fileName = PrintableOnly(path.string());
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &error);
    TRunFileChecker checker(fileName, path.parent_path());
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        TRunFileRead read;
        read.Problems.push_back(
            fileName + ": " +
            (error.error != QJsonParseError::NoError
                 ? "not a JSON document: " + error.errorString().toStdString() + " at byte " +
                       std::to_string(error.offset)
                 : std::string("a JSON object ({ \"rig\": ..., \"devices\": [...] }) was expected")));
        return read;
    }
    return checker.Check(document.object());
}

TRunFileRead ReadRunFile(const std::filesystem::path& path) {
    QFile file(QString::fromStdU16String(path.u16string()));
    if (!file.open(QIODevice::ReadOnly)) {
        TRunFileRead read;
        read.Problems.push_back(PrintableOnly(path.string()) + ": cannot be read: " + file.errorString().toStdString());
        return read;
    }
    const QByteArray bytes = file.read(kMaxRunFileBytes + 1);
    if (bytes.size() > kMaxRunFileBytes) {
        TRunFileRead read;
        read.Problems.push_back(PrintableOnly(path.string()) + ": larger than a run file can be (4 MB)");
        return read;
    }
    return ParseRunFile(bytes.toStdString(), path);
}

std::string GasListText() {
    std::string text;
    for (const TGasItem& gas : GasList()) text += gas.NameShort + "\t" + gas.GetNameLong() + "\n";
    return text;
}

}  // namespace tessaro
