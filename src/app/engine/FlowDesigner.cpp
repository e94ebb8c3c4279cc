#include "engine/FlowDesigner.h"

#include <algorithm>
#include <cmath>

#include "gases/GasMixtures.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr double kSmallestFlowFraction = 1.0 / 10000;

int WholeNumber(double value) { return static_cast<int>(RoundHalfToEven(value)); }

}  // namespace

int DesignerTimeSliderMax(double longestDuration_min) {
    return static_cast<int>(std::floor(longestDuration_min)) * kDesignerTimeSteps + kDesignerTimeSteps;
}

int DesignerTimeSliderMaxFor(double time_min, int sliderMax) {
    if (time_min <= static_cast<double>(sliderMax) / kDesignerTimeSteps) return sliderMax;
    return (static_cast<int>(std::floor(time_min)) + 1) * kDesignerTimeSteps;
}

int DesignerTimeSliderPosition(double time_min) { return WholeNumber(time_min * kDesignerTimeSteps); }

TDesignedFlow DesignedFlowAtTime(const TDeviceInfo& device, double time_min) {
    // What the device really gets at that program time: its cycles and its end choice.
    const double setpoint = ProgramAt(device.SegmentProgram, device.RunRules(), time_min).Setpoint_pct;
    return {WholeNumber(setpoint), device.FlowUnitUser.GasFlowMax() * setpoint / 100};
}

double DesignedFlowOfSlider(double fullScale, int position, int sliderMax) {
    if (sliderMax <= 0) return 0;
    return fullScale * position / sliderMax;
}

int DesignedSliderOfFlow(double flow, double fullScale, int sliderMax) {
    if (!(fullScale > 0)) return 0;
    return WholeNumber(flow / fullScale * sliderMax);
}

double DesignedFlowAtLeastSmallest(double flow, double fullScale) {
    const double smallest = fullScale * kSmallestFlowFraction;
    if (flow > 0 && flow < smallest) return flow < smallest / 2 ? 0 : smallest;
    return flow;
}

std::string DesignerGroupCaption(const TDeviceInfo& device) {
    return device.COMPort + " - " + device.Fluidname() + " - " + device.FlowUnitUser.Name;
}

double LongestProgramDuration(const std::vector<std::string>& ports, char decimalSeparator) {
    double longest = 0;
    TDeviceInfo device;
    for (const std::string& port : ports)
        if (FindDevice(port, device))
            longest = std::max(longest, ProgramDuration(device.SegmentProgram, decimalSeparator) *
                                            std::clamp(device.ProgramRepeat, kMinimumRepeat, kMaximumRepeat));
    return longest;
}

TDesignedMixture DesignedMixture(const std::vector<TDesignedComponent>& flows, char decimalSeparator) {
    TDesignedMixture designed;
    TGasItem mixture;
    mixture.Init();
    std::string problem;
    TDeviceInfo device;
    for (const TDesignedComponent& flow : flows) {
        if (!FindDevice(flow.Port, device)) continue;
        designed.UsedPorts.push_back(device.COMPort);
        TGasItem component;
        TryGetGas_ID(device.FluidID, component);
        const double fullScale = device.FlowUnitUser.GasFlowMax();
        const double fraction = fullScale > 0 ? flow.Flow / fullScale : 0;
        component.MassFlow_gmin = fraction * device.FlowUnitDevice.GasFlowMax_gpm();
        if (!PopulateComponentMasses(component))
            problem =
                "Unable to PopulateComponentMasses (Element without molar mass, or sum of partial pressures is "
                "zero.";
        mixture.Components.push_back(std::move(component));
    }
    NormalizeMixture(mixture, mixture);
    MixtureFromComponentMasses(mixture);
    designed.Report = problem + " *************************** \r\n" + MixtureDetails(mixture, decimalSeparator);
    return designed;
}

}  // namespace tessaro
