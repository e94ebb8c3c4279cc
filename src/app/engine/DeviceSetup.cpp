#include "engine/DeviceSetup.h"

#include <algorithm>
#include <cstdio>

#include "gases/GasMixtures.h"
#include "mfc/AlicatMFCThread.h"
#include "protocol/PSD4Protocol.h"
#include "pump/PSD4_Speeds.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

namespace {

constexpr double kFullScalePerSyringeMicrolitre = 25;  // µL/min of full scale per µL of syringe
constexpr double kPsiPerBar = 14.5038;
constexpr double kMicrogramsPerMicrolitre = 1000;  // the planning record counts water in µg
constexpr const char* kMassUnitName = "g/min";
constexpr const char* kVolumeUnitName = "ml/min";
constexpr const char* kFlowPattern = "### ##0.### ### ###";
constexpr const char* kPumpFlowPattern = "####0.### ###";
constexpr const char* kPumpErrorPattern = "###0.###";

const char* const kReferenceConditionRows[] = {
    "ºC    ºF     Bar      Standard",
    "n/a    n/a   n/a      g, grams",
    "0      32    1.01325  NIST, ISO 10780, (IUPAC until 1982)",
    "20     68    1.01325  EPA, NIST",
    "25     77    1.01325  SATP, EPA",
    "0      32    1        IUPAC since 1982",
    "0      32    1.01325  DIN 1343:1990",
    "15     59    0.9999   U.S. Army Standard Metro (RH: 78%)",
    "15     59    1.00000  SPE",
    "15     59    1.0133   ISO 2314, ISO 3977-2, ASHRAE Fundamentals Handbook (RH: 60%)",
    "15     59    1.013    FAA",
    "15     59    1.01325  ICAO's ISA, ISO 13443, EEA, EGIA (SI Definition)",
    "15     59    1.01325  ISO 2533:1975, ISO 13443:2005, ISO 7504:2015",
    "15.56  60    1.0133   SPE, U.S. OSHA, SCAQMD",
    "15.56  60    1.016    EGIA (Imperial System Definition)",
    "15.56  60    1.0135   U.S. DOT (SCF)",
    "20     68    1.00000  CAGI",
    "20     68    1.013    ISO 5011 (RH: 50%)",
    "20     68    1.0133   GOST 2939-63",
    "20     68    1.01325  EN 14511-1:2013",
    "21.11  70    1.013    AMCA, air density = 0.075 lbm/ft3. This AMCA standard applies only to air;",
    "22     71.6  1.01325  American Association of Physicists in Medicine (RH: 20-80%)",
};

std::string ProgramStateText(const TDeviceInfo& device) {
    if (device.Run.Pause == TProgramPause::Hold) return "Hold";
    if (device.Run.Pause == TProgramPause::Holdback) return "Holdback";
    if (device.Run.Ended) return "Ended";
    if (device.ProgramRepeat <= 1) return "Segment";
    return "Segment " + std::to_string(device.Run.Cycle) + "/" + std::to_string(device.ProgramRepeat);
}

std::string StateText(const TDeviceInfo& device) {
    if (!device.IsConfigured()) return "Unknown";
    if (device.NoReply) return "No reply";
    if (device.Watch.Deviation && device.ControlMode != dcmIdle) return "Deviation";
    switch (device.ControlMode) {
        case dcmSegment:
            return ProgramStateText(device);
        case dcmDirect:
            return "Direct";
        case dcmIdle:
            return "Ready";
    }
    return "Unknown";
}

std::string GasShortName(std::int32_t fluidID) {
    TGasItem gas;
    if (fluidID == -1)
        GetGas_ID(fluidID, gas);
    else
        TryGetGas_ID(fluidID, gas);
    return gas.NameShort;
}

std::string DeviceColumnText(const TDeviceInfo& device) {
    if (!IsMixerController(device.DevType)) return DeviceTypeName(device.DevType);
    return DeviceTypeName(device.DevType) + ":" + GasShortName(device.FluidID);
}

// Collapses runs of blanks to one, as the pump display always has.
std::string SingleBlanks(std::string text) {
    std::string out;
    for (const char c : text)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

// "Desired/Achievable || 12.5 / 12.498 || µl/min || Relative error:0.016 %"
std::string PumpFlowText(const TPumpSpeedDetails& plan, const std::string& unitName, char separator) {
    const double achieved = plan.AchievedDispense_µgpm / kMicrogramsPerMicrolitre / plan.FluidDensity;
    return SingleBlanks(
        "Desired/Achievable || " +
        FormatPattern(plan.DesiredDispense_µgpm / kMicrogramsPerMicrolitre, kPumpFlowPattern, separator) + " / " +
        FormatPattern(achieved, kPumpFlowPattern, separator) + " || " + unitName +
        " || Relative error:" + FormatPattern(plan.Error_pct, kPumpErrorPattern, separator) + " %");
}

TFlowDisplays PumpFlowDisplays(const TDeviceInfo& device, double segmentPct, double directPct, char separator) {
    TFlowDisplays shown;
    shown.MaxFlow = device.MaxFlow_µlpm;
    shown.UnitName = device.FlowUnitUser.Name;
    for (auto [percent, text] : {std::pair{segmentPct, &shown.SegmentResult}, {directPct, &shown.DirectResult}}) {
        const TPumpSpeedDetails plan = PlanPumpDispense(device, percent / 100, separator);
        *text = PumpFlowText(plan, device.FlowUnitUser.Name, separator);
        shown.PumpCommands.push_back(plan.Command);
    }
    return shown;
}

// The unit's name after the word that stands for a flow not known.
TFlowDisplays UnknownFlowDisplays(const TDeviceInfo& device) {
    TFlowDisplays shown;
    shown.UnitName = device.FlowUnitUser.Name;
    shown.SegmentResult = shown.DirectResult = std::string(kUnknownFlowText) + " " + shown.UnitName;
    return shown;
}

std::optional<TFlowDisplays> FlowControllerDisplays(const TDeviceInfo& device, double segmentPct, double directPct,
                                                    char separator) {
    if (!device.FullScaleKnown()) return UnknownFlowDisplays(device);
    TGasFlowDetails source = FlowUnitMlnAir();
    const double fullScale = device.FlowUnitDevice.GasFlowMax();
    source.GasFlowValue = fullScale;
    source.GasMolarMass = device.FlowUnitUser.GasMolarMass;
    TGasFlowDetails target = device.FlowUnitUser;
    std::string errors, feedback;
    if (!GasFlowConversion(source, target, errors, feedback, separator)) return std::nullopt;

    TFlowDisplays shown;
    shown.MaxFlow = target.GasFlowValue;
    shown.UnitName = target.Name;
    for (auto [percent, text] : {std::pair{segmentPct, &shown.SegmentResult}, {directPct, &shown.DirectResult}}) {
        source.GasFlowValue = fullScale * percent / 100;
        if (GasFlowConversion(source, target, errors, feedback, separator))
            *text = FormatPattern(target.GasFlowValue, kFlowPattern, separator) + " " + target.Name;
    }
    return shown;
}

}  // namespace

void StopDevice(TDeviceInfo& device) {
    // A held program ends with the stop.
    device.EndPause();
    device.ControlMode = dcmIdle;
    device.Setpoint_pct = 0;
    if (device.ThreadMFC != nullptr) device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 0;
    if (device.ThreadPump != nullptr) {
        device.ThreadPump->GUIOut.Command = kPumpTerminateProgram;
        device.ThreadPump->GUIOut.Setpoint = 0;
    }
}

bool AcceptSyringeSize(TDeviceInfo& device, double size) {
    if (std::find(kSyringeSizes_µL.begin(), kSyringeSizes_µL.end(), size) == kSyringeSizes_µL.end()) {
        ShowMessage("Invalid syring volume, value ignored");
        return false;
    }
    device.MaxFlow_µlpm = kFullScalePerSyringeMicrolitre * size;
    device.SyringeSizeµL = size;
    StoreDevice(device);
    return true;
}

const std::vector<std::string>& ReferenceConditionRows() {
    static const std::vector<std::string> rows(std::begin(kReferenceConditionRows), std::end(kReferenceConditionRows));
    return rows;
}

std::optional<TReferenceCondition> ReferenceConditionOfRow(int row) {
    const std::vector<std::string>& rows = ReferenceConditionRows();
    if (row < kPredefinedGramsRow || row >= static_cast<int>(rows.size())) return std::nullopt;
    TReferenceCondition condition;
    if (row == kPredefinedGramsRow) {
        condition.UnitName = kMassUnitName;
        condition.Grams = true;
        return condition;
    }
    const std::vector<std::string_view> words = SplitAtBlankRuns(rows[static_cast<std::size_t>(row)]);
    condition.UnitName = kVolumeUnitName;
    condition.TemperatureC = StrToFloatDot(std::string(words.at(0)));
    condition.PressureBar = StrToFloatDot(std::string(words.at(2)));
    return condition;
}

std::string FahrenheitNote(double celsius, char separator) {
    return FormatGeneral(TemperatureConversion(tcCtoF, celsius), separator) + "ºF";
}

std::string PsiNote(double bar, char separator) { return FormatPattern(bar * kPsiPerBar, "0.000", separator) + " psi"; }

std::string BlueGreenRedCode(TRtColor color) {
    const unsigned red = (color >> 16) & 0xFF;
    const unsigned green = (color >> 8) & 0xFF;
    const unsigned blue = color & 0xFF;
    char text[16];
    std::snprintf(text, sizeof text, "%08u", (blue << 16) | (green << 8) | red);
    return text;
}

std::string DeviceCaption(const std::string& nameRole, const std::string& comPort) {
    const std::string port(TrimBlanksAndControls(comPort));
    return nameRole.empty() ? port : nameRole + " " + port;
}

TDeviceRowTexts DeviceListRow(const TDeviceInfo& device) {
    return {device.COMPort, "Unknown", InstrumentName(device.DevType), DeviceTypeName(device.DevType), device.NameRole};
}

std::string DeviceStateText(const TDeviceInfo& device) { return StateText(device); }

TDeviceRowTexts ShownDeviceListRow(const TDeviceInfo& device) {
    return {device.COMPort, StateText(device), InstrumentName(device.DevType), DeviceColumnText(device),
            device.NameRole};
}

TPumpSpeedDetails PlanPumpDispense(const TDeviceInfo& device, double fraction, char separator) {
    // The rate models scale with the stroke volume: a pump planned for another syringe
    // would dispense a different rate.
    TPumpSpeedDetails details{};
    details.Init();
    if (device.SyringeSizeµL > 0) details.SyringeVolume_µl = device.SyringeSizeµL;
    details.DesiredDispense_µgpm = fraction * device.MaxFlow_µlpm * kMicrogramsPerMicrolitre;
    PlanPumpSpeed(details, separator);
    return details;
}

std::optional<double> FullScaleInUserUnit(const TDeviceInfo& device, char separator) {
    if (!device.FullScaleKnown()) return std::nullopt;
    if (device.DevType == dtPump) return device.MaxFlow_µlpm;
    TGasFlowDetails source = FlowUnitMlnAir();
    source.GasFlowValue = device.FlowUnitDevice.GasFlowMax();
    source.GasMolarMass = device.FlowUnitUser.GasMolarMass;
    TGasFlowDetails target = device.FlowUnitUser;
    std::string errors, feedback;
    if (!GasFlowConversion(source, target, errors, feedback, separator)) return std::nullopt;
    return target.GasFlowValue;
}

std::optional<TFlowDisplays> FlowDisplaysOf(const TDeviceInfo& device, double segmentPct, double directPct,
                                            char separator) {
    if (device.DevType == dtPump) return PumpFlowDisplays(device, segmentPct, directPct, separator);
    return FlowControllerDisplays(device, segmentPct, directPct, separator);
}

}  // namespace tessaro
