#include "engine/MixRecipes.h"

#include "engine/DeviceSetup.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "pump/PSD4_Speeds.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr const char* kLineEnd = "\r\n";

bool IsRecipeCharacter(char32_t c) {
    return c == ' ' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The port item also takes what the listed port names hold besides letters, digits and
// points: "-" and "_", as in the simulator's "sim-mfc1" or "ttyXR_USB0".
bool IsPortCharacter(char32_t c) { return IsRecipeCharacter(c) || c == '-' || c == '_'; }

// Byte offsets of the port item (the first item of the trimmed line) within the line.
std::pair<std::size_t, std::size_t> PortItemRange(std::string_view line) {
    const std::string_view trimmed = TrimBlanksAndControls(line);
    const std::size_t begin = static_cast<std::size_t>(trimmed.data() - line.data());
    return {begin, begin + std::min(trimmed.find(' '), trimmed.size())};
}

// Reports every character a recipe line may not hold; true when the line holds at least one
// allowed character.
bool CheckRecipeCharacters(std::string_view line, int lineNumber, std::string& errors) {
    const auto [portBegin, portEnd] = PortItemRange(line);
    bool anyAllowed = false;
    for (std::size_t pos = 0; pos < line.size();) {
        const Utf8Char c = DecodeUtf8(line, pos);
        const bool inPort = pos >= portBegin && pos < portEnd;
        if (c.Valid && (inPort ? IsPortCharacter(c.CodePoint) : IsRecipeCharacter(c.CodePoint))) {
            anyAllowed = true;
        } else {
            errors = "Illegal character '" + std::string(line.substr(pos, c.Length)) +
                     "' on line: " + std::to_string(lineNumber) + kLineEnd;
        }
        pos += c.Length;
    }
    return anyAllowed;
}

// What the recipe needs of one device, worked out at the first line that names it: its gas,
// and for a flow controller the mass flow of its full scale or what its conversion left as
// error. Every further line naming the device only scales it.
struct TRecipeDevice {
    const TDeviceInfo* Device = nullptr;
    bool HasGas = false;
    TGasItem Gas;
    double FullScale_gmin = 0;
    std::string ConversionError;
    // Pumps: the mass flow planned for each setpoint asked so far.
    std::map<double, double> PumpMassFlows_gmin;
};

// The full scale converted to g/min, and to the operator's unit, which must also succeed.
void ConvertFullScale(TRecipeDevice& recipeDevice) {
    const TDeviceInfo& device = *recipeDevice.Device;
    TGasFlowDetails source = device.FlowUnitDevice.Clone();
    source.GasFlowValue = source.GasFlowMax();
    source.GasMolarMass = FlowMolarMass(recipeDevice.Gas);
    std::string conversionErrors, trace;
    TGasFlowDetails grams = SetGramsPerMinuteUnit();
    if (GasFlowConversion(source, grams, conversionErrors, trace))
        recipeDevice.FullScale_gmin = grams.GasFlowValue;
    else
        recipeDevice.ConversionError = "Failed to convert gas flow to g/min";
    TGasFlowDetails user = device.FlowUnitUser.Clone();
    if (!GasFlowConversion(source, user, conversionErrors, trace))
        recipeDevice.ConversionError = "Failed to convert gas flow to user unit: " + user.Name;
}

// The devices of one recipe by their index in the registry, which the recipe does not
// change while it is read.
class TRecipeDevices {
public:
    TRecipeDevice& At(int index) {
        auto [position, added] = devices_.try_emplace(index);
        TRecipeDevice& entry = position->second;
        if (!added) return entry;
        entry.Device = &DevicesLocal()[static_cast<std::size_t>(index)];
        entry.HasGas = TryGetGas_ID(entry.Device->FluidID, entry.Gas);
        if (entry.HasGas && entry.Device->DevType != dtPump) ConvertFullScale(entry);
        return entry;
    }

private:
    std::map<int, TRecipeDevice> devices_;
};

// A pump's mass flow at `setpoint` percent: the rate of the pump program planned for it.
double PumpMassFlow_gmin(TRecipeDevice& pump, double setpoint) {
    auto [position, added] = pump.PumpMassFlows_gmin.try_emplace(setpoint);
    if (added) {
        // Planned as the engine plans the pump when it runs.
        const TPumpSpeedDetails plan = PlanPumpDispense(*pump.Device, setpoint / 100, '.');
        position->second = plan.AchievedDispense_µgpm / 1000000;
    }
    return position->second;
}

// One recipe line with at least one allowed character. True when it gave a component.
bool InterpretRecipeLine(std::string_view line, int lineNumber, TRecipeDevices& devices, TGasItem& component,
                         std::string& errors) {
    const auto number = [lineNumber] { return std::to_string(lineNumber); };
    const std::vector<std::string_view> items = SplitAtEach(TrimBlanksAndControls(line));
    if (items.size() < 2 || items.size() > 3) {
        errors = "Recipe has less than 2 or more than 3 items on line: " + number() + kLineEnd +
                 " => Unable to determine meaning" + kLineEnd;
        return false;
    }
    const int index = DeviceIndexIgnoringCase(items[0]);
    if (index < 0) {
        errors = "No device on port: " + std::string(items[0]) + kLineEnd;
        return false;
    }
    double setpoint = 0;
    try {
        setpoint = StrToFloatAnySeparator(items[1]);
    } catch (const ConversionError&) {
        errors = "Cannot convert '" + std::string(items[1]) + "' to a number" + kLineEnd;
        return false;
    }
    if (!(setpoint >= 0 && setpoint <= 100)) {
        errors = "Invalid setpoint on line " + number() + kLineEnd;
        return false;
    }
    if (items.size() == 3) {
        const char type = items[2].empty() ? '\0' : AsciiUpper(items[2].front());
        if (type != 'S' && type != 'R') {
            errors = "Invalid segment type on line " + number() + " (use S or R)" + kLineEnd;
            return false;
        }
    }
    TRecipeDevice& device = devices.At(index);
    if (!device.HasGas) {
        errors = "GasID on " + device.Device->COMPort + " matches no known gas, device not configured?" + kLineEnd;
        return false;
    }
    component = device.Gas;
    if (device.Device->DevType == dtPump)
        component.MassFlow_gmin = PumpMassFlow_gmin(device, setpoint);
    else if (device.ConversionError.empty())
        component.MassFlow_gmin = device.FullScale_gmin * setpoint / 100;
    else
        errors = device.ConversionError;
    return true;
}

// The flat mixture's start: a clone of the mixture without mass flow, its components
// removed. Cloned without them, so that no long name is composed from every component only
// to be dropped with them.
TGasItem MixtureWithoutComponents(const TGasItem& mixture) {
    TGasItem shell;
    shell.Init();
    shell.NameShort = mixture.NameShort;
    shell._NameLong = mixture._NameLong;
    shell.Formula = mixture.Formula;
    shell.AlicatID = mixture.AlicatID;
    shell.PartialPressure = mixture.PartialPressure;
    shell._CorrosiveFlag = mixture._CorrosiveFlag;
    shell._MolarMass = mixture._MolarMass;
    shell.ComponentsNormalized = mixture.ComponentsNormalized;
    return shell;
}

std::string Heading(const char* text) { return std::string(text) + kLineEnd; }

}  // namespace

