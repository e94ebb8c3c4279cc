#include "units/GasFlowUnitConversions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "text/Messages.h"

namespace tessaro {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

TGasFlowDetails Grams(double value, double molarMass, TGasFlowTimeUnit time = gfMinute) {
    TGasFlowDetails unit = FlowUnitGrams().Clone();
    unit.GasFlowValue = value;
    unit.GasMolarMass = molarMass;
    unit.GasFlowTimeUnit = time;
    return unit;
}

TGasFlowDetails Volumetric(double value, TGasFlowVolumeUnit volume, TGasFlowTimeUnit time, double temperature,
                           TTemperatureUnit temperatureUnit, double pressure, double molarMass = 28.9647) {
    TGasFlowDetails unit = FlowUnitMlnAir().Clone();
    unit.GasFlowValue = value;
    unit.GasFlowVolumeUnit = volume;
    unit.GasFlowTimeUnit = time;
    unit.Temperature = temperature;
    unit.TemperatureUnit = temperatureUnit;
    unit.Pressure_BarA = pressure;
    unit.GasMolarMass = molarMass;
    return unit;
}

TGasFlowDetails MlnAir(double value) {
    TGasFlowDetails unit = FlowUnitMlnAir().Clone();
    unit.GasFlowValue = value;
    return unit;
}

TGasFlowDetails MlnAirIn(TGasFlowVolumeUnit volume) { return Volumetric(0, volume, gfMinute, 25, tuC, 1.01325); }

// 1 g of air (28.9647 g/mol) takes 844.66 ml at 25 ºC and 1.01325 bar.
constexpr double MlPerGramOfAir = 844.6627687163417;

struct ConversionCase {
    const char* what;
    TGasFlowDetails from;
    TGasFlowDetails to;
    double expected;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.what; }

class ConversionResult : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionResult, GivesTheExpectedFlowAndCarriesTheSourceMolarMass) {
    const ConversionCase& c = GetParam();
    TGasFlowDetails to = c.to;
    to.GasMolarMass = 99;  // the source's molar mass must replace it
    std::string errors = "stale";
    std::string feedback = "stale";

    ASSERT_TRUE(GasFlowConversion(c.from, to, errors, feedback)) << feedback;

    EXPECT_NEAR(to.GasFlowValue, c.expected, std::abs(c.expected) * 1e-12);
    EXPECT_EQ(to.GasMolarMass, c.from.GasMolarMass);
    EXPECT_EQ(errors, "");
    EXPECT_THAT(feedback, Not(HasSubstr("stale")));
    TGasFlowDetails unchangedApartFromResult = to;
    unchangedApartFromResult.GasFlowValue = c.to.GasFlowValue;
    unchangedApartFromResult.GasMolarMass = c.to.GasMolarMass;
    EXPECT_EQ(unchangedApartFromResult, c.to);
}

