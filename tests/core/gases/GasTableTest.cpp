#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "GasTestSupport.h"
#include "gases/GasMixtures.h"
#include "text/Errors.h"

namespace tessaro {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

class GasTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGasList(); }

    static std::vector<std::string> ShortNames(const TGasItem& item) {
        std::vector<std::string> names;
        for (const TGasItem& c : item.Components) names.push_back(c.NameShort);
        return names;
    }
    static std::vector<double> Fractions(const TGasItem& item) {
        std::vector<double> fractions;
        for (const TGasItem& c : item.Components) fractions.push_back(c.PartialPressure);
        return fractions;
    }
};

std::vector<int32_t> ExpectedGasNumbers() {
    std::vector<int32_t> ids;
    const auto range = [&ids](int32_t first, int32_t last) {
        for (int32_t id = first; id <= last; ++id) ids.push_back(id);
    };
    range(1, 6);
    ids.push_back(210);
    range(7, 19);
    range(30, 36);
    range(80, 86);
    range(100, 117);
    ids.push_back(0);
    range(20, 29);
    range(140, 206);
    ids.insert(ids.end(), {1001, 301, 302});
    return ids;
}

TEST_F(GasTable, HoldsTheGasNumbersInTheirListedOrder) {
    std::vector<int32_t> ids;
    for (const TGasItem& gas : GasList()) ids.push_back(gas.AlicatID);
    EXPECT_EQ(ids, ExpectedGasNumbers());
    EXPECT_EQ(GasList().size(), 133u);
}

