#pragma once
// Gases by the flow controllers' gas numbers: the gas table with the pure gases, the stock
// mixtures, water and two test mixtures; the calculations on gas records (molar mass,
// normalisation, mass and mole fractions, volumes, water content) and the mixture reports.
//
// The table is built once at start-up (BuildGasList) before any worker thread exists and is
// only read afterwards. Its diagnostic channel is "UnitGas".

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/Errors.h"

namespace tessaro {

// Raised by GetGas_ID for an unknown gas number and by MolesPerGram for a molar mass of 0.
class GasError : public CoreError {
public:
    using CoreError::CoreError;
};

inline constexpr std::string_view kGasChannel = "UnitGas";
inline constexpr const char* kUndefinedName = "Undefined";

enum class TGasType : uint8_t {
    tElemental = 0,      // a pure gas: no components
    tMixture = 1,        // components flat and merged by gas number (ComponentsNormalized)
    tDesignTimeMix = 2,  // components as defined; they may be mixtures themselves
};

// A gas or a mixture. A value type: copying a record copies its components.
// A default-constructed record is all zero; Init gives it the "Undefined" state.
struct TGasItem {
    std::string _NameLong;        // "Undefined" for a mixture named after its components
    bool _CorrosiveFlag = false;  // meaningful for pure gases; see GetCorrosive
    double _MolarMass = 0;        // g/mol of a pure gas; 0 for a mixture
    std::string NameShort;        // key of lookups by name (exact, case-sensitive)
    std::string Formula;
    int32_t AlicatID = 0;              // gas number of the flow controllers; -1 for none
    double PartialPressure = 0;        // mole fraction in the parent; 1 for a table entry
    double FluidPartialPressure = 0;   // share of the fluid, see MixtureFromComponentMasses
    double MassFraction = 0;           // share of the parent's mass
    double MassFlow_gmin = 0;          // g/min
    std::vector<TGasItem> Components;  // in order of definition
    bool ComponentsNormalized = false;

    // Names "Undefined", no formula, gas number -1, partial pressure 1, corrosive, molar
    // mass 0, no components; FluidPartialPressure, MassFraction, MassFlow_gmin and
    // ComponentsNormalized keep their values.
    void Init();
    // Copies this record and its components into `destination` (which may be part of this
    // record). FluidPartialPressure and MassFraction are never copied, MassFlow_gmin only
    // with CopyMassFlow; the destination keeps its own values of those.
    void Clone(bool CopyMassFlow, TGasItem& destination) const;
    TGasType GasType() const;
    // A mixture is corrosive only when every component is.
    bool GetCorrosive() const;
    // For an "Undefined" mixture the name is composed: "21%Oxygen, 79%Nitrogen".
    std::string GetNameLong() const;

