#include "engine/ChartLegend.h"

#include <map>

#include "engine/DeviceSetup.h"
#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

// Up to three decimals, trailing zeros left out: "40", "1.25", "0.333".
constexpr const char* kLegendNumber = "0.###";

std::string Number(double value, char separator) { return FormatPattern(value, kLegendNumber, separator); }

constexpr const char* kUnknownFlow = "unknown";

std::string PlannedText(const TChartLegendValues& values, char separator) {
    if (!values.Planned_pct) return "idle";
    std::string text = Number(*values.Planned_pct, separator) + " %";
    if (values.FullScaleUnknown)
        text += " = " + std::string(kUnknownFlow) + " " + values.Unit;
    else if (values.FullScale)
        text += " = " + Number(*values.Planned_pct / 100 * *values.FullScale, separator) + " " + values.Unit;
    return text;
}

std::string AchievedText(const TChartLegendValues& values, char separator) {
    if (values.AchievedUnknown) return std::string(kUnknownFlow) + " " + values.Unit;
    if (!values.Achieved) return "no reading yet";
    return Number(*values.Achieved, separator) + " " + values.Unit;
}

}  // namespace

TChartLegendEntry ChartLegendEntry(const TChartLegendValues& values, char decimalSeparator) {
    const std::string caption = DeviceCaption(values.NameRole, values.COMPort);
    return {values.COMPort, caption + " planned: " + PlannedText(values, decimalSeparator),
            caption + " achieved: " + AchievedText(values, decimalSeparator)};
}

std::string ChartLegendSummary(const std::vector<TChartLegendEntry>& entries) {
    if (entries.empty()) return "Flow chart: no configured devices.";
    std::string text = "Flow chart.";
    for (const TChartLegendEntry& entry : entries) text += " " + entry.Planned + "; " + entry.Achieved + ".";
    return text;
}

std::optional<double> PlannedSetpoint_pct(const TDeviceInfo& device) {
    return PlannedSetpoint_pct(device, TParsedSegmentProgram(device.SegmentProgram));
}

std::optional<double> PlannedSetpoint_pct(const TDeviceInfo& device, const TParsedSegmentProgram& program) {
    switch (device.ControlMode) {
        case dcmDirect:
            return device.Setpoint_pct;
        case dcmSegment:
            return ProgramAt(program, device.RunRules(), device.ProgramTime_min()).Setpoint_pct;
        case dcmIdle:
            break;
    }
    return std::nullopt;
}

// --- The engine's side ---------------------------------------------------------------------------

void TEngine::KeepAchievedFlow(const TDeviceInfo& device, std::optional<double> flow) {
    achievedFlows_[std::string(TrimBlanksAndControls(device.COMPort))] = flow;
}

TChartLegendValues TEngine::ChartLegendValues(const TDeviceInfo& device) const {
    TChartLegendValues values;
    values.NameRole = device.NameRole;
    values.COMPort = std::string(TrimBlanksAndControls(device.COMPort));
    values.Planned_pct = PlannedSetpoint_pct(device, ParsedProgram(device));
    values.Unit = device.FlowUnitUser.Name;
    values.FullScaleUnknown = !device.FullScaleKnown();
    values.FullScale = FullScaleInUserUnit(device, settings_.DecimalSeparator);
    const auto achieved = achievedFlows_.find(values.COMPort);
    if (achieved != achievedFlows_.end()) {
        values.Achieved = achieved->second;
        values.AchievedUnknown = !achieved->second;
    }
    return values;
}

std::vector<TChartLegendEntry> TEngine::ChartLegend() const {
    std::vector<TChartLegendEntry> entries;
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured())
            entries.push_back(ChartLegendEntry(ChartLegendValues(device), settings_.DecimalSeparator));
    return entries;
}

std::string TEngine::ChartSummary() const { return ChartLegendSummary(ChartLegend()); }

}  // namespace tessaro