INSTANTIATE_TEST_SUITE_P(
    GasFlowConversion, ConversionResult,
    ::testing::Values(ConversionCase{"one gram of air per minute", Grams(1, 28.9647), MlnAir(0), MlPerGramOfAir},
                      ConversionCase{"100 ml/min of air to grams", MlnAir(100), Grams(0, 1), 0.11839044374120204},
                      ConversionCase{"ml/min to g/h multiplies by 60 once", MlnAir(100), Grams(0, 1, gftHour),
                                     0.11839044374120204 * 60},
                      ConversionCase{"g/h to mln/s", Grams(3600, 28.9647, gftHour),
                                     Volumetric(0, gfvuMLN, gftSecond, 25, tuC, 1.01325), MlPerGramOfAir},
                      ConversionCase{"litres", Grams(1, 28.9647), MlnAirIn(gfvuL), MlPerGramOfAir / 1000},
                      ConversionCase{"cc", Grams(1, 28.9647), MlnAirIn(gfvuCC), MlPerGramOfAir},
                      ConversionCase{"scc", Grams(1, 28.9647), MlnAirIn(gfvuSCC), MlPerGramOfAir},
                      ConversionCase{"ml", Grams(1, 28.9647), MlnAirIn(gfvuML), MlPerGramOfAir},
                      ConversionCase{"mln", Grams(1, 28.9647), MlnAirIn(gfvuMLN), MlPerGramOfAir},
                      ConversionCase{"microlitres", Grams(1, 28.9647), MlnAirIn(gfvuµL), MlPerGramOfAir * 1000},
                      ConversionCase{"double the pressure halves the volume", Grams(1, 28.9647),
                                     Volumetric(0, gfvuMLN, gfMinute, 25, tuC, 2.0265), MlPerGramOfAir / 2},
                      ConversionCase{"a target in kelvin", Grams(1, 28.9647),
                                     Volumetric(0, gfvuMLN, gfMinute, 298.15, tuK, 1.01325), MlPerGramOfAir},
                      ConversionCase{"a target in fahrenheit", Grams(1, 28.9647),
                                     Volumetric(0, gfvuMLN, gfMinute, 77, tuF, 1.01325), MlPerGramOfAir},
                      ConversionCase{"a source in kelvin",
                                     Volumetric(MlPerGramOfAir, gfvuML, gfMinute, 298.15, tuK, 1.01325), Grams(0, 1),
                                     1},
                      ConversionCase{"identical mass units", Grams(0.75, 44.0095), Grams(0, 1), 0.75},
                      ConversionCase{"identical volumetric units", MlnAir(123.456), MlnAir(0), 123.456},
                      ConversionCase{"identical odd volumetric units",
                                     Volumetric(7.5, gfvuµL, gftDay, -20, tuC, 3.5, 4.0026),
                                     Volumetric(0, gfvuµL, gftDay, -20, tuC, 3.5), 7.5},
                      ConversionCase{"identical units in fahrenheit", Volumetric(2.25, gfvuL, gftSecond, 50, tuF, 0.5),
                                     Volumetric(0, gfvuL, gftSecond, 50, tuF, 0.5), 2.25}));

TEST(GasFlowConversion, ConvertsARecordIntoItself) {
    TGasFlowDetails unit = MlnAir(42);
    std::string errors, feedback;
    ASSERT_TRUE(GasFlowConversion(unit, unit, errors, feedback));
    EXPECT_NEAR(unit.GasFlowValue, 42, 1e-12);
}

TEST(GasFlowConversion, TracesTheWholeComputation) {
    TGasFlowDetails to = MlnAir(0);
    to.Name = "ml/h";
    to.GasFlowTimeUnit = gftHour;
    to.Temperature = 0;
    std::string errors, feedback;

    ASSERT_TRUE(GasFlowConversion(MlnAir(100), to, errors, feedback));

    EXPECT_EQ(feedback,
              "       Volume: 100\r\n"
              "Gas from details: \r\n"
              "            Unit: ml/min\r\n"
              "       Time unit: minute\r\n"
              "       Volume: 100\r\n"
              "       Volume, L: 0.1\r\n"
              "  Pressure, barA: 1.01325\r\n"
              "  Temperature, K: 298.15\r\n"
              "      Molar mass: 28.9647\r\n"
              "         Mass, g: 0.118390443741202\r\n"
              "           Moles: 0.0040874044523576\r\n"
              "\r\n"
              "  Gas to details: \r\n"
              "            Unit: ml/h\r\n"
              "       Time unit: hour\r\n"
              "      Molar mass: 28.9647\r\n"
              "         Mass, g: 7.10342662447212\r\n"
              "           Moles: 0.245244267141456\r\n"
              "Continuing to volumetrics\r\n"
              "  Pressure, barA: 1.01325\r\n"
              " Temperature, ºC: 0\r\n"
              " Temperature, ºK: 273.15\r\n"
              "       Volume, L: 5.49689753479792\r\n"
              "          Volume: 5496.89753479792 ml/h\r\n");
}

