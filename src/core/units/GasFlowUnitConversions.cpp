#include "units/GasFlowUnitConversions.h"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "text/Messages.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr std::string_view DiagnosticChannel = "GasFlow conversions";
constexpr std::string_view LineEnd = "\r\n";
constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

double SecondsPer(TGasFlowTimeUnit unit) {
    switch (unit) {
        case gftSecond:
            return 1;
        case gfMinute:
            return 60;
        case gftHour:
            return 3600;
        case gftDay:
            return 86400;
        default:
            return NotANumber;
    }
}

double LitresPer(TGasFlowVolumeUnit unit) {
    switch (unit) {
        case gfvuCC:
        case gfvuSCC:
        case gfvuML:
        case gfvuMLN:
            return 0.001;
        case gfvuL:
            return 1;
        case gfvuµL:
            return 0.000001;
        default:
            return NotANumber;
    }
}

double UnitsPerLitre(TGasFlowVolumeUnit unit) {
    switch (unit) {
        case gfvuCC:
        case gfvuSCC:
        case gfvuML:
        case gfvuMLN:
            return 1000;
        case gfvuL:
            return 1;
        case gfvuµL:
            return 1000000;
        default:
            return NotANumber;
    }
}

// NaN for an undefined unit, so that every "above zero" test on the result fails.
double KelvinOf(double temperature, TTemperatureUnit unit) {
    switch (unit) {
        case tuC:
            return TemperatureConversion(tcCtoK, temperature);
        case tuF:
            return TemperatureConversion(tcFtoK, temperature);
        case tuK:
            return temperature;
        default:
            return NotANumber;
    }
}

bool IsAboveZero(double value) { return value > 0; }  // false for NaN too

void AppendLine(std::string& text, std::string_view line) {
    text += line;
    text += LineEnd;
}

void AppendLine(std::string& text, std::string_view label, double value, char separator) {
    text += label;
    text += FormatGeneral(value, separator);
    text += LineEnd;
}

void AppendLine(std::string& text, std::string_view label, std::string_view value) {
    text += label;
    text += value;
    text += LineEnd;
}

// Undefined parts of a unit, "From" or "To" side; the temperature and volume units only
// matter to a volumetric flow.
void CheckDefined(const TGasFlowDetails& unit, std::string_view side, std::string& Errors) {
    auto complain = [&](std::string_view what) {
        Errors += side;
        Errors += ' ';
        Errors += what;
        Errors += " is Undefined";
        Errors += LineEnd;
    };
    if (unit.GasFlowType == gfuUndefined) complain("GasFlowType");
    if (unit.GasFlowTimeUnit == gftUndefined) complain("GasFlowTimeUnit");
    if (unit.GasFlowType == gfuVolumetric) {
        if (unit.TemperatureUnit == tuUndefined) complain("TemperatureUnit");
        if (unit.GasFlowVolumeUnit == gfvuUndefined) complain("GasFlowVolumeUnit");
    }
}

// A volumetric unit needs a reference state in which a mole takes a finite, positive volume.
void CheckReferenceState(const TGasFlowDetails& unit, std::string_view side, std::string& Errors) {
    if (unit.GasFlowType != gfuVolumetric) return;
    if (!IsAboveZero(KelvinOf(unit.Temperature, unit.TemperatureUnit))) {
        Errors += side;
        AppendLine(Errors, ": Absolute zero temperature. Cannot perform math.");
    }
    if (!IsAboveZero(unit.Pressure_BarA)) {
        Errors += side;
        AppendLine(Errors, ": Absolute zero pressure. Cannot perform math.");
    }
}

TGasFlowDetails MakeFlowUnit(std::string name, TGasFlowType type, TGasFlowVolumeUnit volumeUnit, double temperature_C,
                             std::string gasName, double molarMass) {
    TGasFlowDetails unit;
    unit.Name = std::move(name);
    unit.GasFlowType = type;
    unit.GasFlowVolumeUnit = volumeUnit;
    unit.GasFlowTimeUnit = gfMinute;
    unit.Temperature = temperature_C;
    unit.TemperatureUnit = tuC;
    unit.Pressure_BarA = StandardPressure_BarA;
    unit.GasName = std::move(gasName);
    unit.GasMolarMass = molarMass;
    return unit;
}

}  // namespace

std::string_view TimeUnitName(TGasFlowTimeUnit unit) {
    static constexpr std::array<std::string_view, 5> names{"second", "minute", "hour", "day", "undefined"};
    return unit < names.size() ? names[unit] : names[gftUndefined];
}

