#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "GasTestSupport.h"
#include "gases/GasMixtures.h"

namespace tessaro {
namespace {

using ::testing::ElementsAre;

// The reports of a recipe as the mixture tab makes it: 1 g/min of Air, 10 mg/min of water
// and a trace of krypton; the flat mixture holds O2, N2, H2O and Kr. Expected texts write
// the decimal separator as '~'.
class MixtureReports : public ::testing::TestWithParam<char> {
protected:
    static void SetUpTestSuite() { EnsureGasList(); }

    void SetUp() override {
        TGasItem air = GasWithFlow(0, 1);
        PopulateComponentMasses(air);
        TGasItem water = GasWithFlow(1001, 0.01);
        PopulateComponentMasses(water);
        recipe.Init();
        recipe.NameShort = "Humid air";
        recipe.Components = {air, water, GasWithFlow(17, 0.000002)};

        recipe.Clone(false, flat);
        flat.Components.clear();
        FlattenComponents(recipe, flat);
        ASSERT_TRUE(MixtureFromComponentMasses(flat));
    }

    std::string Expected(std::string text) const {
        for (char& c : text)
            if (c == '~') c = GetParam();
        return text;
    }

    TGasItem recipe;
    TGasItem flat;
    const TVecArr conditions{{0, 1.01325}, {21, 1.01325}, {25, 1.01325}, {25, 2.01325}, {150, 1.01325}};
};

INSTANTIATE_TEST_SUITE_P(Separators, MixtureReports, ::testing::Values('.', ','));

TEST_P(MixtureReports, Inputs) {
    EXPECT_EQ(InputsReport(recipe, GetParam()), Expected("  Inputs:\r\n"
                                                         "    Air           1~000 000 g/min\r\n"
                                                         "    H2O           0~010 000 g/min\r\n"
                                                         "    Kr            0~000 002 g/min\r\n"));
}

TEST_P(MixtureReports, ComponentFlows) {
    EXPECT_EQ(ComponentFlowsReport(recipe, "  Components:\r\n", GetParam()),
              Expected("  Components:\r\n"
                       "    O2            0~232 909 g/min\r\n"
                       "    N2            0~767 091 g/min\r\n"
                       "    H2O           0~010 000 g/min\r\n"
                       "    Kr            0~000 002 g/min\r\n"));
}

// The lines go onto the text handed in, which is handed back: a recipe of many thousand
// lines is reported without copying its text once per gas.
TEST_P(MixtureReports, ComponentFlowsAppendToTheTextHandedIn) {
    std::string accumulated = "  Components:\r\n";
    accumulated.reserve(4096);
    const char* buffer = accumulated.data();
    const std::string report = ComponentFlowsReport(recipe, std::move(accumulated), GetParam());
    EXPECT_EQ(report.data(), buffer);
    EXPECT_EQ(report.size(), 15u + 4 * 35);
}

// Below 1 ppm the number is cut to the column's 12 characters, losing its leading zero.
TEST_P(MixtureReports, PartialPressures) {
    EXPECT_EQ(PartialPressuresReport(flat, GetParam()), Expected("    O2                206 690 ppm\r\n"
                                                                 "    N2                777 547 ppm\r\n"
                                                                 "    H2O                15 762 ppm\r\n"
                                                                 "    Kr               ~677 722 ppm\r\n"));
}

TEST_P(MixtureReports, VolumetricFlows) {
    EXPECT_EQ(VolumetricFlowsTable(flat, conditions, GetParam()),
              Expected("   ºC     BarA         O2        N2       H2O        Kr       Tot\r\n"
                       "    0  1~01325      163~1     613~7      12~4       0~0     789~3\r\n"
                       "   21  1~01325      175~7     660~9      13~4       0~0     850~0\r\n"
                       "   25  1~01325      178~1     669~9      13~6       0~0     861~6\r\n"
                       "   25  2~01325       89~6     337~2       6~8       0~0     433~6\r\n"
                       "  150  1~01325      252~7     950~8      19~3       0~0    1222~8\r\n"));
}

TEST_P(MixtureReports, Humidity) {
    EXPECT_EQ(HumidityTable(flat, conditions, GetParam()),
              Expected("    ºC      BarA  Max ppm/100%RH  Current ppm     RH %\r\n"
                       "     0   1~01325           6 033       15 762  261~272  \r\n"
                       "    21   1~01325          24 557       15 762   64~188  \r\n"
                       "    25   1~01325          31 285       15 762   50~383  \r\n"
                       "    25   2~01325          15 745       15 762  100~108  \r\n"
                       "   150   1~01325       4 689 580       15 762    0~336  \r\n"));
}

TEST_P(MixtureReports, Details) {
    EXPECT_EQ(MixtureDetails(flat, GetParam()), Expected("             Molar mass        Mass     Partial\r\n"
                                                         "Components   g/mol         fraction    pressure\r\n"
                                                         "        O2   31~998 000   0~230 603   0~206 690  \r\n"
                                                         "        N2   28~014 000   0~759 494   0~777 547  \r\n"
                                                         "       H2O   18~014 880   0~009 901   0~015 762  \r\n"
                                                         "        Kr   83~798 000   0~000 002   0~000 001  \r\n"
                                                         "\r\n"
                                                         "      Flow   Unit      Temperature     Pressure\r\n"
                                                         "     789~5   mln/min           0ºC    1.013 bar\r\n"
                                                         "     861~8   ml/min           25ºC    1.013 bar\r\n"
                                                         "    1223~1   ml/min          150ºC    1.013 bar\r\n"
                                                         " 1~010 002   g/min\r\n"
                                                         " 0~035 216   mol/min\r\n"));
}

// Molar masses of 100 g/mol and more keep their first digit; the columns stay in place.
TEST_P(MixtureReports, DetailsOfHeavyGases) {
    TGasItem heavy;
    heavy.Init();
    heavy.Components = {GasWithFlow(113, 2.00028), GasWithFlow(18, 1.3129)};
    ASSERT_TRUE(MixtureFromComponentMasses(heavy));
    EXPECT_EQ(MixtureDetails(heavy, GetParam()), Expected("             Molar mass        Mass     Partial\r\n"
                                                          "Components   g/mol         fraction    pressure\r\n"
                                                          "     R-318  200~028 000   0~603 734   0~500 000  \r\n"
                                                          "        Xe  131~290 000   0~396 266   0~500 000  \r\n"
                                                          "\r\n"
                                                          "      Flow   Unit      Temperature     Pressure\r\n"
                                                          "     448~4   mln/min           0ºC    1.013 bar\r\n"
                                                          "     489~4   ml/min           25ºC    1.013 bar\r\n"
                                                          "     694~6   ml/min          150ºC    1.013 bar\r\n"
                                                          " 3~313 180   g/min\r\n"
                                                          " 0~020 000   mol/min\r\n"));
}

TEST_P(MixtureReports, DetailsRefuseAMixtureAsDefined) {
    DiagnosticCapture capture("UnitGas");
    EXPECT_EQ(MixtureDetails(recipe, GetParam()), "");
    EXPECT_THAT(capture.lines, ElementsAre("MixtureDetails function cannot be called with design-time mixture."));
}

TEST_P(MixtureReports, TablesMarkWhatHasNoVolumeAndSkipConditionsWithoutAGasState) {
    TGasItem unknown;
    unknown.Init();
    unknown.NameShort = "X";
    flat.Components.push_back(unknown);
    const TVecArr some{{20, 1}, {20, 0}, {20, -1}, {-300, 1}};
    EXPECT_EQ(VolumetricFlowsTable(flat, some, GetParam()),
              Expected("   ºC     BarA         O2        N2       H2O        Kr         X       Tot\r\n"
                       "   20        1      177~4     667~4      13~5       0~0       Err     858~4\r\n"
                       "   20        0        Err       Err       Err       Err       Err       Err\r\n"
                       "   20       -1        Err       Err       Err       Err       Err       Err\r\n"
                       " -300        1        Err       Err       Err       Err       Err       Err\r\n"));
    EXPECT_EQ(HumidityTable(flat, some, GetParam()),
              Expected("    ºC      BarA  Max ppm/100%RH  Current ppm     RH %\r\n"
                       "    20         1          23 393       15 762   67~380  \r\n"));
}

}  // namespace
}  // namespace tessaro
