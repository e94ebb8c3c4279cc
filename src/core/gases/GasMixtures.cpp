#include "gases/GasMixtures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "text/Messages.h"
#include "text/NumberFormat.h"

namespace tessaro {

// --- TGasItem --------------------------------------------------------------------------

void TGasItem::Init() {
    NameShort = kUndefinedName;
    _NameLong = kUndefinedName;
    Formula.clear();
    AlicatID = -1;
    PartialPressure = 1.0;
    _CorrosiveFlag = true;
    _MolarMass = 0;
    Components.clear();
}

void TGasItem::Clone(bool CopyMassFlow, TGasItem& destination) const {
    // Built apart first: the destination may be this record, one of its components or a
    // record holding this one, and resetting it must not pull the source away.
    TGasItem copy;
    copy.Init();
    copy.NameShort = NameShort;
    copy._NameLong = GetNameLong();
    copy.Formula = Formula;
    copy.AlicatID = AlicatID;
    copy.PartialPressure = PartialPressure;
    copy._CorrosiveFlag = GetCorrosive();
    copy._MolarMass = _MolarMass;
    copy.ComponentsNormalized = ComponentsNormalized;
    copy.MassFlow_gmin = CopyMassFlow ? MassFlow_gmin : destination.MassFlow_gmin;
    copy.FluidPartialPressure = destination.FluidPartialPressure;
    copy.MassFraction = destination.MassFraction;
    copy.Components.reserve(Components.size());
    for (const TGasItem& component : Components) component.Clone(CopyMassFlow, copy.Components.emplace_back());
    destination = std::move(copy);
}

TGasType TGasItem::GasType() const {
    if (Components.empty()) return TGasType::tElemental;
    return ComponentsNormalized ? TGasType::tMixture : TGasType::tDesignTimeMix;
}

bool TGasItem::GetCorrosive() const {
    if (Components.empty()) return _CorrosiveFlag;
    for (const TGasItem& component : Components)
        if (!component.GetCorrosive()) return false;
    return true;
}

std::string TGasItem::GetNameLong() const {
    if (_NameLong != kUndefinedName || Components.empty()) return _NameLong;
    std::string name;
    for (const TGasItem& component : Components) {
        if (!name.empty()) name += ", ";
        name += FormatPattern(component.PartialPressure * 100, "#.#", '.');
        name += '%';
        name += component.GetNameLong();
    }
    return name;
}

double TGasItem::GetMolarMass() const {
    switch (GasType()) {
        case TGasType::tElemental:
            return _MolarMass;
        case TGasType::tMixture: {
            double sum = 0;
            for (const TGasItem& component : Components) sum += component.GetMolarMass() * component.PartialPressure;
            return sum;
        }
        case TGasType::tDesignTimeMix:
            break;
    }
    return 1.0;
}

double TGasItem::MolesPerGram() const {
    const double molarMass = GetMolarMass();
    if (molarMass == 0)
        throw GasError("Moles per gram pre-work division by zero for: " + _NameLong + " " + GasTypeName(GasType()));
    return 1 / molarMass;
}

double TGasItem::mlnPerGram() const {
    // mln: millilitres at 0 ºC and 1.01325 bar
    return MolesPerGram() * kMixtureGasConstant * kKelvinOffset / 1.01325 * 1000;
}

double TGasItem::GramPermln() const {
    const double perGram = mlnPerGram();
    return perGram > 0 ? 1 / perGram : 0;
}

bool TGasItem::GetHasFluid() const {
    if (!ComponentsNormalized) {
        ShowMessage("GasHasFluid on nonflat mixture");
        return false;
    }
    for (const TGasItem& component : Components)
        if (IsFluid(component)) return true;
    return false;
}

double FlowMolarMass(const TGasItem& gas) {
    if (gas.GasType() != TGasType::tDesignTimeMix) return gas.GetMolarMass();
    TGasItem normalized;
    NormalizeMixture(gas, normalized);
    return normalized.GetMolarMass();
}

std::string GasTypeName(TGasType type) {
    switch (type) {
        case TGasType::tElemental:
            return "tElemental";
        case TGasType::tMixture:
            return "tMixture";
        case TGasType::tDesignTimeMix:
            return "tDesignTimeMix";
    }
    return "Unknown";
}

bool IsFluid(const TGasItem& item) { return item.AlicatID >= 1000 && item.AlicatID <= 9999; }

// --- The gas table ---------------------------------------------------------------------

namespace {

std::vector<TGasItem>& gasTable() {
    static std::vector<TGasItem> table;
    return table;
}

struct PureGas {
    int32_t id;
    const char* nameShort;
    const char* nameLong;
    const char* formula;
    double molarMass;
    bool corrosive;
};

// The flow controllers' pure gases in table order (210 follows 6).
constexpr std::array<PureGas, 48> kPureGases{{
    {1, "Ar", "Argon", "Ar", 39.95, false},
    {2, "CH4", "Methane", "CH4", 16.04276, false},
    {3, "CO", "Carbon Monoxide", "CO", 28.01, false},
    {4, "CO2", "Carbon Dioxide", "CO2", 44.009, false},
    {5, "C2H6", "Ethane", "C2H6", 30.06964, false},
    {6, "H2", "Hydrogen", "H2", 2.01588, false},
    {210, "H-2", "Deuterium", "H2", 4.02820355622, false},
    {7, "He", "Helium", "He", 4.0026, false},
    {8, "N2", "Nitrogen", "N2", 28.014, false},
    {9, "N2O", "Nitrous Oxide", "N2O", 44.013, false},
    {10, "Ne", "Neon", "Ne", 20.18, false},
    {11, "O2", "Oxygen", "O2", 31.998, false},
    {12, "C3H8", "Propane", "C3H8", 44.09652, false},
    {13, "nC4H10", "Normal Butane", "nC4H10", 58.1234, false},
    {14, "C2H2", "Acetylene", "C2H2", 26.03788, false},
    {15, "C2H4", "Ethylene/Ethene", "C2H4", 28.05376, false},
    {16, "iC4H10", "Isobutane", "iC4H10", 58.1234, false},
    {17, "Kr", "Krypton", "Kr", 83.798, false},
    {18, "Xe", "Xenon", "Xe", 131.29, false},
    {19, "SF6", "Sulfur Hexafluoride", "SF6", 146.048, false},
    {30, "NO", "Nitric oxide", "NO", 30.006, true},
    {31, "NF3", "Nitric trifluoride", "NF3", 71.001, true},
    {32, "NH3", "Ammonia", "NH3", 17.03082, true},
    {33, "Cl", "Chlorine", "Cl", 35.45, true},
    {34, "H2S", "Hydrogen Sulfide", "H2S", 34.07588, true},
    {35, "SO2", "Sulfur dioxide", "SO2", 64.058, true},
    {36, "C3H6", "Propylene", "C3H6", 42.08064, true},
    {80, "1Buten", "1-Butylene", "C4H8", 56.10752, true},
    {81, "cButen", "cis-2-Butene", "C4H8", 56.10752, true},
    {82, "iButen", "Isobutene", "C4H8", 56.10752, true},
    {83, "tButen", "Trans-2-Butene", "C4H8", 56.10752, true},
    {84, "COS", "Carbonyl Sulfide", "COS", 60.07, true},
    {85, "DME", "Dimethylether", "C2H6O", 46.06864, true},
    {86, "SiH4", "Silane", "H4Si", 32.11676, true},
    {100, "R-11", "Trichlorofluoromethane", "CCL3F", 137.359, true},
    {101, "R-115", "Chloropentafluoroethane", "C2CLF5", 154.462, true},
    {102, "R-116", "Hexafluoroethane", "C2F6", 138.01, true},
    {103, "R-124", "Chlorotetrafluoroethane", "C2HClF4", 136.47194, true},
    {104, "R-125", "Pentafluoroethane", "C2HF5", 120.01994, true},
    {105, "R-134A", "Tetrafluoroethane", "C2H2F4", 102.02988, true},
    {106, "R-14", "Tetrafluoromethane", "CF4", 88.003, true},
    {107, "R-14b", "Chlorodifluoroethane", "C2H3ClF2", 100.49182, true},
    {108, "R-143a", "Trifluoroethane", "C2H3F3", 84.03982, true},
    {109, "R-152a", "Difluoroethane", "C2H4F2", 66.04976, true},
    {110, "R-22", "Difluoromonochloromethane", "CHClF2", 86.46494, true},
    {111, "R-23", "Trifluoromethane", "CHF3", 70.01294, true},
    {112, "R-32", "Difluoromethane", "CH2F2", 52.02288, true},
    {113, "R-318", "Octafluorocyclobutane", "C4F8", 200.028, true},
}};

constexpr std::size_t kMaxShares = 6;

struct StockMixture {
    int32_t id;
    const char* nameShort;
    const char* nameLong;  // empty: named after the components
    std::array<TMixtureShare, kMaxShares> shares;
};

// Fractions written "x, 1 - x" belong to a series of two-gas mixtures.
const StockMixture kStockMixtures[] = {
    {114, "R-404A", "44% R-125, 4% R-134A, 52% R-143A2", {{{"R-125", 0.44}, {"R-134A", 0.04}, {"R-143a", 0.52}}}},
    {115, "R-407C", "23% R-32, 25% R-125, 52% R-143A2", {{{"R-32", 0.23}, {"R-125", 0.25}, {"R-143a", 0.52}}}},
    {116, "R-410A", "50% R-32, 50% R-125", {{{"R-32", 0.5}, {"R-125", 0.5}}}},
    {117, "R-507A", "50% R-125, 50% R-143A", {{{"R-125", 0.5}, {"R-143a", 0.5}}}},
    {0, "Air", "", {{{"O2", 0.21}, {"N2", 1 - 0.21}}}},
    {20, "C-25", "", {{{"CO2", 0.25}, {"Ar", 1 - 0.25}}}},
    {21, "C-10", "", {{{"CO2", 0.1}, {"Ar", 1 - 0.1}}}},
    {22, "C-8", "", {{{"CO2", 0.08}, {"Ar", 1 - 0.08}}}},
    {23, "C-2", "", {{{"CO2", 0.02}, {"Ar", 1 - 0.02}}}},
    {24, "C-75", "", {{{"CO2", 0.75}, {"Ar", 1 - 0.75}}}},
    {25, "He-25", "", {{{"He", 0.25}, {"Ar", 1 - 0.25}}}},
    {26, "He-75", "", {{{"He", 0.75}, {"Ar", 1 - 0.75}}}},
    {27, "A1025", "", {{{"He", 0.9}, {"Ar", 0.075}, {"CO2", 0.025}}}},
    {28, "Star29", "Stargon CS", {{{"Ar", 0.9}, {"CO2", 0.08}, {"O2", 0.02}}}},
    {29, "P-5", "", {{{"CH4", 0.05}, {"Ar", 0.95}}}},
    {140, "C-15", "", {{{"CO2", 0.15}, {"Ar", 1 - 0.15}}}},
    {141, "C-20", "", {{{"CO2", 0.2}, {"Ar", 1 - 0.2}}}},
    {142, "C-50", "", {{{"CO2", 0.5}, {"Ar", 1 - 0.5}}}},
    {143, "He-50", "", {{{"He", 0.5}, {"Ar", 1 - 0.5}}}},
    {144, "He-90", "", {{{"He", 0.9}, {"Ar", 1 - 0.9}}}},
    {145, "Bio5M", "", {{{"CH4", 0.05}, {"CO2", 1 - 0.05}}}},
    {146, "Bio10M", "", {{{"CH4", 0.1}, {"CO2", 1 - 0.1}}}},
    {147, "Bio15M", "", {{{"CH4", 0.15}, {"CO2", 1 - 0.15}}}},
    {148, "Bio20M", "", {{{"CH4", 0.2}, {"CO2", 1 - 0.2}}}},
    {149, "Bio25M", "", {{{"CH4", 0.25}, {"CO2", 1 - 0.25}}}},
    {150, "Bio30M", "", {{{"CH4", 0.3}, {"CO2", 1 - 0.3}}}},
    {151, "Bio35M", "", {{{"CH4", 0.35}, {"CO2", 1 - 0.35}}}},
    {152, "Bio40M", "", {{{"CH4", 0.4}, {"CO2", 1 - 0.4}}}},
    {153, "Bio45M", "", {{{"CH4", 0.45}, {"CO2", 1 - 0.45}}}},
    {154, "Bio50M", "", {{{"CH4", 0.5}, {"CO2", 1 - 0.5}}}},
    {155, "Bio55M", "", {{{"CH4", 0.55}, {"CO2", 1 - 0.55}}}},
    {156, "Bio60M", "", {{{"CH4", 0.6}, {"CO2", 1 - 0.6}}}},
    {157, "Bio65M", "", {{{"CH4", 0.65}, {"CO2", 1 - 0.65}}}},
    {158, "Bio70M", "", {{{"CH4", 0.7}, {"CO2", 1 - 0.7}}}},
    {159, "Bio75M", "", {{{"CH4", 0.75}, {"CO2", 1 - 0.75}}}},
    {160, "Bio80M", "", {{{"CH4", 0.8}, {"CO2", 1 - 0.8}}}},
    {161, "Bio85M", "", {{{"CH4", 0.85}, {"CO2", 1 - 0.85}}}},
    {162, "Bio90M", "", {{{"CH4", 0.9}, {"CO2", 1 - 0.9}}}},
    {163, "Bio95M", "", {{{"CH4", 0.95}, {"CO2", 1 - 0.95}}}},
    {164, "EAN-32", "", {{{"O2", 0.32}, {"N2", 1 - 0.32}}}},
    {165, "EAN-36", "", {{{"O2", 0.36}, {"N2", 1 - 0.36}}}},
    {166, "EAN-40", "", {{{"O2", 0.4}, {"N2", 1 - 0.4}}}},
    {167, "HeOx20", "", {{{"O2", 0.2}, {"He", 1 - 0.2}}}},
    {168, "HeOx21", "", {{{"O2", 0.21}, {"He", 1 - 0.21}}}},
    {169, "HeOx30", "", {{{"O2", 0.3}, {"He", 1 - 0.3}}}},
    {170, "HeOx40", "", {{{"O2", 0.4}, {"He", 1 - 0.4}}}},
    {171, "HeOx50", "", {{{"O2", 0.5}, {"He", 1 - 0.5}}}},
    {172, "HeOx60", "", {{{"O2", 0.6}, {"He", 1 - 0.6}}}},
    {173, "HeOx80", "", {{{"O2", 0.8}, {"He", 1 - 0.8}}}},
    {174, "HeOx99", "", {{{"O2", 0.99}, {"He", 1 - 0.99}}}},
    {175, "EA-40", "", {{{"O2", 0.4}, {"N2", 1 - 0.4}}}},
    {176, "EA-60", "", {{{"O2", 0.6}, {"N2", 1 - 0.6}}}},
    {177, "EA-80", "", {{{"O2", 0.8}, {"N2", 1 - 0.8}}}},
    {178, "Metab", "", {{{"O2", 0.16}, {"N2", 0.7804}, {"CO2", 0.05}, {"Ar", 0.0096}}}},
    {179, "LG-4.5", "", {{{"CO2", 0.045}, {"N2", 0.135}, {"He", 0.82}}}},
    {180, "LG-6", "", {{{"CO2", 0.06}, {"N2", 0.14}, {"He", 0.8}}}},
    {181, "LG-7", "", {{{"CO2", 0.07}, {"N2", 0.14}, {"He", 0.79}}}},
    {182, "LG-9", "", {{{"CO2", 0.09}, {"N2", 0.15}, {"He", 0.76}}}},
    {183, "HeNe-9", "", {{{"Ne", 0.09}, {"He", 0.91}}}},
    {184, "LG-9.4", "", {{{"CO2", 0.094}, {"N2", 0.1925}, {"He", 0.7135}}}},
    {185, "SynG-1", "", {{{"H2", 0.4}, {"CO", 0.29}, {"CO2", 0.2}, {"CH4", 0.11}}}},
    {186, "SynG-2", "", {{{"H2", 0.64}, {"CO", 0.28}, {"CO2", 0.01}, {"CH4", 0.07}}}},
    {187, "SynG-3", "", {{{"H2", 0.7}, {"CO", 0.04}, {"CO2", 0.25}, {"CH4", 0.01}}}},
    {188, "SynG-4", "", {{{"H2", 0.83}, {"CO", 0.14}, {"CH4", 0.03}}}},
    {189, "NatG-1", "", {{{"CH4", 0.93}, {"C2H6", 0.03}, {"C3H8", 0.01}, {"N2", 0.02}, {"CO2", 0.01}}}},
    {190, "NatG-2", "", {{{"CH4", 0.95}, {"C2H6", 0.03}, {"N2", 0.01}, {"CO2", 0.01}}}},
    {191,
     "NatG-3",
     "",
     {{{"CH4", 0.952}, {"C2H6", 0.025}, {"C3H8", 0.002}, {"iC4H10", 0.001}, {"N2", 0.013}, {"CO2", 0.007}}}},
    {192, "ColG", "", {{{"H2", 0.5}, {"CH4", 0.35}, {"CO", 0.1}, {"C2H4", 0.05}}}},
    {193, "Endo", "", {{{"H2", 0.75}, {"N2", 0.25}}}},
    {194, "HHO", "", {{{"H2", 2.0 / 3.0}, {"O2", 1.0 / 3.0}}}},
    // Rounded shares rescaled so that they add up to 1.
    {195,
     "HD5LPG",
     "",
     {{{"C3H8", 0.961 / 0.999}, {"C2H6", 0.015 / 0.999}, {"C3H6", 0.004 / 0.999}, {"nC4H10", 0.019 / 0.999}}}},
    {196, "HD10LPG", "", {{{"C3H8", 0.85}, {"C3H6", 0.1}, {"nC4H10", 0.05}}}},
    {197, "OCG-89", "", {{{"O2", 0.89}, {"C3H6", 0.07}, {"nC4H10", 0.04}}}},
    {198, "OCG-93", "", {{{"O2", 0.93}, {"N2", 0.03}, {"Ar", 0.04}}}},
    {199, "OCG-95", "", {{{"O2", 0.95}, {"N2", 0.01}, {"Ar", 0.04}}}},
    {200, "FG-1", "", {{{"O2", 0.025}, {"CO2", 0.108}, {"N2", 0.857}, {"Ar", 0.01}}}},
    {201, "FG-2", "", {{{"O2", 0.029}, {"CO2", 0.14}, {"N2", 0.821}, {"Ar", 0.01}}}},
    {202, "FG-3", "", {{{"O2", 0.037}, {"CO2", 0.15}, {"N2", 0.803}, {"Ar", 0.01}}}},
    {203, "FG-4", "", {{{"O2", 0.07}, {"CO2", 0.12}, {"N2", 0.8}, {"Ar", 0.01}}}},
    {204, "FG-5", "", {{{"O2", 0.1}, {"CO2", 0.095}, {"N2", 0.795}, {"Ar", 0.01}}}},
    {205, "FG-6", "", {{{"O2", 0.13}, {"CO2", 0.07}, {"N2", 0.79}, {"Ar", 0.01}}}},
    {206, "PG-10", "", {{{"CH4", 0.1}, {"Ar", 0.9}}}},
};

std::span<const TMixtureShare> definedShares(const StockMixture& mixture) {
    std::size_t count = 0;
    while (count < mixture.shares.size() && !mixture.shares[count].NameShort.empty()) ++count;
    return {mixture.shares.data(), count};
}

const TGasItem* findByShortName(const std::vector<TGasItem>& table, std::string_view nameShort) {
    for (const TGasItem& gas : table)
        if (gas.NameShort == nameShort) return &gas;
    return nullptr;
}

const TGasItem* findById(const std::vector<TGasItem>& table, int32_t id) {
    for (const TGasItem& gas : table)
        if (gas.AlicatID == id) return &gas;
    return nullptr;
}

TGasItem makePureGas(const PureGas& gas) {
    TGasItem item;
    item.Init();
    item.NameShort = gas.nameShort;
    item._NameLong = gas.nameLong;
    item.Formula = gas.formula;
    item._MolarMass = gas.molarMass;
    item._CorrosiveFlag = gas.corrosive;
    item.AlicatID = gas.id;
    return item;
}

TGasItem makeWater() { return makePureGas({1001, "H2O", "H2O", "H2O", 18.01488, false}); }

TGasItem makeComponent(const TGasItem& gas, double fraction) {
    TGasItem component;
    gas.Clone(false, component);
    component.PartialPressure = fraction;
    return component;
}

TGasItem makeUnnamedMixture(double fraction, std::vector<TGasItem> components) {
    TGasItem mixture;
    mixture.Init();
    mixture.PartialPressure = fraction;
    mixture.Components = std::move(components);
    return mixture;
}

// Ar 0.5 and a mixture 0.5 of Ar 0.25 and a mixture 0.75 of Ar 0.1 and He 0.9.
TGasItem makeNestedTestMixture(const std::vector<TGasItem>& table, int32_t id, const char* nameShort) {
    const TGasItem& argon = *findByShortName(table, "Ar");
    const TGasItem& helium = *findByShortName(table, "He");
    TGasItem mixture;
    mixture.Init();
    mixture.NameShort = nameShort;
    mixture._NameLong = "Test mix for calculations";
    mixture.AlicatID = id;
    TGasItem innermost = makeUnnamedMixture(0.75, {makeComponent(argon, 0.1), makeComponent(helium, 0.9)});
    TGasItem inner = makeUnnamedMixture(0.5, {makeComponent(argon, 0.25), std::move(innermost)});
    mixture.Components = {makeComponent(argon, 0.5), std::move(inner)};
    return mixture;
}

void logListing(const std::vector<TGasItem>& table) {
    for (const TGasItem& gas : table)
        DiagLog(kGasChannel, gas.NameShort + " Components:" + std::to_string(gas.Components.size()) + " " +
                                 (gas.ComponentsNormalized ? "Normalized mixture" : "Elemental"));
}

void selfTestWithArgon(const std::vector<TGasItem>& table) {
    const TGasItem* argon = findByShortName(table, "Ar");
    if (argon == nullptr) return;
    DiagLog(kGasChannel, "Testing");
    DiagLog(kGasChannel, "Ar g/mln = " + FormatGeneral(argon->GramPermln()));
    DiagLog(kGasChannel, "0.5 g of Ar in mln = " + FormatGeneral(0.5 * argon->mlnPerGram()));
    DiagLog(kGasChannel, "280.6 mln of Ar in g = " + FormatGeneral(280.6 * argon->GramPermln()));
}

}  // namespace

bool AppendMixture(std::vector<TGasItem>& table, int32_t alicatID, std::string_view nameShort,
                   std::string_view nameLong, std::span<const TMixtureShare> shares) {
    TGasItem mixture;
    mixture.Init();
    mixture.NameShort = nameShort;
    if (!nameLong.empty()) mixture._NameLong = nameLong;
    mixture.AlicatID = alicatID;
    for (const TMixtureShare& share : shares) {
        const TGasItem* gas = findByShortName(table, share.NameShort);
        if (gas == nullptr) {
            DiagLog(kGasChannel, "Making mixture failed:" + std::to_string(alicatID));
            return false;
        }
        mixture.Components.push_back(makeComponent(*gas, share.Fraction));
    }
    table.push_back(std::move(mixture));
    return true;
}

void BuildGasList() {
    DiagLog(kGasChannel, "Initialization");
    std::vector<TGasItem> table;
    table.reserve(kPureGases.size() + std::size(kStockMixtures) + 3);
    for (const PureGas& gas : kPureGases) table.push_back(makePureGas(gas));
    for (const StockMixture& mixture : kStockMixtures)
        AppendMixture(table, mixture.id, mixture.nameShort, mixture.nameLong, definedShares(mixture));
    table.push_back(makeWater());
    table.push_back(makeNestedTestMixture(table, 301, "XTMC_DesignTime"));
    TGasItem normalized;
    NormalizeMixture(makeNestedTestMixture(table, 302, "XTMC_Normalized"), normalized);
    table.push_back(std::move(normalized));
    logListing(table);
    selfTestWithArgon(table);
    gasTable() = std::move(table);
}

void ClearGasList() { gasTable().clear(); }

const std::vector<TGasItem>& GasList() { return gasTable(); }

void GetGas_ID(int32_t id, TGasItem& destination) {
    destination.Init();
    if (id == -1) {
        destination.NameShort = "Unconfigured";
        return;
    }
    const TGasItem* gas = findById(gasTable(), id);
    if (gas == nullptr) throw GasError("GetGas_ID failed to return gas(ID):" + std::to_string(id));
    gas->Clone(false, destination);
}

bool TryGetGas_ID(int32_t id, TGasItem& destination) {
    destination.Init();
    const TGasItem* gas = findById(gasTable(), id);
    if (gas == nullptr) return false;
    gas->Clone(false, destination);
    return true;
}

bool GetGasByShortName(std::string_view nameShort, TGasItem& destination) {
    const TGasItem* gas = findByShortName(gasTable(), nameShort);
    if (gas == nullptr) return false;
    gas->Clone(false, destination);
    return true;
}

// --- Mixture calculations --------------------------------------------------------------

void ScalePartialPressures(TGasItem& item, double factor) {
    item.PartialPressure *= factor;
    for (TGasItem& component : item.Components) ScalePartialPressures(component, item.PartialPressure);
}

void CollectLeafComponents(const TGasItem& item, std::map<int32_t, TGasItem>& leaves) {
    if (!item.Components.empty()) {
        for (const TGasItem& component : item.Components) CollectLeafComponents(component, leaves);
        return;
    }
    auto [position, inserted] = leaves.try_emplace(item.AlicatID);
    TGasItem& leaf = position->second;
    if (inserted) {
        item.Clone(true, leaf);
    } else {
        leaf.PartialPressure += item.PartialPressure;
        leaf.MassFlow_gmin += item.MassFlow_gmin;
    }
}

namespace {

// Sum of molar mass × mole fraction over the components.
double moleWeightedMolarMass(const std::vector<TGasItem>& components) {
    double sum = 0;
    for (const TGasItem& component : components) sum += component.GetMolarMass() * component.PartialPressure;
    return sum;
}

bool anyWithoutMolarMass(const std::vector<TGasItem>& components) {
    for (const TGasItem& component : components)
        if (component.GetMolarMass() == 0) return true;
    return false;
}

}  // namespace

void NormalizeMixture(const TGasItem& source, TGasItem& result) {
    if (source.Components.empty()) {
        source.Clone(true, result);
        return;
    }
    TGasItem flat;
    source.Clone(true, flat);
    ScalePartialPressures(flat, 1);
    std::map<int32_t, TGasItem> leaves;
    CollectLeafComponents(flat, leaves);
    flat.Components.clear();
    flat.Components.reserve(leaves.size());
    for (auto& [id, leaf] : leaves) flat.Components.push_back(std::move(leaf));
    flat.ComponentsNormalized = true;
    const double sum = moleWeightedMolarMass(flat.Components);
    if (sum != 0)
        for (TGasItem& component : flat.Components)
            component.MassFraction = component.GetMolarMass() * component.PartialPressure / sum;
    // The clone kept the result's own values of these two; so does the result.
    flat.FluidPartialPressure = result.FluidPartialPressure;
    flat.MassFraction = result.MassFraction;
    result = std::move(flat);
}

bool PopulateComponentMasses(TGasItem& mixture) {
    if (mixture.MassFlow_gmin == 0) {
        for (TGasItem& component : mixture.Components) component.MassFlow_gmin = 0;
        return true;
    }
    if (mixture.Components.empty()) {
        mixture.PartialPressure = 1;
        mixture.MassFraction = 1;
        return true;
    }
    if (anyWithoutMolarMass(mixture.Components)) return false;
    const double sum = moleWeightedMolarMass(mixture.Components);
    if (sum == 0) return false;
    for (TGasItem& component : mixture.Components) {
        component.MassFraction = component.GetMolarMass() * component.PartialPressure / sum;
        component.MassFlow_gmin = component.MassFraction * mixture.MassFlow_gmin;
    }
    return true;
}

bool MixtureFromComponentMasses(TGasItem& mixture) {
    if (anyWithoutMolarMass(mixture.Components)) return false;
    double moles = 0;
    double mass = 0;
    for (const TGasItem& component : mixture.Components) {
        moles += component.MassFlow_gmin / component.GetMolarMass();
        mass += component.MassFlow_gmin;
    }
    // Flows of both signs can cancel to no mass while moles remain; fractions of nothing
    // would be infinite.
    if (moles == 0 || mass == 0) return false;
    for (TGasItem& component : mixture.Components) {
        component.PartialPressure = component.MassFlow_gmin / component.GetMolarMass() / moles;
        component.MassFraction = component.MassFlow_gmin / mass;
        if (IsFluid(component)) mixture.FluidPartialPressure = component.PartialPressure;
    }
    mixture.ComponentsNormalized = true;
    mixture.MassFlow_gmin = mass;
    return true;
}

void FlattenComponents(const TGasItem& source, TGasItem& target) {
    const auto isPure = [](const TGasItem& item) { return item.Components.empty(); };
    std::size_t count = 0;
    for (const TGasItem& component : source.Components)
        count += isPure(component) ? 1 : static_cast<std::size_t>(std::ranges::count_if(component.Components, isPure));
    std::vector<TGasItem> pure;
    pure.reserve(count);
    for (const TGasItem& component : source.Components) {
        if (isPure(component)) {
            pure.push_back(component);
            continue;
        }
        for (const TGasItem& part : component.Components)
            if (isPure(part)) pure.push_back(part);
    }
    // Appended only now: the target may be the source itself.
    target.Components.reserve(target.Components.size() + pure.size());
    for (TGasItem& item : pure) target.Components.push_back(std::move(item));
}

void FlattenComponents(TGasItem&& source, TGasItem& target) {
    std::vector<TGasItem> components = std::move(source.Components);
    source.Components.clear();
    for (TGasItem& component : components) {
        if (component.Components.empty()) {
            target.Components.push_back(std::move(component));
            continue;
        }
        for (TGasItem& part : component.Components)
            if (part.Components.empty()) target.Components.push_back(std::move(part));
    }
}

double WaterSaturationPressure(double temperatureC) {
    const double t = temperatureC;
    if (t > 0) return std::exp(34.494 - 4924.99 / (t + 237.1)) / std::pow(t + 105, 1.57) / 100;
    return std::exp(43.494 - 6545.8 / (t + 278)) / std::pow(t + 868, 2) / 100;
}

double VolumeMlFromMoles(double moles, double temperatureC, double pressureBarA) {
    if (!(pressureBarA > 0)) return -1;
    return moles * kMixtureGasConstant * (temperatureC + kKelvinOffset) / pressureBarA * 1000;
}

}  // namespace tessaro
