#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GasTestSupport.h"
#include "MessageCapture.h"
#include "gases/GasMixtures.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MixtureCalculations : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGasList(); }

    static TGasItem Normalized(const TGasItem& source) {
        TGasItem result;
        NormalizeMixture(source, result);
        return result;
    }
    static std::vector<std::string> ShortNames(const TGasItem& item) {
        std::vector<std::string> names;
        for (const TGasItem& c : item.Components) names.push_back(c.NameShort);
        return names;
    }
    // A pure record without molar mass.
    static TGasItem Massless() {
        TGasItem item;
        item.Init();
        return item;
    }
};

TEST_F(MixtureCalculations, MolarMassByKindOfRecord) {
    EXPECT_EQ(Gas(1).GetMolarMass(), 39.95);
    EXPECT_EQ(Gas(0).GetMolarMass(), 1.0) << "a stock mixture as defined";
    EXPECT_NEAR(Normalized(Gas(0)).GetMolarMass(), 0.21 * 31.998 + 0.79 * 28.014, 1e-12);
    EXPECT_NEAR(Normalized(Gas(0)).GetMolarMass(), 28.85064, 1e-9);
}

// Flow units take the molar mass of what flows: a stock mixture weighs as its composition,
// never as the placeholder 1.0 of its table entry.
TEST_F(MixtureCalculations, FlowMolarMassOfPureGasesAndMixtures) {
    EXPECT_EQ(FlowMolarMass(Gas(1)), 39.95);
    EXPECT_EQ(FlowMolarMass(Gas(1001)), 18.01488);
    EXPECT_NEAR(FlowMolarMass(Gas(0)), 28.85064, 1e-9);
    EXPECT_NEAR(FlowMolarMass(Normalized(Gas(0))), 28.85064, 1e-9);
    EXPECT_NEAR(FlowMolarMass(Gas(301)), 0.6625 * 39.95 + 0.3375 * 4.0026, 1e-12);
    EXPECT_NEAR(FlowMolarMass(Gas(116)), 0.5 * 52.02288 + 0.5 * 120.01994, 1e-12);
    EXPECT_EQ(Gas(0).GetMolarMass(), 1.0) << "the table entry itself is left as it is";
}

TEST_F(MixtureCalculations, MassFlowOfAirFromAVolumetricFlow) {
    TGasFlowDetails millilitres;
    millilitres.Name = "ml/min";
    millilitres.GasFlowType = gfuVolumetric;
    millilitres.GasFlowVolumeUnit = gfvuML;
    millilitres.GasFlowTimeUnit = gfMinute;
    millilitres.Temperature = StandardTemperature_K - KelvinOffset;
    millilitres.TemperatureUnit = tuC;
    millilitres.Pressure_BarA = StandardPressure_BarA;
    millilitres.GasFlowValue = 500;
    millilitres.GasMolarMass = FlowMolarMass(Gas(0));
    TGasFlowDetails grams = FlowUnitGrams();
    std::string errors, trace;
    ASSERT_TRUE(GasFlowConversion(millilitres, grams, errors, trace)) << errors;
    // 500 ml at 25 ºC and 1.01325 bar are 0.020437 mol
    const double moles = 0.5 * StandardPressure_BarA / (MolarGasConstant * StandardTemperature_K);
    EXPECT_NEAR(grams.GasFlowValue, moles * 28.85064, 1e-9);
    EXPECT_NEAR(grams.GasFlowValue, 0.5896, 1e-4);
}

TEST_F(MixtureCalculations, NormalizingTheNestedTestMixture) {
    const TGasItem mixture = Normalized(Gas(301));
    EXPECT_EQ(mixture.NameShort, "XTMC_DesignTime");
    EXPECT_EQ(mixture.GasType(), TGasType::tMixture);
    ASSERT_THAT(ShortNames(mixture), ElementsAre("Ar", "He"));
    const TGasItem& argon = mixture.Components[0];
    const TGasItem& helium = mixture.Components[1];
    EXPECT_DOUBLE_EQ(argon.PartialPressure, 0.5 + 0.5 * 0.25 + 0.5 * 0.75 * 0.1);
    EXPECT_DOUBLE_EQ(helium.PartialPressure, 0.3375);
    EXPECT_NEAR(argon.MassFraction, 0.951438, 1e-6);
    EXPECT_DOUBLE_EQ(argon.MassFraction + helium.MassFraction, 1.0);
    EXPECT_DOUBLE_EQ(mixture.GetMolarMass(), 0.6625 * 39.95 + 0.3375 * 4.0026);
}

TEST_F(MixtureCalculations, NormalizingInPlaceGivesTheSameResult) {
    TGasItem mixture = Gas(301);
    NormalizeMixture(mixture, mixture);
    const TGasItem reference = Normalized(Gas(301));
    ASSERT_EQ(mixture.Components.size(), 2u);
    EXPECT_EQ(mixture.Components[0].PartialPressure, reference.Components[0].PartialPressure);
    EXPECT_EQ(mixture.Components[1].MassFraction, reference.Components[1].MassFraction);
}

