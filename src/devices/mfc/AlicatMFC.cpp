#include "mfc/AlicatMFC.h"

#include <chrono>
#include <cmath>
#include <span>

#include "clock/Clock.h"
#include "protocol/ReplyText.h"
#include "text/NumberFormat.h"

Q_LOGGING_CATEGORY(lcMFC, "MFC", QtWarningMsg)

namespace tessaro {

namespace {

void Write(const std::string& line) { qCInfo(lcMFC).noquote() << QString::fromStdString(line); }
void Warn(const std::string& line) { qCWarning(lcMFC).noquote() << QString::fromStdString(line); }

std::string StatusLineFault(const AlicatStatusResult& parsed) {
    switch (parsed.Outcome) {
        case AlicatStatusParse::TooFewFields:
            return "not a full status line";
        case AlicatStatusParse::OtherUnit:
            return "status line of another unit";
        case AlicatStatusParse::NotANumber:
            return "status field " + std::to_string(parsed.BadField) + " is not a number";
        case AlicatStatusParse::Applied:
            break;
    }
    return {};
}

}  // namespace

double LocalNowAsDateTime() { return LocalNowDays(); }

bool SendASCII(const std::string& aPort, const std::string& aCommand, bool WaitForResponse, std::string& aStatus,
               std::string& aResponse, const TSendASCIIWait& wait) {
    const std::chrono::milliseconds start = MonotonicNow();
    TSerialPort port;
    port.fPort = aPort;
    port.fBaudRate = kAlicatBaudRate;
    port.fDebug = true;
    port.fReadoutTimeoutMS = kSendASCIIReadoutTimeoutMS;
    port.fWindowsReadLoopTimeoutMS = wait.PollMS;
    port.fInterrupt = wait.Interrupt;
    if (wait.OwnRepliesOnly && !aCommand.empty()) {
        const char unit = aCommand.front();
        port.fIsOwnReply = [unit](std::string_view line) { return IsAlicatReplyFrom(unit, line); };
    }
    aStatus = "Untested";

    TSerialResponse response{};
    port.Send2(aCommand + "\r", WaitForResponse, response);
    aResponse = response.Response;
    aStatus = response.Status;
    const bool ok = response.Status.empty();
    if (!ok) Warn("SendASCII return status <>\"\": " + response.Status);

    aStatus += "\rDuration: " + FormatSecondsMillis((MonotonicNow() - start).count());
    return ok;
}

TAlicatMFC::TAlicatMFC() {
    aPort.fIsOwnReply = [this](std::string_view line) { return IsAlicatReplyFrom(aDeviceID, line); };
}

TSerialResponse TAlicatMFC::Exchange(const std::string& command) {
    TSerialResponse response{};
    aPort.Send2(command, true, response);
    return response;
}

bool TAlicatMFC::Initialize(TAlicatInitialize Scheme) {
    FailedInitializeSteps.clear();
    if (Scheme != TAIKestraLumora) return false;
    std::string report;
    const std::span<const AlicatInitStep> sequence = AlicatInitSequence();
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        if (aPort.fInterrupt != nullptr && aPort.fInterrupt->load()) return false;  // the worker is ending
        const AlicatInitStep& step = sequence[i];
        std::string status, reply;
        const bool answered = SendASCII(aPort.fPort, std::string(step.Command), true, status, reply,
                                        {aPort.fWindowsReadLoopTimeoutMS, aPort.fInterrupt, true});
        if (answered && (step.Expected.empty() || reply == step.Expected)) continue;
        FailedInitializeSteps.push_back(i);
        const std::string label =
            step.FailureLabel.empty() ? "No answer to " + std::string(step.Command) : std::string(step.FailureLabel);
        report += label + "\r\n" + status + "\r\n" + reply + "\r\n";
    }
    if (report.empty()) return true;
    Warn(report);
    return false;
}

bool TAlicatMFC::ChangeGas(TAlicatData& theData) {
    const std::int32_t wanted = theData.GasID;
    if (wanted < kAlicatMinGasID || wanted > kAlicatMaxGasID) return false;
    if (wanted == GasID) {
        if (FullScalePending) ReadFullScale();
        return true;
    }

    Write("Gas change is necessary");
    bool result = false;
    for (int attempt = 0; attempt < 3 && GasID != wanted; ++attempt) {
        Write("Apply gas " + std::to_string(wanted));
        const TSerialResponse response = Exchange(AlicatGasCommand(aDeviceID, wanted));
        if (response.Status.empty()) {
            GasID = wanted;
            result = true;
        } else {
            Warn("Gas change failed: " + response.Status);
            result = false;
        }
    }
    // The old gas's full scale does not hold for the new one: unknown until read.
    if (result) {
        MaxFlow_gpm = 0;
        FullScalePending = true;
    }
    ReadFullScale();
    return result;
}

void TAlicatMFC::ReadFullScale() {
    const TSerialResponse query = Exchange(AlicatFullScaleQuery(aDeviceID));
    if (!query.Status.empty()) {
        Warn("Full scale not read: " + query.Status);
        return;
    }
    const AlicatFullScale fullScale = ParseAlicatFullScale(query.Response);
    if (!fullScale.FourFields) {
        Warn("Full scale not read from: " + query.Response);
        return;
    }
    Write("Max flow: " + fullScale.Value + " " + fullScale.Unit);
    if (!fullScale.MaxFlow_gpm) {
        Warn("Full scale is not a number: " + fullScale.Value);
        return;
    }
    MaxFlow_gpm = *fullScale.MaxFlow_gpm;
    FullScalePending = false;
}

bool TAlicatMFC::ReadStatus(TAlicatData& theData) {
    qCDebug(lcMFC).noquote() << QString::fromStdString("Enter ReadS: " + aPort.fPort);
    const auto leave = [] { qCDebug(lcMFC) << "Leave ReadS"; };

    const TSerialResponse response = Exchange(AlicatPollCommand(aDeviceID));
    if (!response.Status.empty()) {
        Warn("Fail: " + response.Status);
        leave();
        return false;
    }
    const AlicatStatusResult parsed = ParseAlicatStatus(response.Response, aDeviceID, LocalNow(), theData);
    if (parsed.Outcome != AlicatStatusParse::Applied) {
        Warn("Fail: " + StatusLineFault(parsed) + ": " + response.Response);
        leave();
        return false;
    }
    theData.Raw = Role + ":" + response.Response;
    leave();
    return true;
}

bool TAlicatMFC::ApplySetpoint_pct(TAlicatData& theData) {
    if (!std::isfinite(theData.Setpoint_pct)) {
        Warn("Apply setpoint failed: the setpoint is not a number, on:" + aPort.fPort);
        return false;
    }
    Write("Apply setpoint " + FormatGeneral(theData.Setpoint_pct) + "% on:" + aPort.fPort);
    const std::optional<std::string> command = AlicatSetpointCommand(aDeviceID, theData.Setpoint_pct);
    if (!command) {
        Warn("Apply setpoint failed: the setpoint is out of range");
        return false;
    }
    const TSerialResponse response = Exchange(*command);
    if (!response.Status.empty()) {
        Warn("Apply setpoint failed: " + response.Status);
        return false;
    }
    return true;
}

}  // namespace tessaro