TEST(GasFlowConversion, WritesNumbersInTheTraceWithTheGivenSeparator) {
    TGasFlowDetails to = MlnAir(0);
    std::string errors, feedback;
    ASSERT_TRUE(GasFlowConversion(MlnAir(12.5), to, errors, feedback, ','));
    EXPECT_THAT(feedback, HasSubstr("       Volume: 12,5\r\n"));
    EXPECT_THAT(feedback, HasSubstr("  Pressure, barA: 1,01325\r\n"));
    EXPECT_THAT(feedback, HasSubstr("          Volume: 12,5 ml/min\r\n"));
}

struct FailureCase {
    const char* what;
    TGasFlowDetails from;
    TGasFlowDetails to;
    std::string errors;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.what; }

class ConversionFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConversionFailure, ListsEveryProblemAndLeavesTheTargetAlone) {
    const FailureCase& c = GetParam();
    TGasFlowDetails to = c.to;
    to.GasFlowValue = 17;
    to.GasMolarMass = 3;
    std::string errors, feedback;

    EXPECT_FALSE(GasFlowConversion(c.from, to, errors, feedback));

    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(to.GasFlowValue, 17);
    EXPECT_EQ(to.GasMolarMass, 3);
}

TGasFlowDetails WithTime(TGasFlowDetails unit, TGasFlowTimeUnit time) {
    unit.GasFlowTimeUnit = time;
    return unit;
}

INSTANTIATE_TEST_SUITE_P(
    GasFlowConversion, ConversionFailure,
    ::testing::Values(
        FailureCase{"target time unit undefined", MlnAir(1), WithTime(MlnAir(0), gftUndefined),
                    "To GasFlowTimeUnit is Undefined\r\n"},
        FailureCase{"two fresh records", TGasFlowDetails{}, TGasFlowDetails{},
                    "From GasFlowType is Undefined\r\n"
                    "From GasFlowTimeUnit is Undefined\r\n"
                    "To GasFlowType is Undefined\r\n"
                    "To GasFlowTimeUnit is Undefined\r\n"},
        FailureCase{"volumetric units without temperature and volume units",
                    Volumetric(1, gfvuUndefined, gfMinute, 25, tuUndefined, 1),
                    Volumetric(0, gfvuUndefined, gftUndefined, 25, tuUndefined, 1),
                    "From TemperatureUnit is Undefined\r\n"
                    "From GasFlowVolumeUnit is Undefined\r\n"
                    "To GasFlowTimeUnit is Undefined\r\n"
                    "To TemperatureUnit is Undefined\r\n"
                    "To GasFlowVolumeUnit is Undefined\r\n"},
        FailureCase{"a mass unit needs no temperature or volume unit", WithTime(Grams(1, 2), gftUndefined), Grams(0, 1),
                    "From GasFlowTimeUnit is Undefined\r\n"},
        FailureCase{"source at absolute zero", Volumetric(1, gfvuML, gfMinute, -273.15, tuC, 1.01325), Grams(0, 1),
                    "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"},
        FailureCase{"source at zero kelvin", Volumetric(1, gfvuML, gfMinute, 0, tuK, 1), Grams(0, 1),
                    "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"},
        FailureCase{"source below absolute zero", Volumetric(1, gfvuML, gfMinute, -500, tuF, 1), Grams(0, 1),
                    "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"},
        FailureCase{"source at absolute zero and without pressure", Volumetric(1, gfvuML, gfMinute, -273.15, tuC, 0),
                    Grams(0, 1),
                    "GasFrom: Absolute zero temperature. Cannot perform math.\r\n"
                    "GasFrom: Absolute zero pressure. Cannot perform math.\r\n"},
        FailureCase{"source with negative pressure", Volumetric(1, gfvuML, gfMinute, 25, tuC, -1), Grams(0, 1),
                    "GasFrom: Absolute zero pressure. Cannot perform math.\r\n"},
        FailureCase{"target without pressure", Grams(1, 28.9647), Volumetric(0, gfvuML, gfMinute, 25, tuC, 0),
                    "GasTo: Absolute zero pressure. Cannot perform math.\r\n"},
        FailureCase{"target below absolute zero", Grams(1, 28.9647), Volumetric(0, gfvuML, gfMinute, -300, tuC, 1),
                    "GasTo: Absolute zero temperature. Cannot perform math.\r\n"},
        FailureCase{"target temperature not a number", Grams(1, 28.9647),
                    Volumetric(0, gfvuML, gfMinute, std::nan(""), tuC, 1),
                    "GasTo: Absolute zero temperature. Cannot perform math.\r\n"},
        FailureCase{"source and target both without pressure", Volumetric(1, gfvuML, gfMinute, 25, tuC, 0),
                    Volumetric(0, gfvuML, gfMinute, 25, tuC, 0),
                    "GasFrom: Absolute zero pressure. Cannot perform math.\r\n"
                    "GasTo: Absolute zero pressure. Cannot perform math.\r\n"}));