TEST_F(MixtureCalculations, NormalizingMergesRepeatedGasesSortedByGasNumber) {
    TGasItem mixture;
    mixture.Init();
    mixture.MassFlow_gmin = 9;
    mixture.Components = {GasWithFlow(7, 0.5), GasWithFlow(1, 1), GasWithFlow(1, 2)};
    mixture.Components[0].PartialPressure = 0.4;
    mixture.Components[1].PartialPressure = 0.3;
    mixture.Components[2].PartialPressure = 0.3;

    const TGasItem result = Normalized(mixture);
    ASSERT_THAT(ShortNames(result), ElementsAre("Ar", "He"));
    EXPECT_DOUBLE_EQ(result.Components[0].PartialPressure, 0.6);
    EXPECT_EQ(result.Components[0].MassFlow_gmin, 3);
    EXPECT_EQ(result.Components[1].MassFlow_gmin, 0.5);
    EXPECT_EQ(result.MassFlow_gmin, 9);
}

TEST_F(MixtureCalculations, NormalizingAPureGasGivesItsCloneWithMassFlow) {
    const TGasItem result = Normalized(GasWithFlow(1, 2.5));
    EXPECT_EQ(result.NameShort, "Ar");
    EXPECT_EQ(result.MassFlow_gmin, 2.5);
    EXPECT_FALSE(result.ComponentsNormalized);
    EXPECT_EQ(result.GasType(), TGasType::tElemental);
}

TEST_F(MixtureCalculations, ScalingGivesEveryLeafItsShareOfTheWhole) {
    TGasItem mixture = Gas(301);
    ScalePartialPressures(mixture, 2);
    EXPECT_EQ(mixture.PartialPressure, 2);
    EXPECT_EQ(mixture.Components[0].PartialPressure, 1.0);
    const TGasItem& innermost = mixture.Components[1].Components[1];
    EXPECT_DOUBLE_EQ(innermost.Components[1].PartialPressure, 2 * 0.5 * 0.75 * 0.9);
}

TEST_F(MixtureCalculations, VolumesPerGramOfArgon) {
    const TGasItem argon = Gas(1);
    EXPECT_NEAR(argon.mlnPerGram(), 561.0506, 1e-4);
    EXPECT_NEAR(argon.GramPermln(), 0.00178237, 1e-8);
    EXPECT_DOUBLE_EQ(argon.MolesPerGram(), 1 / 39.95);
}

TEST_F(MixtureCalculations, MolesPerGramRaisesWithoutMolarMass) {
    const TGasItem item = Massless();
    try {
        item.MolesPerGram();
        FAIL() << "no error raised";
    } catch (const GasError& error) {
        EXPECT_STREQ(error.what(), "Moles per gram pre-work division by zero for: Undefined tElemental");
    }
    EXPECT_THROW(item.mlnPerGram(), GasError);
    EXPECT_THROW(item.GramPermln(), GasError);
}

TEST_F(MixtureCalculations, PopulatingSplitsTheMassFlowOfAir) {
    TGasItem air = Gas(0);
    air.MassFlow_gmin = 1;
    ASSERT_TRUE(PopulateComponentMasses(air));
    EXPECT_NEAR(air.Components[0].MassFlow_gmin, 0.232909, 1e-6);
    EXPECT_NEAR(air.Components[1].MassFlow_gmin, 0.767091, 1e-6);
    EXPECT_DOUBLE_EQ(air.Components[0].MassFraction, 0.21 * 31.998 / 28.85064);
}

TEST_F(MixtureCalculations, PopulatingWithoutFlowOrComponents) {
    TGasItem air = Gas(0);
    air.Components[0].MassFlow_gmin = 4;
    ASSERT_TRUE(PopulateComponentMasses(air));
    EXPECT_EQ(air.Components[0].MassFlow_gmin, 0);

    TGasItem argon = GasWithFlow(1, 2);
    argon.PartialPressure = 0.5;
    ASSERT_TRUE(PopulateComponentMasses(argon));
    EXPECT_EQ(argon.PartialPressure, 1);
    EXPECT_EQ(argon.MassFraction, 1);
}

TEST_F(MixtureCalculations, PopulatingFailsAndChangesNothingWithoutMolarMassOrShares) {
    TGasItem mixture = Gas(0);
    mixture.MassFlow_gmin = 1;
    mixture.Components.push_back(Massless());
    EXPECT_FALSE(PopulateComponentMasses(mixture));
    EXPECT_EQ(mixture.Components[0].MassFlow_gmin, 0);
    EXPECT_EQ(mixture.Components[0].MassFraction, 0);

    TGasItem noShares = Gas(0);
    noShares.MassFlow_gmin = 1;
    for (TGasItem& component : noShares.Components) component.PartialPressure = 0;
    EXPECT_FALSE(PopulateComponentMasses(noShares));
}

