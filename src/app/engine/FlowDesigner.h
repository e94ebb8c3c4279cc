#pragma once
// The rules behind the "Designer" tab: the time slider's range and position, the flows a
// device's slider and field show at a moment of its program, the smallest flow a field
// takes, and the mixture the designed flows make. The designer time is in minutes
// throughout: the slider counts tenths of a minute. The window builds the controls and shows
// what these give; nothing here changes a device record. Window thread only.

#include <string>
#include <vector>

namespace tessaro {

struct TDeviceInfo;

// Slider positions per minute of designer time.
inline constexpr int kDesignerTimeSteps = 10;
// A device slider runs over percent of full scale.
inline constexpr int kDesignerFlowSliderMax = 100;

// The time slider's Max for the longest program of the selected devices: its last whole
// minute plus one.
int DesignerTimeSliderMax(double longestDuration_min);
// The time slider's Max once `time_min` was typed: unchanged while the time is within
// reach, otherwise the whole minute after it.
int DesignerTimeSliderMaxFor(double time_min, int sliderMax);
// The time slider's position for a time: tenths of a minute, halves to even.
int DesignerTimeSliderPosition(double time_min);

// What a device's two controls show at a moment of its program.
struct TDesignedFlow {
    int SliderPosition = 0;  // the setpoint in whole percent, halves to even
    double FieldValue = 0;   // the exact flow in the device's user unit
};
TDesignedFlow DesignedFlowAtTime(const TDeviceInfo& device, double time_min);
// The flow a slider position gives in the device's field: `fullScale` × position / Max.
double DesignedFlowOfSlider(double fullScale, int position, int sliderMax);
// The slider position for a typed flow, halves to even; none for a full scale of 0.
int DesignedSliderOfFlow(double flow, double fullScale, int sliderMax);
// The smallest non-zero designed flow is a ten-thousandth of full scale: a typed flow below
// it becomes 0 or that smallest flow, whichever is nearer (halfway goes up).
double DesignedFlowAtLeastSmallest(double flow, double fullScale);

// The caption of a device's group: "COM3 - N2 - ml/min".
std::string DesignerGroupCaption(const TDeviceInfo& device);
// The longest run of these ports' devices in minutes (a repeated program with every cycle);
// an invalid program shows its validation messages and counts 0.
double LongestProgramDuration(const std::vector<std::string>& ports, char decimalSeparator);

// One designed flow: a device's port and the flow in its user unit.
struct TDesignedComponent {
    std::string Port;
    double Flow = 0;
};
struct TDesignedMixture {
    std::string Report;                  // the mixture's details, after a separator line
    std::vector<std::string> UsedPorts;  // the ports whose devices took part
};
// The mixture the designed flows make: each device's gas with the designed fraction of its
// full scale in g/min; ports without a device are passed over. A gas without molar mass
// puts a line saying so before the report.
TDesignedMixture DesignedMixture(const std::vector<TDesignedComponent>& flows, char decimalSeparator);

}  // namespace tessaro
