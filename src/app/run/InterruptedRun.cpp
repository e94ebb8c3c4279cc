#include "run/InterruptedRun.h"

#include <QFile>
#include <system_error>

#include "mfc/AlicatMFC.h"
#include "protocol/AlicatMFCProtocol.h"
#include "protocol/PSD4Protocol.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "serial/SerialPort.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr char kUnitID = 'A';
constexpr std::int32_t kPumpBaudRate = 9600;

std::string Caption(const TRunStateDevice& device) {
    return device.Name + " (" + DeviceTypeName(device.Kind) + " on " + device.Port + ")";
}

// An exchange's status names its failure; the time-out's ends in a line break.
std::string StatusText(const std::string& status) { return std::string(TrimBlanksAndControls(status)); }

void StopFlowController(const TRunStateDevice& device, TInterruptedDeviceStop& stop) {
    TSerialPort port;
    port.fPort = device.Port;
    port.fBaudRate = kAlicatBaudRate;
    port.fReadoutTimeoutMS = kSendASCIIReadoutTimeoutMS;
    port.fIsOwnReply = [](std::string_view line) { return IsAlicatReplyFrom(kUnitID, line); };
    TSerialResponse response;
    port.Send2(*AlicatSetpointCommand(kUnitID, 0), true, response);
    if (!response.Status.empty()) {
        stop.Failure = StatusText(response.Status);
        return;
    }
    stop.Reached = true;
    TAlicatData status;
    if (ParseAlicatStatus(response.Response, kUnitID, 0, status).Outcome != AlicatStatusParse::Applied) {
        stop.Failure = "its reply is no status line: " + PrintableOnly(response.Response);
        return;
    }
    stop.Confirmed = status.SetpointFromDevice == 0;
    if (!stop.Confirmed)
        stop.Failure = "its reply shows setpoint " + FormatGeneral(status.SetpointFromDevice) + " counts";
}

void StopPump(const TRunStateDevice& device, TInterruptedDeviceStop& stop) {
    TSerialPort port;
    port.fPort = device.Port;
    port.fBaudRate = kPumpBaudRate;
    port.fReadoutTimeoutMS = kSendASCIIReadoutTimeoutMS;
    TSerialResponse response;
    port.Send2(PumpWireCommand(kPumpDefaultAddress, kPumpTerminateProgram), true, response);
    if (!response.Status.empty()) {
        stop.Failure = StatusText(response.Status);
        return;
    }
    const PumpStatusDecode decoded = DecodePumpStatus(response.Response);
    if (!decoded.WellFormed) {
        stop.Failure = "its reply is no pump reply: " + PrintableOnly(response.Response);
        return;
    }
    stop.Reached = true;
    stop.Confirmed = !IsPumpErrorState(*decoded.State);
    if (!stop.Confirmed) stop.Failure = "it reports " + PumpStatusAsString(*decoded.State, decoded.Busy);
}

std::string StopLine(const TInterruptedDeviceStop& stop, tDeviceType kind) {
    if (stop.Simulated) return stop.Caption + ": simulated, nothing to send";
    const std::string sent = kind == dtPump ? "sent the pump's terminate command" : "sent 0 %";
    if (!stop.Reached) return stop.Caption + ": not reached (" + stop.Failure + "); check it and stop it by hand";
    if (!stop.Confirmed) return stop.Caption + ": " + sent + ", but " + stop.Failure;
    return stop.Caption + ": " + sent + ", confirmed";
}

bool ReadBounded(const std::filesystem::path& path, std::string& text, std::string& problem) {
    QFile file(QString::fromStdU16String(path.u16string()));
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString().toStdString();
        return false;
    }
    if (static_cast<std::uintmax_t>(file.size()) > kRunStateMaximumBytes) {
        problem = "larger than " + std::to_string(kRunStateMaximumBytes) + " bytes: no state file of this program";
        return false;
    }
    text = file.readAll().toStdString();
    return true;
}

}  // namespace

std::string TInterruptedRunCheck::ReportText() const {
    std::string text;
    for (const std::string& line : Report) text += line + "\n";
    return text;
}

TInterruptedDeviceStop StopInterruptedDevice(const TRunStateDevice& device) {
    TInterruptedDeviceStop stop;
    stop.Caption = Caption(device);
    if (device.Kind == dtMFCDemo)
        stop.Simulated = true;
    else if (device.Kind == dtPump)
        StopPump(device, stop);
    else
        StopFlowController(device, stop);
    return stop;
}

std::string ProgramStandText(const TRunStateDevice& device, char separator) {
    std::string text = FormatPattern(device.ProgramTime_min, "0.###", separator) + " min";
    if (device.Repeat > 1) text += ", cycle " + std::to_string(device.Cycle) + " of " + std::to_string(device.Repeat);
    if (device.Held) text += ", held";
    if (device.Ended) text += ", ended";
    return text;
}

std::vector<std::string> InterruptedRunReport(const TRunState& run, const std::vector<TInterruptedDeviceStop>& stops,
                                              char separator) {
    std::vector<std::string> lines;
    const std::string written =
        run.Written.isValid() ? "at " + run.Written.toString("yyyy-MM-dd hh:mm:ss").toStdString() : "at a time unknown";
    lines.push_back("The last run did not end cleanly; its state was saved " + written +
                    ". Its devices were stopped first:");
    for (std::size_t i = 0; i < stops.size() && i < run.Devices.size(); ++i)
        lines.push_back(StopLine(stops[i], run.Devices[i].Kind));
    std::string times = "Program times then: ";
    for (std::size_t i = 0; i < run.Devices.size(); ++i)
        times += (i == 0 ? "" : "; ") + run.Devices[i].Name + " " + ProgramStandText(run.Devices[i], separator);
    lines.push_back(times);
    lines.push_back(
        "Resume the interrupted run to continue each program from its time then; the time in between "
        "counts as a hold.");
    return lines;
}

TInterruptedRunCheck CheckInterruptedRun(const std::filesystem::path& stateFile, char separator) {
    TInterruptedRunCheck check;
    std::error_code failed;
    if (!std::filesystem::exists(stateFile, failed)) return check;
    const std::string where = PrintableOnly(stateFile.string());
    std::string text;
    std::string problem;
    if (!ReadBounded(stateFile, text, problem)) {
        check.Report.push_back("The run state file " + where + " could not be read: " + problem +
                               ". Nothing was sent to any device.");
        return check;
    }
    TRunState run;
    std::vector<std::string> problems;
    if (!ParseRunState(text, run, problems)) {
        check.Report.push_back("The file " + where + " is no run state this program can use: " + problems.front() +
                               ". Nothing was sent to any device.");
        return check;
    }
    std::vector<TInterruptedDeviceStop> stops;
    for (const TRunStateDevice& device : run.Devices) stops.push_back(StopInterruptedDevice(device));
    if (!run.Devices.empty()) check.Report = InterruptedRunReport(run, stops, separator);
    if (!problems.empty()) {
        check.Report.push_back("The run state file " + where + " has faults; what they concern was left alone:");
        for (const std::string& fault : problems) check.Report.push_back("  " + PrintableOnly(fault));
    }
    if (!run.Devices.empty() && run.Written.isValid()) check.Run = std::move(run);
    return check;
}

}  // namespace tessaro