TEST_F(MixtureCalculations, MixtureFromComponentMassesFindsTheWaterShare) {
    TGasItem mixture;
    mixture.Init();
    mixture.Components = {GasWithFlow(8, 1), GasWithFlow(1001, 0.01)};
    ASSERT_TRUE(MixtureFromComponentMasses(mixture));
    EXPECT_NEAR(mixture.FluidPartialPressure, 0.015312, 1e-6);
    EXPECT_EQ(mixture.FluidPartialPressure, mixture.Components[1].PartialPressure);
    EXPECT_DOUBLE_EQ(mixture.Components[0].MassFraction, 1 / 1.01);
    EXPECT_DOUBLE_EQ(mixture.MassFlow_gmin, 1.01);
    EXPECT_TRUE(mixture.ComponentsNormalized);
    EXPECT_TRUE(mixture.GetHasFluid());
}

TEST_F(MixtureCalculations, MixtureFromComponentMassesKeepsRepeatedGasesApart) {
    TGasItem mixture;
    mixture.Init();
    mixture.Components = {GasWithFlow(1, 1), GasWithFlow(1, 1)};
    ASSERT_TRUE(MixtureFromComponentMasses(mixture));
    EXPECT_THAT(ShortNames(mixture), ElementsAre("Ar", "Ar"));
    EXPECT_EQ(mixture.Components[0].PartialPressure, 0.5);
    EXPECT_FALSE(mixture.GetHasFluid());
}

TEST_F(MixtureCalculations, MixtureFromComponentMassesFailsAndChangesNothing) {
    const struct {
        const char* what;
        std::vector<TGasItem> components;
    } cases[] = {
        {"no flows", {GasWithFlow(8, 0), GasWithFlow(1, 0)}},
        {"no components", {}},
        {"component without molar mass", {GasWithFlow(8, 1), Massless()}},
        {"flows cancelling to no mass", {GasWithFlow(8, 1), GasWithFlow(1, -1)}},
    };
    for (const auto& c : cases) {
        TGasItem mixture;
        mixture.Init();
        mixture.MassFlow_gmin = 7;
        mixture.Components = c.components;
        EXPECT_FALSE(MixtureFromComponentMasses(mixture)) << c.what;
        EXPECT_FALSE(mixture.ComponentsNormalized) << c.what;
        EXPECT_EQ(mixture.MassFlow_gmin, 7) << c.what;
    }
}

TEST_F(MixtureCalculations, FlattenKeepsThePureComponentsOfTheFirstTwoLevels) {
    TGasItem target;
    target.Init();
    target.Components = {Gas(7)};
    FlattenComponents(Gas(301), target);
    ASSERT_THAT(ShortNames(target), ElementsAre("He", "Ar", "Ar"));
    EXPECT_EQ(target.Components[1].PartialPressure, 0.5);
    EXPECT_EQ(target.Components[2].PartialPressure, 0.25);

    TGasItem self = Gas(0);
    FlattenComponents(self, self);
    EXPECT_THAT(ShortNames(self), ElementsAre("O2", "N2", "O2", "N2"));

    // A source that is no longer needed gives the same, its components taken over.
    TGasItem moved;
    moved.Init();
    moved.Components = {Gas(7)};
    TGasItem source = Gas(301);
    FlattenComponents(std::move(source), moved);
    EXPECT_THAT(ShortNames(moved), ElementsAre("He", "Ar", "Ar"));
    EXPECT_EQ(moved.Components[2].PartialPressure, 0.25);
    EXPECT_TRUE(source.Components.empty());
}

TEST_F(MixtureCalculations, HasFluidOnlyAnswersForANormalizedMixture) {
    MessageCapture messages;
    EXPECT_FALSE(Gas(1001).GetHasFluid());
    EXPECT_THAT(messages.messages, ElementsAre("GasHasFluid on nonflat mixture"));

    messages.messages.clear();
    EXPECT_FALSE(Normalized(Gas(0)).GetHasFluid());
    EXPECT_THAT(messages.messages, IsEmpty());
}

TEST(WaterSaturation, OverWaterAboveZeroAndOverIceAtOrBelow) {
    EXPECT_NEAR(WaterSaturationPressure(25), 31.70, 0.005);
    EXPECT_NEAR(WaterSaturationPressure(0), 6.113, 0.0005);
    EXPECT_NEAR(WaterSaturationPressure(0.001), 6.11, 0.01) << "the two branches meet near 0 ºC";
    EXPECT_NEAR(WaterSaturationPressure(100), 1013.25, 2);
}

TEST(IdealGasVolume, MillilitresOfOneMole) {
    EXPECT_NEAR(VolumeMlFromMoles(1, 0, 1.01325), 22414, 0.5);
    EXPECT_DOUBLE_EQ(VolumeMlFromMoles(2, 25, 2), 0.0831446261815324 * 298.15 * 1000);
    EXPECT_EQ(VolumeMlFromMoles(1, 25, 0), -1);
    EXPECT_EQ(VolumeMlFromMoles(1, 25, -1), -1);
}

}  // namespace
}  // namespace tessaro