double TemperatureConversion(TTemperatureConversionKind Kind, double Value) {
    switch (Kind) {
        case tcCtoF:
            return Value * 1.8 + 32;
        case tcCtoK:
            return Value + KelvinOffset;
        case tcFtoC:
            return (Value - 32) * 5 / 9;
        case tcFtoK:
            return (Value - 32) * 5 / 9 + KelvinOffset;
        case tcKtoC:
            return Value - KelvinOffset;
        case tcKtoF:
            return (Value - KelvinOffset) * 1.8 + 32;
    }
    return NotANumber;
}

double TimeConversion(TGasFlowTimeUnit From, TGasFlowTimeUnit To, double Value) {
    return Value * SecondsPer(To) / SecondsPer(From);
}

double MassFromVolume(double Volume_L, double Pressure_BarA, double Temperature_K, double MolarMass) {
    return Pressure_BarA * Volume_L / (MolarGasConstant * Temperature_K) * MolarMass;
}

double VolumeFromMoles(double Moles, double Temperature_K, double Pressure_BarA) {
    return Moles * MolarGasConstant * Temperature_K / Pressure_BarA;
}

bool TGasFlowDetails::IsValid(std::string& Feedback) const {
    Feedback.clear();
    std::string failures;
    if (Name.empty()) AppendLine(failures, "Lacking \"Name\"");
    if (!std::isfinite(GasFlowValue)) AppendLine(failures, "\"GasFlowValue\" is not a valid float");
    if (!std::isfinite(GasMolarMass)) AppendLine(failures, "\"GasMolarMass\" is not a valid float");
    if (!IsAboveZero(GasMolarMass)) AppendLine(failures, "\"GasMolarMass\" value not above zero");
    if (GasName.empty()) AppendLine(failures, "Lacking \"GasName\"");
    if (GasFlowType == gfuUndefined) AppendLine(failures, "\"GasFlowType\" is undefined");
    if (GasFlowType == gfuVolumetric) {
        if (GasFlowVolumeUnit == gfvuUndefined) AppendLine(failures, "\"GasFlowVolumeUnit\" is undefined");
        if (!std::isfinite(Temperature)) AppendLine(failures, "\"Temperature\" is not a valid float\"");
        switch (TemperatureUnit) {
            case tuC:
                if (Temperature < -273.16) AppendLine(failures, "Absolute zero or below \"Temperature\" ºC");
                break;
            case tuF:
                if (Temperature < -273.16 * 1.8 + 32) AppendLine(failures, "Absolute zero or below \"Temperature\" ºF");
                break;
            case tuK:
                if (Temperature < 0.1) AppendLine(failures, "Absolute zero or below \"Temperature\" ºK");
                break;
            default:
                AppendLine(failures, "\"TemperatureUnit\" undefined");
                break;
        }
        if (!IsAboveZero(Pressure_BarA)) AppendLine(failures, "Absolute zero or below \"Pressure\"");
    }
    if (GasFlowTimeUnit == gftUndefined) AppendLine(failures, "\"GasFlowTimeUnit\" is undefined");

    if (failures.empty()) return true;
    AppendLine(Feedback, "Gas flow details failure, cannot proceed to calculations:");
    AppendLine(Feedback, "Name:", Name);
    Feedback += failures;
    return false;
}

double TGasFlowDetails::GasFlowMax() const {
    switch (GasFlowType) {
        case gfuVolumetric: {
            const double kelvin = KelvinOf(Temperature, TemperatureUnit);
            if (!IsAboveZero(kelvin) || !IsAboveZero(Pressure_BarA)) return 0;
            return (StandardPressure_BarA * pGasFlowMax * kelvin) / (StandardTemperature_K * Pressure_BarA);
        }
        case gfuGrams:
            return MassFromVolume(pGasFlowMax / StandardCCPerLitre, StandardPressure_BarA, StandardTemperature_K,
                                  GasMolarMass);
        default:
            return 0;
    }
}

double TGasFlowDetails::GasFlowMax_gpm() const {
    DiagLog(DiagnosticChannel, "pGasFlowMax " + FormatGeneral(pGasFlowMax));
    DiagLog(DiagnosticChannel, "TemperatureConversion " + FormatGeneral(StandardTemperature_K));
    DiagLog(DiagnosticChannel, "GasMolarMass " + FormatGeneral(GasMolarMass));
    return MassFromVolume(pGasFlowMax / StandardCCPerLitre, StandardPressure_BarA, StandardTemperature_K, GasMolarMass);
}

TGasFlowDetails& FlowUnitGrams() {
    static TGasFlowDetails unit = MakeFlowUnit("g/min", gfuGrams, gfvuUndefined, 0, "", 1.0);
    return unit;
}

const TGasFlowDetails& FlowUnitMlnAir() {
    static const TGasFlowDetails unit = MakeFlowUnit("ml/min", gfuVolumetric, gfvuMLN, 25, "Air", 28.9647);
    return unit;
}

