#include "engine/MixRecipes.h"

#include "engine/DeviceSetup.h"

#include <cmath>
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

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

// Reports every character a recipe line may not hold; true when the line holds at least one
// allowed character.
bool CheckRecipeCharacters(std::string_view line, int lineNumber, std::string& errors) {
    bool anyAllowed = false;
    for (std::size_t pos = 0; pos < line.size();) {
        const Utf8Char c = DecodeUtf8(line, pos);
        if (IsRecipeCharacter(c.CodePoint) && c.Valid) {
            anyAllowed = true;
        } else {
            errors = "Illegal character '" + std::string(line.substr(pos, c.Length)) +
                     "' on line: " + std::to_string(lineNumber) + kLineEnd;
        }
        pos += c.Length;
    }
    return anyAllowed;
}

// A pump's mass flow at `setpoint` percent: the rate of the pump program planned for it.
double PumpMassFlow_gmin(const TDeviceInfo& device, double setpoint) {
    // Planned as the engine plans the pump when it runs.
    const TPumpSpeedDetails plan = PlanPumpDispense(device, setpoint / 100, '.');
    return plan.AchievedDispense_µgpm / 1000000;
}

// A flow controller's mass flow at `setpoint` percent into the component; the device's
// full scale must also be expressible in the operator's unit.
void ControllerMassFlow(const TDeviceInfo& device, double setpoint, TGasItem& component, std::string& errors) {
    TGasFlowDetails source = device.FlowUnitDevice.Clone();
    source.GasFlowValue = source.GasFlowMax();
    source.GasMolarMass = FlowMolarMass(component);
    std::string conversionErrors, trace;
    TGasFlowDetails grams = SetGramsPerMinuteUnit();
    if (GasFlowConversion(source, grams, conversionErrors, trace))
        component.MassFlow_gmin = grams.GasFlowValue * setpoint / 100;
    else
        errors = "Failed to convert gas flow to g/min";
    TGasFlowDetails user = device.FlowUnitUser.Clone();
    if (!GasFlowConversion(source, user, conversionErrors, trace))
        errors = "Failed to convert gas flow to user unit: " + user.Name;
}

// One recipe line with at least one allowed character. True when it gave a component.
bool InterpretRecipeLine(std::string_view line, int lineNumber, TGasItem& component, std::string& errors) {
    const std::string number = std::to_string(lineNumber);
    const std::vector<std::string_view> items = SplitAtEach(TrimBlanksAndControls(line));
    if (items.size() < 2 || items.size() > 3) {
        errors = "Recipe has less than 2 or more than 3 items on line: " + number + kLineEnd +
                 " => Unable to determine meaning" + kLineEnd;
        return false;
    }
    TDeviceInfo device;
    if (!FindDevice(UpperAscii(items[0]), device)) {
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
        errors = "Invalid setpoint on line " + number + kLineEnd;
        return false;
    }
    if (items.size() == 3) {
        const char type = items[2].empty() ? '\0' : UpperAscii(items[2].front());
        if (type != 'S' && type != 'R') {
            errors = "Invalid segment type on line " + number + " (use S or R)" + kLineEnd;
            return false;
        }
    }
    if (!TryGetGas_ID(device.FluidID, component)) {
        errors = "GasID on " + device.COMPort + " matches no known gas, device not configured?" + kLineEnd;
        return false;
    }
    if (device.DevType == dtPump)
        component.MassFlow_gmin = PumpMassFlow_gmin(device, setpoint);
    else
        ControllerMassFlow(device, setpoint, component, errors);
    return true;
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
    int lineNumber = 0;
    for (std::string_view line : SplitProgramLines(recipe)) {
        ++lineNumber;
        // Only a truly empty line is skipped: a line of blanks is read, and has too few items.
        if (line.empty()) continue;
        TGasItem component;
        component.Init();
        if (!CheckRecipeCharacters(line, lineNumber, errors)) continue;
        if (InterpretRecipeLine(line, lineNumber, component, errors) && errors.empty()) {
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

    TGasItem flat;
    mixture.Clone(false, flat);
    flat.Components.clear();
    FlattenComponents(mixture, flat);
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
    return !item.empty() && UpperAscii(item.front()) == 'R' ? "Ramp" : "Step";
}

std::string MixSegmentLine(double time_min, double setpoint_pct, std::string_view type, std::string_view note) {
    return FormatGeneral(RoundHalfToEven(time_min), '.') + " " + FormatGeneral(setpoint_pct, '.') + " " +
           std::string(type) + " " + SanitizeNote(note);
}

}  // namespace tessaro
