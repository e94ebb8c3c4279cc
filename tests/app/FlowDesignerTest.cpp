// The designer's rules: the time slider's range and position, the flows shown at a moment
// of a program, the smallest designed flow, and the mixture of the designed flows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "MessageCapture.h"
#include "MixtureTestDevices.h"
#include "engine/FlowDesigner.h"

namespace tessaro {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class FlowDesigner : public test::MixtureDevicesFixture {
protected:
    MessageCapture messages;
};

TEST_F(FlowDesigner, TheTimeSliderReachesTheLongestProgramPlusAMinute) {
    SetProgram("COM6", "0 10 Step\r\n24 0 Ramp");
    SetProgram("COM7", "8 50 Step");
    EXPECT_EQ(LongestProgramDuration({"COM6", "COM7", "COM9"}, '.'), 24);
    EXPECT_EQ(DesignerTimeSliderMax(24), 250);
    EXPECT_EQ(DesignerTimeSliderMax(8.7), 90);

    SetProgram("COM7", "8 x Step");  // invalid: counts 0 and says why
    EXPECT_EQ(LongestProgramDuration({"COM7"}, '.'), 0);
    EXPECT_FALSE(messages.messages.empty());
}

TEST_F(FlowDesigner, ATypedTimeBeyondTheSliderExtendsIt) {
    EXPECT_EQ(DesignerTimeSliderMaxFor(40, 250), 410);
    EXPECT_EQ(DesignerTimeSliderPosition(40), 400);
    EXPECT_EQ(DesignerTimeSliderMaxFor(25, 250), 250);
    EXPECT_EQ(DesignerTimeSliderMaxFor(25.01, 250), 260);
    EXPECT_EQ(DesignerTimeSliderPosition(0.25), 2);
    EXPECT_EQ(DesignerTimeSliderPosition(0.35), 4);
}

TEST_F(FlowDesigner, FlowsAtAMomentOfTheProgram) {
    TDeviceInfo device = Device("COM7");  // 100 sccm
    device.FlowUnitUser.SetGasFlowMax(200);
    device.SegmentProgram = "10 100 Ramp\r\n12 100 Step\r\n12.5 30 Ramp\r\n15 50 Step";
    const TDesignedFlow at1225 = DesignedFlowAtTime(device, 12.25);
    EXPECT_EQ(at1225.SliderPosition, 65);
    EXPECT_DOUBLE_EQ(at1225.FieldValue, 130);

    device.SegmentProgram = "0 30.5 Step\r\n20 30.5 Step";
    const TDesignedFlow half = DesignedFlowAtTime(device, 12.5);
    EXPECT_EQ(half.SliderPosition, 30);
    EXPECT_DOUBLE_EQ(half.FieldValue, 61);

    device.SegmentProgram = "";
    EXPECT_EQ(DesignedFlowAtTime(device, 3).SliderPosition, 0);
    EXPECT_EQ(DesignedFlowAtTime(device, 3).FieldValue, 0);
}

// The designer shows what the device really gets: every cycle, then the end choice.
TEST_F(FlowDesigner, DeviceFlowsFollowTheRepeatAndTheEndChoice) {
    TDeviceInfo device = Device("COM6");
    device.FlowUnitUser.SetGasFlowMax(200);
    device.SegmentProgram = "5 40 Step\r\n10 40 Step";
    device.ProgramRepeat = 2;
    EXPECT_EQ(DesignedFlowAtTime(device, 12).SliderPosition, 0);   // second cycle, before its 5 min
    EXPECT_EQ(DesignedFlowAtTime(device, 17).SliderPosition, 40);  // second cycle
    EXPECT_EQ(DesignedFlowAtTime(device, 21).SliderPosition, 0);   // after the run: 0 %, the default
    device.SegmentProgramTermination = TSegProgTermination::tspttKeep;
    EXPECT_DOUBLE_EQ(DesignedFlowAtTime(device, 21).FieldValue, 80);
    SetProgram("COM6", device.SegmentProgram);
    DevicesLocal()[static_cast<std::size_t>(DeviceIndex("COM6"))].ProgramRepeat = 2;
    EXPECT_EQ(LongestProgramDuration({"COM6"}, '.'), 20);
}

TEST_F(FlowDesigner, SliderAndFieldCouple) {
    EXPECT_DOUBLE_EQ(DesignedFlowOfSlider(200, 65, 100), 130);
    EXPECT_EQ(DesignedSliderOfFlow(61, 200, 100), 30);  // 30.5 goes to the even 30
    EXPECT_EQ(DesignedSliderOfFlow(63, 200, 100), 32);  // 31.5 goes to 32
    EXPECT_EQ(DesignedSliderOfFlow(5, 0, 100), 0);
}

TEST_F(FlowDesigner, TheSmallestDesignedFlowIsATenThousandthOfFullScale) {
    EXPECT_DOUBLE_EQ(DesignedFlowAtLeastSmallest(0.007, 100), 0.01);
    EXPECT_DOUBLE_EQ(DesignedFlowAtLeastSmallest(0.005, 100), 0.01);
    EXPECT_DOUBLE_EQ(DesignedFlowAtLeastSmallest(0.003, 100), 0);
    EXPECT_DOUBLE_EQ(DesignedFlowAtLeastSmallest(0.02, 100), 0.02);
    EXPECT_DOUBLE_EQ(DesignedFlowAtLeastSmallest(0, 100), 0);
}

TEST_F(FlowDesigner, GroupCaptionNamesPortGasAndUnit) {
    EXPECT_EQ(DesignerGroupCaption(Device("COM6")), "COM6 - N2 - ml/min");
    EXPECT_EQ(DesignerGroupCaption(Device("COM8")), "COM8 - Pump - µl/min");
}

TEST_F(FlowDesigner, TheMixtureOfTheDesignedFlows) {
    // Equal volumes of N2 and Ar: half of each controller's full scale of 50 and 100.
    const TDesignedMixture mixture = DesignedMixture({{"COM6", 25}, {"COM9", 10}, {"COM7", 25}}, '.');
    EXPECT_EQ(mixture.UsedPorts, (std::vector<std::string>{"COM6", "COM7"}));
    EXPECT_THAT(mixture.Report, StartsWith(" *************************** \r\n"));
    EXPECT_THAT(mixture.Report, HasSubstr("N2"));
    EXPECT_THAT(mixture.Report, HasSubstr("Ar"));
    EXPECT_THAT(mixture.Report, HasSubstr("0.5"));

    // A full scale of 0 designs no flow instead of dividing by it.
    TDeviceInfo device = Device("COM6");
    device.FlowUnitUser.SetGasFlowMax(0);
    StoreDevice(device);
    EXPECT_THAT(DesignedMixture({{"COM6", 25}, {"COM7", 25}}, '.').Report, Not(HasSubstr("nan")));
}

}  // namespace
}  // namespace tessaro