TEST(GasFlowConversion, SourceWithoutMolarMassFailsInFeedbackOnly) {
    for (double molarMass : {0.0, -1.0, std::nan("")}) {
        SCOPED_TRACE(molarMass);
        TGasFlowDetails to = MlnAir(17);
        const TGasFlowDetails before = to;
        std::string errors = "stale", feedback;

        EXPECT_FALSE(GasFlowConversion(Grams(1, molarMass), to, errors, feedback));

        EXPECT_EQ(errors, "");
        EXPECT_THAT(feedback, EndsWith("\r\n GasFromMolarMass = 0 "));
        EXPECT_EQ(to, before);
    }
}

TEST(GasFlowConversion, StartsFeedbackWithTheInputEvenWhenItFails) {
    std::string errors, feedback;
    TGasFlowDetails to;
    EXPECT_FALSE(GasFlowConversion(TGasFlowDetails{}, to, errors, feedback));
    EXPECT_EQ(feedback, "       Volume: 0\r\n");
}

struct GasFlowMaxCase {
    const char* what;
    TGasFlowDetails unit;
    double expected;
};

void PrintTo(const GasFlowMaxCase& c, std::ostream* os) { *os << c.what; }

class FullScale : public ::testing::TestWithParam<GasFlowMaxCase> {};

TEST_P(FullScale, IsExpressedInTheUnit) {
    TGasFlowDetails unit = GetParam().unit;
    unit.SetGasFlowMax(50);
    EXPECT_NEAR(unit.GasFlowMax(), GetParam().expected, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    TGasFlowDetails, FullScale,
    ::testing::Values(
        GasFlowMaxCase{"at the standard conditions", MlnAir(0), 50},
        GasFlowMaxCase{"at 0 ºC", Volumetric(0, gfvuMLN, gfMinute, 0, tuC, 1.01325), 45.80747945664933},
        GasFlowMaxCase{"volume and time units are not consulted", Volumetric(0, gfvuL, gftHour, 25, tuC, 1.01325), 50},
        GasFlowMaxCase{"at double pressure", Volumetric(0, gfvuMLN, gfMinute, 25, tuC, 2.0265), 25},
        GasFlowMaxCase{"reference temperature in kelvin", Volumetric(0, gfvuMLN, gfMinute, 273.15, tuK, 1.01325),
                       45.80747945664933},
        GasFlowMaxCase{"mass of air", Grams(0, 28.9647), 0.05919522187060102},
        GasFlowMaxCase{"undefined type", TGasFlowDetails{}, 0},
        GasFlowMaxCase{"without pressure", Volumetric(0, gfvuMLN, gfMinute, 25, tuC, 0), 0},
        GasFlowMaxCase{"at absolute zero", Volumetric(0, gfvuMLN, gfMinute, -273.15, tuC, 1), 0},
        GasFlowMaxCase{"without temperature unit", Volumetric(0, gfvuMLN, gfMinute, 25, tuUndefined, 1), 0}));

class DiagnosticLines : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetDiagnosticSink([this](std::string_view channel, std::string_view line) {
            lines_.push_back(std::string(channel) + "|" + std::string(line));
        });
    }
    void TearDown() override { SetDiagnosticSink(std::move(previous_)); }

    std::vector<std::string> lines_;
    DiagnosticSink previous_;
};