    // g/mol: the stored value of a pure gas, the mole-weighted sum for a normalised mixture,
    // and 1.0 for a mixture as defined.
    double GetMolarMass() const;
    double MolesPerGram() const;  // throws GasError for a molar mass of 0
    double mlnPerGram() const;    // throws GasError for a molar mass of 0
    double GramPermln() const;    // 0 when mlnPerGram is not above 0; passes GasError on
    // Whether a normalised mixture holds a fluid; on any other record it shows the message
    // "GasHasFluid on nonflat mixture" and answers false.
    bool GetHasFluid() const;
};

// The molar mass a flow unit takes for this gas: a pure gas's own, and for a mixture that
// of its normalised composition (Air about 28.85 g/mol). A stock mixture as the table holds
// it has GetMolarMass 1.0, which would make every mass flow of it wrong: use this wherever
// a flow is converted between mass and volume.
double FlowMolarMass(const TGasItem& gas);

std::string GasTypeName(TGasType type);  // "tElemental", "tMixture", "tDesignTimeMix"
bool IsFluid(const TGasItem& item);      // gas numbers 1000 to 9999 (water is 1001)

// A temperature (ºC) and absolute pressure (bar) pair of the report tables.
struct TDoubleVec {
    double TempC = 0;
    double PresBarA = 0;
};
using TVecArr = std::vector<TDoubleVec>;

// --- The gas table ---------------------------------------------------------------------

// Builds the table (clearing any previous one), sending "Initialization", one listing line
// per entry and the argon self-test to the channel "UnitGas".
void BuildGasList();
void ClearGasList();
// The table in insertion order; empty before BuildGasList.
const std::vector<TGasItem>& GasList();

// The destination is reset; -1 gives the short name "Unconfigured". A number that is not in
// the table raises GasError "GetGas_ID failed to return gas(ID):<number>".
void GetGas_ID(int32_t id, TGasItem& destination);
// Like GetGas_ID without the -1 case and without raising; false leaves the destination
// reset with the short name "Undefined".
bool TryGetGas_ID(int32_t id, TGasItem& destination);
// Exact, case-sensitive; false leaves the destination untouched.
bool GetGasByShortName(std::string_view nameShort, TGasItem& destination);

// One component of a mixture definition: a gas of the table by short name, mole fraction.
struct TMixtureShare {
    std::string_view NameShort;
    double Fraction = 0;
};
// Appends a mixture of gases found in `table` (as defined, not normalised). When a
// component is missing nothing is appended, the channel receives "Making mixture failed:"
// with the gas number, and the result is false.
bool AppendMixture(std::vector<TGasItem>& table, int32_t alicatID, std::string_view nameShort,
                   std::string_view nameLong, std::span<const TMixtureShare> shares);

// --- Mixture calculations --------------------------------------------------------------

inline constexpr double kMixtureGasConstant = 0.0831446261815324;  // L·bar/(K·mol)
inline constexpr double kKelvinOffset = 273.15;

// A flat copy of `source`: pure gases at any depth merged by gas number (sorted by it),
// each with its share of the whole mixture and its mass fraction. A pure gas gives a
// clone of itself. `result` may be `source`.
void NormalizeMixture(const TGasItem& source, TGasItem& result);
// Multiplies the item's partial pressure by `factor`, then scales each component by the
// item's new partial pressure, recursively.
void ScalePartialPressures(TGasItem& item, double factor);
// Merges the pure gases at any depth into `leaves` by gas number, adding partial pressures
// and mass flows of repeated gases.
void CollectLeafComponents(const TGasItem& item, std::map<int32_t, TGasItem>& leaves);

// Splits the mixture's mass flow over its components by their mole fractions and molar
// masses. False (nothing changed) for a component without molar mass or a zero sum.
bool PopulateComponentMasses(TGasItem& mixture);
// Mole and mass fractions, the fluid's share and the total mass flow from the components'
// mass flows; marks the mixture normalised. False (nothing changed) for a component
// without molar mass or no moles at all.
bool MixtureFromComponentMasses(TGasItem& mixture);
// Appends to the target's components the pure components of the source's first two levels.
void FlattenComponents(const TGasItem& source, TGasItem& target);
// The same for a source that is no longer needed: its components are moved, not copied, and
// it is left without them. The target must not be the source.
void FlattenComponents(TGasItem&& source, TGasItem& target);

// hPa over water above 0 ºC, over ice at or below.
double WaterSaturationPressure(double temperatureC);
// ml of `moles` of ideal gas; -1 when the pressure (bar absolute) is not above 0.
double VolumeMlFromMoles(double moles, double temperatureC, double pressureBarA);

// --- Reports (lines end with CR LF; numbers use the given decimal separator) -----------

// Components with molar masses, fractions, and the volumetric, mass and molar flows. Only
// for a normalised mixture; otherwise it logs to "UnitGas" and gives an empty text.
std::string MixtureDetails(const TGasItem& mixture, char decimalSeparator);
std::string InputsReport(const TGasItem& mixture, char decimalSeparator);
// Appends one line per pure gas at any depth to `accumulated` and returns it.
std::string ComponentFlowsReport(const TGasItem& item, std::string accumulated, char decimalSeparator);
std::string PartialPressuresReport(const TGasItem& mixture, char decimalSeparator);
// A condition without a gas state (pressure not above 0, temperature at or below absolute
// zero) gives a row of "Err" in the volumetric table and no row in the humidity table.
std::string VolumetricFlowsTable(const TGasItem& mixture, const TVecArr& conditions, char decimalSeparator);
std::string HumidityTable(const TGasItem& mixture, const TVecArr& conditions, char decimalSeparator);

}  // namespace tessaro
