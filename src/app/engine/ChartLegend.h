#pragma once
// What the chart's legend says about each device: its name and port, the flow its program
// or direct control asks for now and the flow its instrument last reported, in the device's
// own unit. The texts are pure functions of these values, so the legend, the chart's
// accessible summary and their tests share them.

#include <optional>
#include <string>
#include <vector>

namespace tessaro {

struct TDeviceInfo;
class TParsedSegmentProgram;

// The numbers behind one device's legend entries.
struct TChartLegendValues {
    std::string NameRole;
    std::string COMPort;
    // The planned setpoint in percent of full scale; none while the device is idle.
    std::optional<double> Planned_pct;
    // The device's full scale in Unit, when it is known: the planned flow is then shown in
    // the unit as well.
    std::optional<double> FullScale;
    // The last flow the instrument reported (a pump: the flow of the program it runs), in
    // Unit; none before the first reading.
    std::optional<double> Achieved;
    std::string Unit;
    // The instrument has not told its full scale yet: flows in Unit read "unknown", the
    // planned one and that of a reading alike.
    bool FullScaleUnknown = false;
    // There is a reading, but its flow in Unit is unknown (Achieved is empty).
    bool AchievedUnknown = false;
};

// The texts of a device's two legend entries: the planned curve's and the achieved curve's.
struct TChartLegendEntry {
    std::string COMPort;
    std::string Planned;   // "Cathode side COM3 planned: 40 % = 2 ml/min" ("= unknown ml/min")
    std::string Achieved;  // "Cathode side COM3 achieved: 1.987 ml/min"
};

TChartLegendEntry ChartLegendEntry(const TChartLegendValues& values, char decimalSeparator);

// Every entry as one text, a device per sentence: what a screen reader says about the chart.
std::string ChartLegendSummary(const std::vector<TChartLegendEntry>& entries);

// The planned setpoint of a device as its mode gives it now: the direct setpoint, the
// program's setpoint at its program time (cycles and end choice included), none while idle.
std::optional<double> PlannedSetpoint_pct(const TDeviceInfo& device);
// The same with the device's program read once (`program` is its parsed form).
std::optional<double> PlannedSetpoint_pct(const TDeviceInfo& device, const TParsedSegmentProgram& program);

}  // namespace tessaro