TEST_F(DiagnosticLines, GasFlowMaxInGramsLogsItsInputsWhateverTheType) {
    TGasFlowDetails unit = MlnAir(0);
    unit.SetGasFlowMax(50);

    EXPECT_NEAR(unit.GasFlowMax_gpm(), 0.05919522187060102, 1e-15);

    EXPECT_THAT(lines_, ::testing::ElementsAre("GasFlow conversions|pGasFlowMax 50",
                                               "GasFlow conversions|TemperatureConversion 298.15",
                                               "GasFlow conversions|GasMolarMass 28.9647"));
}

TEST(TGasFlowDetails, SetGasFlowMaxChangesOnlyTheFullScale) {
    const TGasFlowDetails original = MlnAir(3);
    TGasFlowDetails copy = original.Clone();
    copy.SetGasFlowMax(500);
    EXPECT_NE(copy, original);
    EXPECT_EQ(copy.GasFlowMax(), 500);
    copy.SetGasFlowMax(0);
    EXPECT_EQ(copy, original);
}

TEST(TGasFlowDetails, FreshRecordIsInvalidForTheThreeMissingParts) {
    std::string feedback = "stale";
    EXPECT_FALSE(TGasFlowDetails{}.IsValid(feedback));
    EXPECT_EQ(feedback,
              "Gas flow details failure, cannot proceed to calculations:\r\n"
              "Name:Undefined\r\n"
              "Lacking \"GasName\"\r\n"
              "\"GasFlowType\" is undefined\r\n"
              "\"GasFlowTimeUnit\" is undefined\r\n");
}

TEST(TGasFlowDetails, StandardVolumetricUnitIsValid) {
    std::string feedback = "stale";
    EXPECT_TRUE(FlowUnitMlnAir().IsValid(feedback));
    EXPECT_EQ(feedback, "");
}

TEST(TGasFlowDetails, IsValidListsEveryFailureInOrder) {
    TGasFlowDetails unit = Volumetric(std::nan(""), gfvuUndefined, gftUndefined, std::nan(""), tuC, 0, std::nan(""));
    unit.Name = "";
    unit.GasName = "";
    std::string feedback;
    EXPECT_FALSE(unit.IsValid(feedback));
    EXPECT_EQ(feedback,
              "Gas flow details failure, cannot proceed to calculations:\r\n"
              "Name:\r\n"
              "Lacking \"Name\"\r\n"
              "\"GasFlowValue\" is not a valid float\r\n"
              "\"GasMolarMass\" is not a valid float\r\n"
              "\"GasMolarMass\" value not above zero\r\n"
              "Lacking \"GasName\"\r\n"
              "\"GasFlowVolumeUnit\" is undefined\r\n"
              "\"Temperature\" is not a valid float\"\r\n"
              "Absolute zero or below \"Pressure\"\r\n"
              "\"GasFlowTimeUnit\" is undefined\r\n");
}

struct TemperatureLimitCase {
    double temperature;
    TTemperatureUnit unit;
    const char* failure;  // empty when valid
};

class ReferenceTemperature : public ::testing::TestWithParam<TemperatureLimitCase> {};

