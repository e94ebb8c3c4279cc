// Mixture recipes: parsing with its messages, the report of a valid recipe, and adding the
// recipe's segments to the devices' programs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "MessageCapture.h"
#include "MixtureTestDevices.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/MixRecipes.h"

namespace tessaro {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class MixRecipes : public test::MixtureDevicesFixture {
protected:
    bool Parse(const std::string& recipe) {
        mixture.Init();
        return ParseMixRecipe(recipe, mixture, errors);
    }
    static std::vector<std::string> ShortNames(const TGasItem& item) {
        std::vector<std::string> names;
        for (const TGasItem& component : item.Components) names.push_back(component.NameShort);
        return names;
    }
    TGasItem mixture;
    std::string errors;
    MessageCapture messages;
};

TEST_F(MixRecipes, AControllerLineGivesItsGasAtTheSetpointsMassFlow) {
    for (const char* recipe : {"COM6 50", "com6 50", "  COM6 50 S  ", "\r\nCOM6 50\r\n\r\n"}) {
        ASSERT_TRUE(Parse(recipe)) << recipe << errors;
        ASSERT_EQ(mixture.Components.size(), 1u) << recipe;
        EXPECT_EQ(mixture.Components[0].NameShort, "N2");
        EXPECT_NEAR(mixture.Components[0].MassFlow_gmin, 0.0286261, 1e-7) << recipe;
    }
    const TMixRecipeEvaluation evaluation = EvaluateMixRecipe("COM6 50", "Dry", '.');
    ASSERT_TRUE(evaluation.Valid);
    EXPECT_THAT(evaluation.Text, StartsWith("Mixture: 'Dry'\r\n\r\n  Inputs:\r\n"));
    EXPECT_THAT(evaluation.Text, HasSubstr("  Partial pressures:\r\n    N2              1 000 000 ppm\r\n"));
    EXPECT_THAT(evaluation.Text, Not(HasSubstr("fluid")));
}

TEST_F(MixRecipes, ErrorsNameTheLineAndTheLastOneIsReported) {
    struct Case {
        const char* recipe;
        const char* error;
    };
    const Case cases[] = {
        {"COM6  50", "Cannot convert '' to a number\r\n"},
        {"COM6 50,5", "Illegal character ',' on line: 1\r\n"},
        {"COM6 150", "Invalid setpoint on line 1\r\n"},
        {"COM6 -5", "Invalid setpoint on line 1\r\n"},
        {"COM6 nan", "Cannot convert 'nan' to a number\r\n"},
        {"COM6 50 X", "Invalid segment type on line 1 (use S or R)\r\n"},
        {"COM9 50", "No device on port: COM9\r\n"},
        {"COM6", "Recipe has less than 2 or more than 3 items on line: 1\r\n => Unable to determine meaning\r\n"},
        {"COM6 50 S x",
         "Recipe has less than 2 or more than 3 items on line: 1\r\n => Unable to determine meaning\r\n"},
        {"COM6 50\n   ",
         "Recipe has less than 2 or more than 3 items on line: 2\r\n => Unable to determine meaning\r\n"},
        {"COM6 50 S°", "Illegal character '°' on line: 1\r\n"},
        {"COM6 150\nCOM7 10\nCOM9 1", "No device on port: COM9\r\n"},
        {"COM6 10\n\nCOM6 200", "Invalid setpoint on line 3\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Parse(c.recipe)) << c.recipe;
        EXPECT_EQ(errors, c.error) << c.recipe;
    }
    // After the first error no component is appended, though later lines are read.
    EXPECT_FALSE(Parse("COM6 10\nCOM9 1\nCOM7 10"));
    EXPECT_EQ(mixture.Components.size(), 1u);

    const TMixRecipeEvaluation invalid = EvaluateMixRecipe("COM6 150", "Name", '.');
    EXPECT_FALSE(invalid.Valid);
    EXPECT_EQ(invalid.Text, "Invalid setpoint on line 1\r\n");
}

// Port names as the program lists them: the simulator's "sim-mfc1", a name with "_", in
// whatever letter case the operator types them.
TEST_F(MixRecipes, PortsWithDashesAndUnderscoresAreNamedInAnyCase) {
    DevicesLocal().push_back(test::MixtureController("sim-mfc1", test::kNitrogenGas, 50));
    DevicesLocal().push_back(test::MixtureController("ttyXR_USB0", test::kArgon, 100));
    for (const char* recipe : {"sim-mfc1 50", "SIM-MFC1 50", "  sim-mfc1 50 r"}) {
        ASSERT_TRUE(Parse(recipe)) << recipe << errors;
        ASSERT_EQ(mixture.Components.size(), 1u) << recipe;
        EXPECT_NEAR(mixture.Components[0].MassFlow_gmin, 0.0286261, 1e-7) << recipe;
    }
    ASSERT_TRUE(Parse("ttyxr_usb0 10\nsim-mfc1 5 S")) << errors;
    EXPECT_THAT(ShortNames(mixture), ElementsAre("Ar", "N2"));

    struct Case {
        const char* recipe;
        const char* error;
    };
    const Case cases[] = {
        {"EMU-MFC 50", "No device on port: EMU-MFC\r\n"},
        {"sim-mfc1 50 S-", "Illegal character '-' on line: 1\r\n"},
        {"sim-mfc1 50 S_", "Illegal character '_' on line: 1\r\n"},
        {"sim-mfc1 -5", "Invalid setpoint on line 1\r\n"},
        {"sim-mfc1 50 R+", "Illegal character '+' on line: 1\r\n"},
        {"sim+mfc1 50", "No device on port: sim+mfc1\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Parse(c.recipe)) << c.recipe;
        EXPECT_EQ(errors, c.error) << c.recipe;
    }
}

TEST_F(MixRecipes, AnUnconfiguredDeviceHasNoGas) {
    TDeviceInfo device = Device("COM7");
    device.FluidID = -1;
    StoreDevice(device);
    EXPECT_FALSE(Parse("COM7 50 r"));
    EXPECT_EQ(errors, "GasID on COM7 matches no known gas, device not configured?\r\n");
}

TEST_F(MixRecipes, AControllerWhoseUnitCannotBeConvertedIsRefused) {
    TDeviceInfo device = Device("COM7");
    device.FlowUnitUser.Pressure_BarA = 0;
    device.FlowUnitUser.Name = "odd";
    StoreDevice(device);
    EXPECT_FALSE(Parse("COM7 50"));
    EXPECT_EQ(errors, "Failed to convert gas flow to user unit: odd");
}

TEST_F(MixRecipes, AnEmptyRecipeIsValidAndShowsTheHeadings) {
    const TMixRecipeEvaluation evaluation = EvaluateMixRecipe("", "Name", '.');
    ASSERT_TRUE(evaluation.Valid);
    EXPECT_THAT(evaluation.Text,
                StartsWith("Mixture: 'Name'\r\n\r\n  Inputs:\r\n  Components:\r\n  Partial pressures:\r\n"
                           "  Volumetric flows, ml/min:\r\n"));
    EXPECT_THAT(evaluation.Text, Not(HasSubstr("fluid")));
    EXPECT_THAT(messages.messages, ::testing::IsEmpty());
}

TEST_F(MixRecipes, WaterFromThePumpAddsTheHumidityTable) {
    const TMixRecipeEvaluation evaluation = EvaluateMixRecipe("COM6 100\nCOM8 1", "Humid", ',');
    ASSERT_TRUE(evaluation.Valid) << evaluation.Text;
    const auto fluid = evaluation.Text.find("  Mixture has fluid:\r\n    ºC      BarA  Max ppm/100%RH");
    ASSERT_NE(fluid, std::string::npos) << evaluation.Text;
    EXPECT_LT(evaluation.Text.find("  Volumetric flows, ml/min:"), fluid);
    EXPECT_THAT(evaluation.Text, HasSubstr("H2O"));
    EXPECT_THAT(evaluation.Text, HasSubstr("1,01325"));
}

TEST(MixSegmentLines, TimeRoundsHalvesToEvenAndTheNoteIsCleaned) {
    EXPECT_EQ(MixSegmentLine(2.5, 50, "Step", ""), "2 50 Step ");
    EXPECT_EQ(MixSegmentLine(3.5, 12.25, "Ramp", "dry N2, 5% (test)"), "4 12.25 Ramp dry_N2_5%_test");
    EXPECT_EQ(MixSegmentType("r"), "Ramp");
    EXPECT_EQ(MixSegmentType("Ramp"), "Ramp");
    EXPECT_EQ(MixSegmentType("s"), "Step");
    EXPECT_EQ(MixSegmentType(""), "Step");
}

class MixSegments : public test::MixtureDevicesFixture {
protected:
    MixSegments() {
        TEngineSettings settings;
        settings.DataFolder = folder.path().toStdString();
        settings.Sleeps = false;
        engine = std::make_unique<TEngine>(window, settings);
    }
    QTemporaryDir folder;
    test::RecordingWindowPort window;
    MessageCapture messages;
    std::unique_ptr<TEngine> engine;
};

TEST_F(MixSegments, EachLineAddsASegmentToItsDevice) {
    SetProgram("COM6", "0 10 Step\r\n4 20 Step");
    ASSERT_TRUE(engine->AddMixSegments("com6 50 r\r\n\r\nCOM7 12,5\r\nCOM9 1", true, 3.5, "mix 1"));
    EXPECT_EQ(Device("COM6").SegmentProgram, "0 10 Step\r\n4 50 Ramp mix_1\r\n");
    EXPECT_EQ(Device("COM7").SegmentProgram, "4 12.5 Step mix_1\r\n");
    EXPECT_THAT(window.Shown, ElementsAre("COM6", "COM7"));
    ASSERT_EQ(window.Log.size(), 6u);
    EXPECT_THAT(window.Log[0], HasSubstr("Segment Program Modify for Device: COM6"));
    EXPECT_THAT(window.Log[1], HasSubstr("Try adding: 4 50 Ramp mix_1"));
    EXPECT_THAT(window.Log[2], HasSubstr("Resulting segment program: \r\n0 10 Step\r\n4 50 Ramp mix_1"));
    EXPECT_TRUE(messages.messages.empty());

    ASSERT_TRUE(engine->AddMixSegments("COM7 30", true, 2.5, ""));
    EXPECT_EQ(Device("COM7").SegmentProgram, "2 30 Step\r\n4 12.5 Step mix_1\r\n");
}

TEST_F(MixSegments, APortOfAnyCaseAndWithADashFindsItsDevice) {
    DevicesLocal().push_back(test::MixtureController("sim-mfc1", test::kNitrogenGas, 50));
    ASSERT_TRUE(engine->AddMixSegments("SIM-MFC1 20 R\nsim-mfc1 30", true, 2, ""));
    EXPECT_EQ(Device("sim-mfc1").SegmentProgram, "2 30 Step\r\n");
    EXPECT_THAT(window.Shown, ElementsAre("sim-mfc1", "sim-mfc1"));
}

TEST_F(MixSegments, AnInvalidRecipeOrAFractionalTimeStopsAdding) {
    EXPECT_FALSE(engine->AddMixSegments("COM6 50", false, 1, ""));
    EXPECT_THAT(messages.messages, ElementsAre("Cannot add invalid recipe"));
    EXPECT_EQ(Device("COM6").SegmentProgram, "");

    SetProgram("COM7", "0.5 10 Step");
    EXPECT_FALSE(engine->AddMixSegments("COM6 50\nCOM7 20\nCOM8 5", true, 1, ""));
    EXPECT_EQ(Device("COM6").SegmentProgram, "1 50 Step\r\n");
    EXPECT_EQ(Device("COM7").SegmentProgram, "0.5 10 Step");
    EXPECT_EQ(Device("COM8").SegmentProgram, "");
    EXPECT_THAT(messages.messages, ElementsAre("Cannot add invalid recipe", "'0.5' is not a valid integer value"));
}

}  // namespace
}  // namespace tessaro