// Carries mln, not µL: it is the pumps' display unit, and pump flows are never converted.
const TGasFlowDetails& FlowUnitMicrolitres() {
    static const TGasFlowDetails unit = MakeFlowUnit("µl/min", gfuVolumetric, gfvuMLN, 20, "", 1.0);
    return unit;
}

bool GasFlowConversion(const TGasFlowDetails& GasFrom, TGasFlowDetails& GasTo, std::string& Errors,
                       std::string& Feedback, char decimalSeparator) {
    const char sep = decimalSeparator;
    Errors.clear();
    Feedback.clear();
    AppendLine(Feedback, "       Volume: ", GasFrom.GasFlowValue, sep);

    CheckDefined(GasFrom, "From", Errors);
    CheckDefined(GasTo, "To", Errors);
    if (!Errors.empty()) return false;
    // Both sides are checked before anything is computed, so a failure leaves GasTo as it was.
    CheckReferenceState(GasFrom, "GasFrom", Errors);
    CheckReferenceState(GasTo, "GasTo", Errors);
    if (!Errors.empty()) return false;

    AppendLine(Feedback, "Gas from details: ");
    AppendLine(Feedback, "            Unit: ", GasFrom.Name);
    AppendLine(Feedback, "       Time unit: ", TimeUnitName(GasFrom.GasFlowTimeUnit));

    double mass = GasFrom.GasFlowValue;  // grams per source time unit
    if (GasFrom.GasFlowType == gfuVolumetric) {
        const double litres = GasFrom.GasFlowValue * LitresPer(GasFrom.GasFlowVolumeUnit);
        const double kelvin = KelvinOf(GasFrom.Temperature, GasFrom.TemperatureUnit);
        mass = MassFromVolume(litres, GasFrom.Pressure_BarA, kelvin, GasFrom.GasMolarMass);
        AppendLine(Feedback, "       Volume: ", GasFrom.GasFlowValue, sep);
        AppendLine(Feedback, "       Volume, L: ", litres, sep);
        AppendLine(Feedback, "  Pressure, barA: ", GasFrom.Pressure_BarA, sep);
        AppendLine(Feedback, "  Temperature, K: ", kelvin, sep);
    }

    const double molarMass = GasFrom.GasMolarMass;
    if (!IsAboveZero(molarMass)) {
        Feedback += " GasFromMolarMass = 0 ";
        return false;
    }
    double moles = mass / molarMass;
    AppendLine(Feedback, "      Molar mass: ", molarMass, sep);
    AppendLine(Feedback, "         Mass, g: ", mass, sep);
    AppendLine(Feedback, "           Moles: ", moles, sep);
    Feedback += LineEnd;

    const TGasFlowTimeUnit fromTime = GasFrom.GasFlowTimeUnit;  // GasTo may be GasFrom
    GasTo.GasFlowValue = TimeConversion(fromTime, GasTo.GasFlowTimeUnit, mass);
    GasTo.GasMolarMass = molarMass;
    moles = TimeConversion(fromTime, GasTo.GasFlowTimeUnit, moles);

    AppendLine(Feedback, "  Gas to details: ");
    AppendLine(Feedback, "            Unit: ", GasTo.Name);
    AppendLine(Feedback, "       Time unit: ", TimeUnitName(GasTo.GasFlowTimeUnit));
    AppendLine(Feedback, "      Molar mass: ", GasTo.GasMolarMass, sep);
    AppendLine(Feedback, "         Mass, g: ", GasTo.GasFlowValue, sep);
    AppendLine(Feedback, "           Moles: ", moles, sep);

    if (GasTo.GasFlowType != gfuVolumetric) return true;

    const double kelvin = KelvinOf(GasTo.Temperature, GasTo.TemperatureUnit);
    const double litres = VolumeFromMoles(moles, kelvin, GasTo.Pressure_BarA);
    GasTo.GasFlowValue = litres * UnitsPerLitre(GasTo.GasFlowVolumeUnit);
    AppendLine(Feedback, "Continuing to volumetrics");
    AppendLine(Feedback, "  Pressure, barA: ", GasTo.Pressure_BarA, sep);
    const double celsius = GasTo.TemperatureUnit == tuC ? GasTo.Temperature : TemperatureConversion(tcKtoC, kelvin);
    AppendLine(Feedback, " Temperature, ºC: ", celsius, sep);
    AppendLine(Feedback, " Temperature, ºK: ", kelvin, sep);
    AppendLine(Feedback, "       Volume, L: ", litres, sep);
    Feedback += "          Volume: ";
    Feedback += FormatGeneral(GasTo.GasFlowValue, sep);
    Feedback += ' ';
    AppendLine(Feedback, GasTo.Name);
    return true;
}

}  // namespace tessaro