TEST_P(ReferenceTemperature, IsCheckedInItsOwnUnit) {
    const auto& c = GetParam();
    std::string feedback;
    const bool valid = Volumetric(1, gfvuMLN, gfMinute, c.temperature, c.unit, 1).IsValid(feedback);
    if (std::string(c.failure).empty()) {
        EXPECT_TRUE(valid) << feedback;
    } else {
        EXPECT_FALSE(valid);
        EXPECT_THAT(feedback, EndsWith(std::string("Name:ml/min\r\n") + c.failure + "\r\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    TGasFlowDetails, ReferenceTemperature,
    ::testing::Values(TemperatureLimitCase{-273.16, tuC, ""},
                      TemperatureLimitCase{-273.17, tuC, "Absolute zero or below \"Temperature\" ºC"},
                      TemperatureLimitCase{-459.68, tuF, ""},
                      TemperatureLimitCase{-459.7, tuF, "Absolute zero or below \"Temperature\" ºF"},
                      TemperatureLimitCase{0.1, tuK, ""},
                      TemperatureLimitCase{0.09, tuK, "Absolute zero or below \"Temperature\" ºK"},
                      TemperatureLimitCase{25, tuUndefined, "\"TemperatureUnit\" undefined"}));

TEST(TemperatureConversion, CoversEveryKind) {
    const struct {
        TTemperatureConversionKind kind;
        double value;
        double expected;
    } cases[] = {
        {tcCtoF, 100, 212},   {tcCtoF, -40, -40},   {tcCtoK, 25, 298.15}, {tcFtoC, 212, 100},    {tcFtoC, -40, -40},
        {tcFtoK, 32, 273.15}, {tcKtoC, 0, -273.15}, {tcKtoF, 273.15, 32}, {tcKtoF, 373.15, 212},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.kind) << " " << c.value);
        EXPECT_NEAR(TemperatureConversion(c.kind, c.value), c.expected, 1e-9);
    }
}

TEST(TimeConversion, ConvertsRatesBetweenDefinedUnits) {
    EXPECT_EQ(TimeConversion(gfMinute, gftHour, 2), 120);
    EXPECT_EQ(TimeConversion(gftHour, gftSecond, 7200), 2);
    EXPECT_EQ(TimeConversion(gftSecond, gftDay, 1), 86400);
    EXPECT_EQ(TimeConversion(gftDay, gftDay, 3.5), 3.5);
    EXPECT_TRUE(std::isnan(TimeConversion(gftUndefined, gfMinute, 1)));
    EXPECT_TRUE(std::isnan(TimeConversion(gfMinute, gftUndefined, 1)));
}

TEST(TimeUnitName, NamesEveryOrdinal) {
    EXPECT_EQ(TimeUnitName(gftSecond), "second");
    EXPECT_EQ(TimeUnitName(gfMinute), "minute");
    EXPECT_EQ(TimeUnitName(gftHour), "hour");
    EXPECT_EQ(TimeUnitName(gftDay), "day");
    EXPECT_EQ(TimeUnitName(gftUndefined), "undefined");
}

TEST(StandardUnits, FlowUnitGramsIsSharedScratch) {
    TGasFlowDetails& grams = FlowUnitGrams();
    const TGasFlowDetails saved = grams;
    grams.GasFlowValue = 1;
    grams.GasMolarMass = 28.9647;
    TGasFlowDetails to = FlowUnitMlnAir().Clone();
    std::string errors, feedback;
    EXPECT_TRUE(GasFlowConversion(FlowUnitGrams(), to, errors, feedback));
    EXPECT_NEAR(to.GasFlowValue, MlPerGramOfAir, 1e-9);
    grams = saved;
}

TEST(StandardUnits, MicrolitresAreMlnAt20Celsius) {
    const TGasFlowDetails& unit = FlowUnitMicrolitres();
    EXPECT_EQ(unit.Name, "µl/min");
    EXPECT_EQ(unit.GasFlowVolumeUnit, gfvuMLN);
    EXPECT_EQ(unit.Temperature, 20);
    EXPECT_EQ(unit.GasName, "");
}

}  // namespace
}  // namespace tessaro