TEST_F(GasTable, ShortNamesAreUnique) {
    std::vector<std::string> names;
    for (const TGasItem& gas : GasList()) names.push_back(gas.NameShort);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

struct PureGasRow {
    int32_t id;
    const char* nameShort;
    const char* nameLong;
    const char* formula;
    double molarMass;
    bool corrosive;
};

TEST_F(GasTable, PureGasesCarryTheirNamesFormulaAndMolarMass) {
    const PureGasRow rows[] = {
        {1, "Ar", "Argon", "Ar", 39.95, false},
        {210, "H-2", "Deuterium", "H2", 4.02820355622, false},
        {15, "C2H4", "Ethylene/Ethene", "C2H4", 28.05376, false},
        {19, "SF6", "Sulfur Hexafluoride", "SF6", 146.048, false},
        {30, "NO", "Nitric oxide", "NO", 30.006, true},
        {36, "C3H6", "Propylene", "C3H6", 42.08064, true},
        {86, "SiH4", "Silane", "H4Si", 32.11676, true},
        {100, "R-11", "Trichlorofluoromethane", "CCL3F", 137.359, true},
        {34, "H2S", "Hydrogen Sulfide", "H2S", 34.07588, true},
        {108, "R-143a", "Trifluoroethane", "C2H3F3", 84.03982, true},
        {113, "R-318", "Octafluorocyclobutane", "C4F8", 200.028, true},
        {1001, "H2O", "H2O", "H2O", 18.01488, false},
    };
    for (const PureGasRow& row : rows) {
        SCOPED_TRACE(row.nameShort);
        const TGasItem gas = Gas(row.id);
        EXPECT_EQ(gas.NameShort, row.nameShort);
        EXPECT_EQ(gas.GetNameLong(), row.nameLong);
        EXPECT_EQ(gas.Formula, row.formula);
        EXPECT_EQ(gas.GetMolarMass(), row.molarMass);
        EXPECT_EQ(gas.GetCorrosive(), row.corrosive);
        EXPECT_EQ(gas.PartialPressure, 1.0);
        EXPECT_EQ(gas.GasType(), TGasType::tElemental);
    }
}

// The molar mass of a formula from the standard atomic weights the table is built on.
// Isomer prefixes ("n", "i") are skipped and "CL" is read as chlorine, as the table writes it.
double MolarMassOfFormula(std::string_view formula) {
    static const std::map<std::string, double> kAtomicWeights = {
        {"H", 1.00794}, {"He", 4.0026}, {"C", 12.011}, {"N", 14.007}, {"O", 15.999},  {"F", 18.998},  {"Ne", 20.18},
        {"Si", 28.085}, {"S", 32.06},   {"Cl", 35.45}, {"Ar", 39.95}, {"Kr", 83.798}, {"Xe", 131.29},
    };
    double sum = 0;
    std::size_t pos = 0;
    while (pos < formula.size() && std::islower(static_cast<unsigned char>(formula[pos]))) ++pos;
    while (pos < formula.size()) {
        std::string symbol(1, formula[pos++]);
        if (pos < formula.size() &&
            (std::islower(static_cast<unsigned char>(formula[pos])) || (symbol == "C" && formula[pos] == 'L')))
            symbol += static_cast<char>(std::tolower(static_cast<unsigned char>(formula[pos++])));
        int count = 0;
        while (pos < formula.size() && std::isdigit(static_cast<unsigned char>(formula[pos])))
            count = count * 10 + (formula[pos++] - '0');
        const auto weight = kAtomicWeights.find(symbol);
        if (weight == kAtomicWeights.end()) return -1;
        sum += weight->second * std::max(count, 1);
    }
    return sum;
}

// Deuterium is written "H2" but weighs as heavy hydrogen.
TEST_F(GasTable, EveryPureGasWeighsWhatItsFormulaSays) {
    for (const TGasItem& gas : GasList()) {
        if (gas.GasType() != TGasType::tElemental || gas.AlicatID == 210) continue;
        SCOPED_TRACE(gas.NameShort + " " + gas.Formula);
        EXPECT_NEAR(gas.GetMolarMass(), MolarMassOfFormula(gas.Formula), 0.005);
    }
}

TEST_F(GasTable, PureGasesFromNumber30OnAreCorrosiveDeuteriumIsNot) {
    int pure = 0;
    for (const TGasItem& gas : GasList()) {
        if (!gas.Components.empty() || gas.AlicatID >= 1000) continue;
        ++pure;
        EXPECT_EQ(gas._CorrosiveFlag, gas.AlicatID >= 30 && gas.AlicatID != 210) << gas.NameShort;
        EXPECT_GT(gas._MolarMass, 0) << gas.NameShort;
        EXPECT_FALSE(gas.Formula.empty()) << gas.NameShort;
    }
    EXPECT_EQ(pure, 48);
}

// A typing slip in a fraction shows up as a mixture that does not add up to 1.
TEST_F(GasTable, StockMixturesAreKeptAsDefinedWithFractionsAddingUpToOne) {
    int mixtures = 0;
    for (const TGasItem& mixture : GasList()) {
        if (mixture.Components.empty() || mixture.AlicatID > 300) continue;
        ++mixtures;
        SCOPED_TRACE(mixture.NameShort);
        EXPECT_EQ(mixture.GasType(), TGasType::tDesignTimeMix);
        EXPECT_EQ(mixture.GetMolarMass(), 1.0);
        EXPECT_EQ(mixture.Formula, "");
        double sum = 0;
        for (const TGasItem& component : mixture.Components) {
            sum += component.PartialPressure;
            EXPECT_EQ(component.GasType(), TGasType::tElemental);
            EXPECT_EQ(component.GetMolarMass(), Gas(component.AlicatID).GetMolarMass());
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
    }
    EXPECT_EQ(mixtures, 82);
}

TEST_F(GasTable, StockMixturesHoldTheirComponentsInDefinitionOrder) {
    const TGasItem air = Gas(0);
    EXPECT_THAT(ShortNames(air), ElementsAre("O2", "N2"));
    EXPECT_THAT(Fractions(air), ElementsAre(0.21, 1 - 0.21));

    const TGasItem hho = Gas(194);
    EXPECT_THAT(Fractions(hho), ElementsAre(2.0 / 3.0, 1.0 / 3.0));

    const TGasItem lpg = Gas(195);
    EXPECT_THAT(ShortNames(lpg), ElementsAre("C3H8", "C2H6", "C3H6", "nC4H10"));
    EXPECT_THAT(Fractions(lpg), ElementsAre(0.961 / 0.999, 0.015 / 0.999, 0.004 / 0.999, 0.019 / 0.999));

    const TGasItem natural = Gas(191);
    EXPECT_THAT(ShortNames(natural), ElementsAre("CH4", "C2H6", "C3H8", "iC4H10", "N2", "CO2"));
    EXPECT_THAT(Fractions(natural), ElementsAre(0.952, 0.025, 0.002, 0.001, 0.013, 0.007));

    const TGasItem bio = Gas(163);
    EXPECT_EQ(bio.NameShort, "Bio95M");
    EXPECT_THAT(ShortNames(bio), ElementsAre("CH4", "CO2"));
    EXPECT_THAT(Fractions(bio), ElementsAre(0.95, 1 - 0.95));
}

TEST_F(GasTable, LongNamesAreStoredOrComposedFromTheComponents) {
    const struct {
        int32_t id;
        const char* nameLong;
    } cases[] = {
        {20, "25%Carbon Dioxide, 75%Argon"},
        {194, "66.7%Hydrogen, 33.3%Oxygen"},
        {116, "50% R-32, 50% R-125"},
        {114, "44% R-125, 4% R-134A, 52% R-143A2"},
        {28, "Stargon CS"},
        {178, "16%Oxygen, 78%Nitrogen, 5%Carbon Dioxide, 1%Argon"},
        {301, "Test mix for calculations"},
    };
    for (const auto& c : cases) EXPECT_EQ(Gas(c.id).GetNameLong(), c.nameLong) << c.id;

    // Unnamed nested mixtures are named after their own components.
    EXPECT_EQ(Gas(301).Components[1].GetNameLong(), "25%Argon, 75%10%Argon, 90%Helium");
}

TEST_F(GasTable, AMixtureIsCorrosiveOnlyWhenEveryComponentIs) {
    const TGasItem air = Gas(0);
    EXPECT_EQ(air._NameLong, "21%Oxygen, 79%Nitrogen");
    EXPECT_FALSE(air._CorrosiveFlag);
    EXPECT_TRUE(Gas(116)._CorrosiveFlag);
    EXPECT_FALSE(Gas(196).GetCorrosive()) << "HD10LPG holds corrosive C3H6 among others";
}

TEST_F(GasTable, TestMixturesAreNestedOrNormalized) {
    const TGasItem design = Gas(301);
    EXPECT_EQ(design.NameShort, "XTMC_DesignTime");
    EXPECT_EQ(design.GasType(), TGasType::tDesignTimeMix);
    EXPECT_THAT(Fractions(design), ElementsAre(0.5, 0.5));
    const TGasItem& inner = design.Components[1];
    EXPECT_EQ(inner.NameShort, "Undefined");
    EXPECT_EQ(inner.AlicatID, -1);
    EXPECT_THAT(Fractions(inner), ElementsAre(0.25, 0.75));
    EXPECT_THAT(ShortNames(inner.Components[1]), ElementsAre("Ar", "He"));
    EXPECT_THAT(Fractions(inner.Components[1]), ElementsAre(0.1, 0.9));

    const TGasItem normalized = Gas(302);
    EXPECT_EQ(normalized.NameShort, "XTMC_Normalized");
    EXPECT_EQ(normalized.GetNameLong(), "Test mix for calculations");
    EXPECT_EQ(normalized.GasType(), TGasType::tMixture);
    EXPECT_THAT(ShortNames(normalized), ElementsAre("Ar", "He"));
    EXPECT_DOUBLE_EQ(normalized.Components[0].PartialPressure, 0.6625);
}

TEST_F(GasTable, GetGas_IDResetsTheDestinationAndRaisesForAnUnknownNumber) {
    TGasItem gas = Gas(1);
    GetGas_ID(-1, gas);
    EXPECT_EQ(gas.NameShort, "Unconfigured");
    EXPECT_EQ(gas.AlicatID, -1);
    EXPECT_EQ(gas._MolarMass, 0);

    try {
        GetGas_ID(999, gas);
        FAIL() << "no error raised";
    } catch (const CoreError& error) {
        EXPECT_STREQ(error.what(), "GetGas_ID failed to return gas(ID):999");
    }
    EXPECT_THROW(GetGas_ID(999, gas), GasError);
}

TEST_F(GasTable, TryGetGas_IDReportsAbsenceByItsResult) {
    TGasItem gas = Gas(1);
    EXPECT_FALSE(TryGetGas_ID(999, gas));
    EXPECT_EQ(gas.NameShort, "Undefined");
    EXPECT_FALSE(TryGetGas_ID(-1, gas));
    EXPECT_EQ(gas.NameShort, "Undefined");
    EXPECT_TRUE(TryGetGas_ID(8, gas));
    EXPECT_EQ(gas.NameShort, "N2");
}

TEST_F(GasTable, GetGasByShortNameIsExactAndCaseSensitive) {
    TGasItem gas;
    EXPECT_TRUE(GetGasByShortName("R-143a", gas));
    EXPECT_EQ(gas.AlicatID, 108);
    gas = Gas(1);
    EXPECT_FALSE(GetGasByShortName("r-143a", gas));
    EXPECT_FALSE(GetGasByShortName("R-143", gas));
    EXPECT_EQ(gas.NameShort, "Ar") << "untouched";
}

TEST_F(GasTable, LookupsKeepTheMassFlowAndFractionsOfTheDestination) {
    TGasItem gas;
    gas.MassFlow_gmin = 3;
    gas.MassFraction = 0.25;
    gas.FluidPartialPressure = 0.5;
    gas.ComponentsNormalized = true;
    ASSERT_TRUE(TryGetGas_ID(0, gas));
    EXPECT_EQ(gas.MassFlow_gmin, 3);
    EXPECT_EQ(gas.MassFraction, 0.25);
    EXPECT_EQ(gas.FluidPartialPressure, 0.5);
    EXPECT_FALSE(gas.ComponentsNormalized) << "taken from the source";
    EXPECT_EQ(gas.Components[0].MassFlow_gmin, 0);
}

TEST(GasItem, InitKeepsFlowsFractionsAndTheNormalizedMark) {
    TGasItem item;
    item.MassFlow_gmin = 2;
    item.MassFraction = 0.5;
    item.FluidPartialPressure = 0.25;
    item.ComponentsNormalized = true;
    item.Components.resize(2);
    item.Init();
    EXPECT_EQ(item.NameShort, "Undefined");
    EXPECT_EQ(item._NameLong, "Undefined");
    EXPECT_EQ(item.AlicatID, -1);
    EXPECT_EQ(item.PartialPressure, 1.0);
    EXPECT_TRUE(item._CorrosiveFlag);
    EXPECT_TRUE(item.Components.empty());
    EXPECT_EQ(item.MassFlow_gmin, 2);
    EXPECT_EQ(item.MassFraction, 0.5);
    EXPECT_EQ(item.FluidPartialPressure, 0.25);
    EXPECT_TRUE(item.ComponentsNormalized);
}

TEST(GasItem, CloneCopiesMassFlowsOnlyWhenAskedAtEveryDepth) {
    TGasItem source;
    source.Init();
    source.NameShort = "Mix";
    source.MassFlow_gmin = 5;
    source.MassFraction = 0.5;
    source.Components.resize(1);
    source.Components[0].Init();
    source.Components[0].MassFlow_gmin = 7;
    source.Components[0].MassFraction = 0.75;

    TGasItem with;
    source.Clone(true, with);
    EXPECT_EQ(with.MassFlow_gmin, 5);
    EXPECT_EQ(with.Components[0].MassFlow_gmin, 7);
    EXPECT_EQ(with.Components[0].MassFraction, 0) << "never copied";

    TGasItem without;
    without.MassFlow_gmin = 1;
    source.Clone(false, without);
    EXPECT_EQ(without.MassFlow_gmin, 1);
    EXPECT_EQ(without.Components[0].MassFlow_gmin, 0);
    EXPECT_EQ(without.MassFraction, 0);
}

// The destination may overlap the source: a record replaced by one of its own components.
TEST(GasItem, CloneIntoARecordThatHoldsTheSource) {
    EnsureGasList();
    TGasItem mixture = Gas(301);
    mixture.Components[1].Clone(false, mixture);
    EXPECT_EQ(mixture.GetNameLong(), "25%Argon, 75%10%Argon, 90%Helium");
    EXPECT_EQ(mixture.Components.size(), 2u);
    mixture.Clone(true, mixture);
    EXPECT_EQ(mixture.Components.size(), 2u);
}

TEST(GasTableBuilding, SendsTheListingAndTheArgonSelfTest) {
    DiagnosticCapture capture("UnitGas");
    BuildGasList();
    const std::vector<std::string>& lines = capture.lines;
    ASSERT_EQ(lines.size(), 1u + 133u + 4u);
    EXPECT_EQ(lines.front(), "Initialization");
    EXPECT_EQ(lines[1], "Ar Components:0 Elemental");
    EXPECT_EQ(lines[1 + 52], "Air Components:2 Elemental") << "stock mixtures are kept as defined";
    EXPECT_EQ(lines[1 + 131], "XTMC_DesignTime Components:2 Elemental");
    EXPECT_EQ(lines[1 + 132], "XTMC_Normalized Components:2 Normalized mixture");
    EXPECT_EQ(lines[134], "Testing");

    const auto numberAfter = [](const std::string& line, const std::string& prefix) {
        EXPECT_THAT(line, StartsWith(prefix));
        return std::strtod(line.c_str() + prefix.size(), nullptr);
    };
    EXPECT_NEAR(numberAfter(lines[135], "Ar g/mln = "), 0.00178237, 1e-8);
    EXPECT_NEAR(numberAfter(lines[136], "0.5 g of Ar in mln = "), 280.5253, 1e-3);
    EXPECT_NEAR(numberAfter(lines[137], "280.6 mln of Ar in g = "), 0.500134, 1e-6);
    EXPECT_EQ(GasList().size(), 133u) << "a second build replaces the table";
}

TEST(GasTableBuilding, AMixtureWithAnUnknownComponentIsLeftOut) {
    std::vector<TGasItem> table(1);
    table[0].Init();
    table[0].NameShort = "Ar";
    const TMixtureShare shares[] = {{"Ar", 0.5}, {"Xx", 0.5}};
    DiagnosticCapture capture("UnitGas");
    EXPECT_FALSE(AppendMixture(table, 42, "Bad", "", shares));
    EXPECT_EQ(table.size(), 1u);
    EXPECT_THAT(capture.lines, ElementsAre("Making mixture failed:42"));

    const TMixtureShare known[] = {{"Ar", 1.0}};
    EXPECT_TRUE(AppendMixture(table, 43, "Good", "", known));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].GetNameLong(), "100%Undefined");
}

}  // namespace
}  // namespace tessaro
