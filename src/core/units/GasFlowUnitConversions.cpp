#include "units/GasFlowUnitConversions.h"

#include <array>
#include <bit>
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

// Writes a conversion's trace. Turning numbers into text is most of a conversion's cost, and
// the trace repeats several values (the input, the molar mass, mass and moles when both sides
// share a time unit), so a value already written is copied from where it first appeared.
class ConversionTrace {
public:
    ConversionTrace(std::string& text, char separator) : text_(text), separator_(separator) {}

    void Append(std::string_view part) { text_ += part; }
    void Line(std::string_view line) { AppendLine(text_, line); }
    void Line(std::string_view label, std::string_view value) { AppendLine(text_, label, value); }
    void Line(std::string_view label, double value) {
        text_ += label;
        Number(value);
        text_ += LineEnd;
    }
    void Number(double value) {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (std::size_t i = 0; i < count_; ++i)
            if (written_[i].bits == bits) {
                text_.append(text_, written_[i].offset, written_[i].length);
                return;
            }
        const std::size_t offset = text_.size();
        text_ += FormatGeneral(value, separator_);
        if (count_ < written_.size()) written_[count_++] = {bits, offset, text_.size() - offset};
    }

private:
    struct Written {
        std::uint64_t bits;
        std::size_t offset;
        std::size_t length;
    };
    std::string& text_;
    char separator_;
    std::array<Written, 16> written_;
    std::size_t count_ = 0;
};

// Step one of a conversion: the source flow as grams per source time unit.
double SourceMass(const TGasFlowDetails& from, ConversionTrace& trace) {
    if (from.GasFlowType != gfuVolumetric) return from.GasFlowValue;
    const double litres = from.GasFlowValue * LitresPer(from.GasFlowVolumeUnit);
    const double kelvin = KelvinOf(from.Temperature, from.TemperatureUnit);
    trace.Line("       Volume: ", from.GasFlowValue);
    trace.Line("       Volume, L: ", litres);
    trace.Line("  Pressure, barA: ", from.Pressure_BarA);
    trace.Line("  Temperature, K: ", kelvin);
    return MassFromVolume(litres, from.Pressure_BarA, kelvin, from.GasMolarMass);
}

// The last step towards a volumetric target: moles per target time unit as a volume in the
// target's unit at its reference conditions.
double TargetVolume(const TGasFlowDetails& to, double moles, ConversionTrace& trace) {
    const double kelvin = KelvinOf(to.Temperature, to.TemperatureUnit);
    const double celsius = to.TemperatureUnit == tuC ? to.Temperature : TemperatureConversion(tcKtoC, kelvin);
    const double litres = VolumeFromMoles(moles, kelvin, to.Pressure_BarA);
    const double volume = litres * UnitsPerLitre(to.GasFlowVolumeUnit);
    trace.Line("Continuing to volumetrics");
    trace.Line("  Pressure, barA: ", to.Pressure_BarA);
    trace.Line(" Temperature, ºC: ", celsius);
    trace.Line(" Temperature, ºK: ", kelvin);
    trace.Line("       Volume, L: ", litres);
    trace.Append("          Volume: ");
    trace.Number(volume);
    trace.Append(" ");
    trace.Line(to.Name);
    return volume;
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

double StandardCCFromGrams(double Grams, double MolarMass) {
    if (!(MolarMass > 0)) return 0;
    return VolumeFromMoles(Grams / MolarMass, StandardTemperature_K, StandardPressure_BarA) * StandardCCPerLitre;
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
    Errors.clear();
    Feedback.clear();
    ConversionTrace trace(Feedback, decimalSeparator);
    trace.Line("       Volume: ", GasFrom.GasFlowValue);

    CheckDefined(GasFrom, "From", Errors);
    CheckDefined(GasTo, "To", Errors);
    if (!Errors.empty()) return false;
    // Both sides are checked before anything is computed, so a failure leaves GasTo as it was.
    CheckReferenceState(GasFrom, "GasFrom", Errors);
    CheckReferenceState(GasTo, "GasTo", Errors);
    if (!Errors.empty()) return false;

    trace.Line("Gas from details: ");
    trace.Line("            Unit: ", GasFrom.Name);
    trace.Line("       Time unit: ", TimeUnitName(GasFrom.GasFlowTimeUnit));
    const double mass = SourceMass(GasFrom, trace);  // grams per source time unit
    const double molarMass = GasFrom.GasMolarMass;
    if (!IsAboveZero(molarMass)) {
        trace.Append(" GasFromMolarMass = 0 ");
        return false;
    }
    const double moles = mass / molarMass;
    trace.Line("      Molar mass: ", molarMass);
    trace.Line("         Mass, g: ", mass);
    trace.Line("           Moles: ", moles);
    trace.Line("");

    const TGasFlowTimeUnit fromTime = GasFrom.GasFlowTimeUnit;  // GasTo may be GasFrom
    const double targetMoles = TimeConversion(fromTime, GasTo.GasFlowTimeUnit, moles);
    GasTo.GasFlowValue = TimeConversion(fromTime, GasTo.GasFlowTimeUnit, mass);
    GasTo.GasMolarMass = molarMass;
    trace.Line("  Gas to details: ");
    trace.Line("            Unit: ", GasTo.Name);
    trace.Line("       Time unit: ", TimeUnitName(GasTo.GasFlowTimeUnit));
    trace.Line("      Molar mass: ", GasTo.GasMolarMass);
    trace.Line("         Mass, g: ", GasTo.GasFlowValue);
    trace.Line("           Moles: ", targetMoles);

    if (GasTo.GasFlowType == gfuVolumetric) GasTo.GasFlowValue = TargetVolume(GasTo, targetMoles, trace);
    return true;
}

}  // namespace tessaro