TGasFlowDetails SetGramsPerMinuteUnit() {
    TGasFlowDetails unit;
    unit.Name = "g/min";
    unit.GasFlowType = gfuGrams;
    unit.GasFlowVolumeUnit = gfvuUndefined;
    unit.GasFlowTimeUnit = gfMinute;
    unit.Temperature = 1000;
    unit.TemperatureUnit = tuC;
    unit.Pressure_BarA = 1000;
    return unit;
}

const TVecArr& RecipeReferenceConditions() {
    static const TVecArr conditions{{0, 1.01325}, {21, 1.01325}, {25, 1.01325}, {25, 2.01325}, {150, 1.01325}};
    return conditions;
}

bool ParseMixRecipe(std::string_view recipe, TGasItem& mixture, std::string& errors) {
    errors.clear();
    TRecipeDevices devices;
    const std::vector<std::string_view> lines = SplitProgramLines(recipe);
    mixture.Components.reserve(mixture.Components.size() + lines.size());
    int lineNumber = 0;
    for (std::string_view line : lines) {
        ++lineNumber;
        // Only a truly empty line is skipped: a line of blanks is read, and has too few items.
        if (line.empty()) continue;
        if (!CheckRecipeCharacters(line, lineNumber, errors)) continue;
        TGasItem component;
        if (InterpretRecipeLine(line, lineNumber, devices, component, errors) && errors.empty()) {
            PopulateComponentMasses(component);
            mixture.Components.push_back(std::move(component));
        }
    }
    return errors.empty();
}

TMixRecipeEvaluation EvaluateMixRecipe(std::string_view recipe, const std::string& name, char decimalSeparator) {
    TGasItem mixture;
    mixture.Init();
    mixture.NameShort = name;
    TMixRecipeEvaluation evaluation;
    if (!ParseMixRecipe(recipe, mixture, evaluation.Text)) return evaluation;

    evaluation.Valid = true;
    std::string& report = evaluation.Text;
    report = "Mixture: '" + name + "'" + kLineEnd + kLineEnd;
    report += InputsReport(mixture, decimalSeparator);
    report += Heading("  Components:");
    // A recipe without lines has no components to list (the report would take the empty
    // mixture itself for a pure gas).
    if (!mixture.Components.empty()) report += ComponentFlowsReport(mixture, std::string(), decimalSeparator);

    TGasItem flat = MixtureWithoutComponents(mixture);
    // The mixture is reported; its components can go to the flat mixture.
    flat.Components.reserve(mixture.Components.size());
    FlattenComponents(std::move(mixture), flat);
    // A recipe without flow (none at all, or every setpoint 0) leaves the mixture as
    // defined; only a composed mixture can be asked whether it holds water.
    const bool composed = MixtureFromComponentMasses(flat);
    const TVecArr& conditions = RecipeReferenceConditions();
    report += Heading("  Partial pressures:") + PartialPressuresReport(flat, decimalSeparator);
    report += Heading("  Volumetric flows, ml/min:") + VolumetricFlowsTable(flat, conditions, decimalSeparator);
    if (composed && flat.GetHasFluid())
        report += Heading("  Mixture has fluid:") + HumidityTable(flat, conditions, decimalSeparator);
    return evaluation;
}

std::string MixSegmentType(std::string_view thirdItem) {
    const std::string_view item = TrimBlanksAndControls(thirdItem);
    return !item.empty() && AsciiUpper(item.front()) == 'R' ? "Ramp" : "Step";
}

std::string MixSegmentLine(double time_min, double setpoint_pct, std::string_view type, std::string_view note) {
    return FormatGeneral(RoundHalfToEven(time_min), '.') + " " + FormatGeneral(setpoint_pct, '.') + " " +
           std::string(type) + " " + SanitizeNote(note);
}

}  // namespace tessaro
