#pragma once
// Flow units and conversions between mass and volumetric flows through the ideal-gas law:
// a volumetric flow at its reference conditions becomes moles, moles become grams through
// the molar mass, and back. Pure computation; the conversion explains itself in a trace.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

// The ordinals are part of the program's vocabulary (lists in the window follow them).
enum TTemperatureUnit : std::uint8_t { tuC = 0, tuF = 1, tuK = 2, tuUndefined = 3 };

enum TGasFlowTimeUnit : std::uint8_t { gftSecond = 0, gfMinute = 1, gftHour = 2, gftDay = 3, gftUndefined = 4 };

enum TGasFlowType : std::uint8_t { gfuGrams = 0, gfuVolumetric = 1, gfuUndefined = 2 };

// cc, scc, ml and mln are one unit to the arithmetic; S and N only name the reference
// conditions, which the record carries in its own fields.
enum TGasFlowVolumeUnit : std::uint8_t {
    gfvuCC = 0,
    gfvuSCC = 1,
    gfvuML = 2,
    gfvuMLN = 3,
    gfvuL = 4,
    gfvuµL = 5,
    gfvuUndefined = 6
};

enum TTemperatureConversionKind : std::uint8_t {
    tcCtoF = 0,
    tcCtoK = 1,
    tcFtoC = 2,
    tcFtoK = 3,
    tcKtoC = 4,
    tcKtoF = 5
};

inline constexpr double MolarGasConstant = 0.08314462618153272;  // L·bar/(K·mol)
inline constexpr double KelvinOffset = 273.15;
// The flow controllers report their full scale in standard cc per minute at these conditions.
inline constexpr double StandardTemperature_K = 298.15;
inline constexpr double StandardPressure_BarA = 1.01325;
inline constexpr double StandardCCPerLitre = 1000.0;

// "second", "minute", "hour", "day", "undefined".
std::string_view TimeUnitName(TGasFlowTimeUnit unit);

// A flow unit, and one flow value expressed in it. A plain value: copies are independent.
class TGasFlowDetails {
    // Full scale of the device the unit belongs to, in standard cc/min (25 ºC, 1.01325 bar).
    double pGasFlowMax = 0;

public:
    std::string Name = "Undefined";
    double GasFlowValue = 0;
    double GasMolarMass = 1.0;  // g/mol
    std::string GasName;
    TGasFlowVolumeUnit GasFlowVolumeUnit = gfvuUndefined;
    TGasFlowType GasFlowType = gfuUndefined;
    TGasFlowTimeUnit GasFlowTimeUnit = gftUndefined;
    double Temperature = 0;  // reference temperature of a volumetric unit, in TemperatureUnit
    TTemperatureUnit TemperatureUnit = tuUndefined;
    double Pressure_BarA = 0;  // reference absolute pressure of a volumetric unit

    void SetGasFlowMax(double MaxFlowinAlicatSCCM) { pGasFlowMax = MaxFlowinAlicatSCCM; }
    // The full scale as it is stored, in standard cc/min; 0 while the device has not told it.
    double GasFlowMax_sccm() const { return pGasFlowMax; }
    bool GasFlowMaxKnown() const { return pGasFlowMax > 0; }
    TGasFlowDetails Clone() const { return *this; }

    // Checks the record for use in calculations. On failure Feedback explains why.
    bool IsValid(std::string& Feedback) const;

    // The full scale in this unit: cc/min at the reference conditions for a volumetric
    // unit, g/min for a mass unit, 0 for an undefined one. Also 0 for a volumetric unit whose
    // reference pressure or temperature leaves no meaningful volume.
    double GasFlowMax() const;
    // The full scale in g/min whatever the unit's type; logs its inputs.
    double GasFlowMax_gpm() const;

    bool operator==(const TGasFlowDetails&) const = default;
};

// The three standard units, built once on first use and shared. The engine reuses
// FlowUnitGrams as the source record of its conversions; the other two are read-only.
TGasFlowDetails& FlowUnitGrams();
const TGasFlowDetails& FlowUnitMlnAir();
const TGasFlowDetails& FlowUnitMicrolitres();

// Converts GasFrom.GasFlowValue into the unit of GasTo. On success GasTo.GasFlowValue holds
// the result and GasTo.GasMolarMass the source's molar mass. On failure GasTo is unchanged
// and the result is false; Errors then has one line per problem, except for a source
// without a positive molar mass, which is only told at the end of Feedback. Feedback
// always traces the computation, numbers written with decimalSeparator.
bool GasFlowConversion(const TGasFlowDetails& GasFrom, TGasFlowDetails& GasTo, std::string& Errors,
                       std::string& Feedback, char decimalSeparator = '.');

double TemperatureConversion(TTemperatureConversionKind Kind, double Value);

// Converts a rate between two defined time units: value × seconds(target) / seconds(source).
// NaN when either unit is undefined.
double TimeConversion(TGasFlowTimeUnit From, TGasFlowTimeUnit To, double Value);

// Grams in Volume_L litres of a gas of MolarMass g/mol at the given pressure and temperature.
double MassFromVolume(double Volume_L, double Pressure_BarA, double Temperature_K, double MolarMass);
// Litres taken by Moles of gas at the given temperature and pressure.
double VolumeFromMoles(double Moles, double Temperature_K, double Pressure_BarA);
// A mass flow in g/min of a gas of MolarMass g/mol as standard cc/min (25 ºC, 1.01325 bar),
// the form a full scale is kept in; the inverse of GasFlowMax_gpm. 0 without a positive
// molar mass.
double StandardCCFromGrams(double Grams, double MolarMass);

}  // namespace tessaro
