#pragma once
// The rules behind the Configure tab, the device list and the flow displays: what "Apply"
// takes into a device, how a device is stopped, which syringes exist, the rows of the
// reference-condition list, the texts of a device's list row and the numbers the flow
// displays show. The window only reads its fields into these records and shows what comes
// back; TEngine::ApplyConfiguration and TEngine::FlowDisplays use them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/FieldInput.h"
#include "registry/ColorNames.h"

namespace tessaro {

struct TDeviceInfo;
struct TPumpSpeedDetails;

// What the Configure tab holds when "Apply" is clicked.
struct TConfigurationEntry {
    std::string NameRole;
    TRtColor Color = 0xFF000000;
    // The tag of the row picked in the list shown for the device (gas list or pump fluid
    // list); none while the list is on its header row.
    std::optional<std::int32_t> FluidID;
    // Flow unit group (flow controllers).
    std::string UnitName;
    double UnitTemperatureC = 0;
    double UnitPressureBar = 0;
    bool UnitIsGrams = true;  // the "g, grams" row of the reference-condition list
    // Pump details (the syringe field is read for every kind, hidden or not).
    double SyringeSize_µL = 0;
    double FluidTemperatureC = 0;
    double Setpoint_gui = 0;
};

// Puts a device to idle at zero flow: its controller is handed 0 %, its pump the command
// that ends the running program. Used by Stop, by Apply on a running device and before the
// workers are ended (Reset Devices, close).
void StopDevice(TDeviceInfo& device);

// The syringes a pump takes, in µL.
inline constexpr std::array<double, 12> kSyringeSizes_µL = {12.5, 25,   50,   100,  125,  250,
                                                            500,  1000, 1250, 2500, 5000, 12500};
// Takes `size` as the device's syringe with a full scale of 25 × size µL/min and stores the
// device; a size that is not one of kSyringeSizes_µL is refused with a message and leaves
// both values as they were.
bool AcceptSyringeSize(TDeviceInfo& device, double size);

// The ranges of a volumetric unit's reference temperature (ºC) and pressure (bar, absolute).
inline constexpr TNumberRange kReferenceTemperatureRange{-273.15, 900000, true};
inline constexpr TNumberRange kReferencePressureRange{0, 10000, true};

// The list of published reference conditions: row 0 is its header, row 1 the mass unit.
inline constexpr int kPredefinedGramsRow = 1;
const std::vector<std::string>& ReferenceConditionRows();
// What picking a row of that list sets: the unit name and kind, and for the volumetric
// rows their temperature (ºC) and absolute pressure (bar). None for the header row or a
// row that does not exist.
struct TReferenceCondition {
    std::string UnitName;
    bool Grams = false;
    double TemperatureC = 0;
    double PressureBar = 0;
};
std::optional<TReferenceCondition> ReferenceConditionOfRow(int row);
// The notes beside the reference fields: "77ºF", "14.696 psi".
std::string FahrenheitNote(double celsius, char separator);
std::string PsiNote(double bar, char separator);

// The "Color code" label: the colour as a 24-bit blue-green-red number (blue in the high
// byte) in decimal, at least 8 digits.
std::string BlueGreenRedCode(TRtColor color);

// A device as the legend and the CSV columns name it: "<name or role> <port>", or the
// port alone for a device without a name.
std::string DeviceCaption(const std::string& nameRole, const std::string& comPort);

// The texts of a device's list row: COM port, State, Instrument, Device, Name or role.
using TDeviceRowTexts = std::array<std::string, 5>;
// A row as the list gets it when the device is added: State "Unknown", Device the kind.
TDeviceRowTexts DeviceListRow(const TDeviceInfo& device);
// A row once the device has been shown: State by worker and mode, and a Kestra
// controller's Device column with its gas ("MFC-A:N2").
TDeviceRowTexts ShownDeviceListRow(const TDeviceInfo& device);
// The State column alone: "Unknown", "No reply", "Deviation", "Direct", "Ready", or a
// program's state: "Segment" ("Segment 2/3" in the second of three cycles), "Hold",
// "Holdback", "Ended".
std::string DeviceStateText(const TDeviceInfo& device);

// A pump planned for `fraction` of its full scale with its own syringe; the engine's tick
// and the flow displays share it.
TPumpSpeedDetails PlanPumpDispense(const TDeviceInfo& device, double fraction, char separator);

// The word every flow display shows in place of a number while the device's full scale is
// unknown.
inline constexpr const char* kUnknownFlowText = "unknown";

// What the flow displays of the segment and direct-control tabs show for one device.
struct TFlowDisplays {
    std::optional<double> MaxFlow;          // the device's full scale in its unit; none: unknown
    std::string UnitName;                   // the caption beside it
    std::string SegmentResult;              // the flow the segment field's percentage gives
    std::string DirectResult;               // the flow the direct-control field's percentage gives
    std::vector<std::string> PumpCommands;  // the planned pump programs (pumps only)
};
// The device's full scale in its user unit; none while it is unknown or the unit cannot be
// converted to.
std::optional<double> FullScaleInUserUnit(const TDeviceInfo& device, char separator);
// None when the device's unit cannot be converted (a flow controller whose unit has no
// valid reference conditions). A controller whose full scale is unknown shows
// kUnknownFlowText for every flow.
std::optional<TFlowDisplays> FlowDisplaysOf(const TDeviceInfo& device, double segmentPct, double directPct,
                                            char separator);

}  // namespace tessaro
