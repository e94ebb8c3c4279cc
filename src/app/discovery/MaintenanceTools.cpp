#include "discovery/MaintenanceTools.h"

#include <algorithm>
#include <memory>

#include "discovery/BackgroundJobs.h"
#include "discovery/OperationWindow.h"
#include "mfc/AlicatMFC.h"
#include "protocol/AlicatMFCProtocol.h"
#include "pump/PSD4_Interface.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Messages.h"

namespace tessaro {

namespace {

constexpr double kPrimeStartWait_s = 60;
constexpr double kSyringeStartWait_s = 15;
constexpr double kCommandWait_s = 5;

constexpr const char* kNoPumpSelected = "No pump selected";
constexpr const char* kPumpConfigured = "Cannot perform on already configured and running pump";
constexpr const char* kPrimeSafety =
    "For safety, this will disable the form and stop any new changes on devices until completed. Software will be "
    "unresponsive until pump stops.";
constexpr const char* kSyringeSafety =
    "For safety, this will disable the form and stop any new changes on devices until completed.";
constexpr const char* kPrimeDone = "One priming loop done, software is now reponsive again.";
constexpr const char* kSyringeReady = "Change the syringe and click OK only after done.";
constexpr const char* kDeviceConfigured =
    "Device thread is running, cannot proceed. Initialize can only be performed before Configuration is first applied";
constexpr const char* kMfcInitializeStart = "Clicking OK will start initialization of MFC device.";
constexpr const char* kInitializationDone = "Initialization done.";
constexpr const char* kNoPumpInitialize = "There is no Initialize procedure for Pump device";
constexpr const char* kNoDemoInitialize = "There is no Initialize procedure for demo device";

// Connects, initialises, waits up to `startWait_s` for the pump to be free, sends `command`
// and waits up to 5 s for it to end. True when the pump was free in time both times.
bool RunPumpCommand(const std::string& port, double startWait_s, const std::string& command) {
    TPSD4 pump;
    pump.Connect(port);
    pump.Initialize(kPumpToolInitialisation);
    if (!pump.WaitUntilFree(startWait_s)) return false;
    TSerialResponse response;
    pump.SendCommand(command, response, true);
    return pump.WaitUntilFree(kCommandWait_s);
}

std::string WithoutTrailing(std::string_view text, char c) {
    while (!text.empty() && (text.back() == c || text.back() == '\r')) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace

std::string PrimingCommand(int loops) {
    return "V3000gIA24000OA0G" + std::to_string(std::clamp(loops, kMinPrimingLoops, kMaxPrimingLoops)) + "R";
}

std::string InitializationOutcome(const std::vector<std::size_t>& failedSteps) {
    if (failedSteps.empty()) return kInitializationDone;
    const std::span<const AlicatInitStep> sequence = AlicatInitSequence();
    std::string text = "Initialization failed: " + std::to_string(failedSteps.size()) + " of the " +
                       std::to_string(sequence.size()) + " commands did not succeed.";
    for (const std::size_t step : failedSteps) {
        if (step >= sequence.size()) continue;
        const AlicatInitStep& command = sequence[step];
        text += "\n" + std::to_string(step + 1) + ". \"" + WithoutTrailing(command.Command, '\r') + "\": " +
                (command.FailureLabel.empty() ? std::string("no answer")
                                              : WithoutTrailing(command.FailureLabel, ':'));
    }
    return text;
}

TMaintenanceTools::TMaintenanceTools(TOperationWindow& operations, TEngineTimer* timer)
    : operations_(operations), timer_(timer) {}

bool TMaintenanceTools::MayUsePump(const std::optional<std::string>& focusedPort, std::string& port) const {
    TDeviceInfo device;
    if (!focusedPort || !FindDevice(*focusedPort, device)) return false;
    if (device.DevType != dtPump) {
        ShowMessage(kNoPumpSelected);
        return false;
    }
    if (device.IsConfigured()) {
        ShowMessage(kPumpConfigured);
        return false;
    }
    port = device.COMPort;
    return true;
}

bool TMaintenanceTools::RunFramed(const std::string& caption, const std::function<void()>& work) {
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return false;
    }
    TOperationFrame frame(operations_, timer_, caption);
    operations_.OperationProgress(caption, 0, 1);
    RunJobsServingEvents({work}, [](std::size_t) {});
    operations_.OperationProgress(caption, 1, 1);
    return true;
}

void TMaintenanceTools::ButtonPrimePumpClick(const std::optional<std::string>& focusedPort, int loops) {
    std::string port;
    if (!MayUsePump(focusedPort, port)) return;
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return;
    }
    ShowMessage(kPrimeSafety);
    bool done = false;
    const std::string command = PrimingCommand(loops);
    RunFramed("Priming the pump on " + port,
              [&] { done = RunPumpCommand(port, kPrimeStartWait_s, command); });
    if (done) ShowMessage(kPrimeDone);
}

void TMaintenanceTools::ButtonChangeSyringeClick(const std::optional<std::string>& focusedPort) {
    std::string port;
    if (!MayUsePump(focusedPort, port)) return;
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return;
    }
    ShowMessage(kSyringeSafety);
    bool ready = false;
    RunFramed("Moving the pump on " + port + " for a syringe change",
              [&] { ready = RunPumpCommand(port, kSyringeStartWait_s, kChangeSyringeCommand); });
    if (ready) ShowMessage(kSyringeReady);
}

void TMaintenanceTools::ButtonDeviceInitializeClick(const std::optional<std::string>& focusedPort) {
    TDeviceInfo device;
    if (!focusedPort || !FindDevice(*focusedPort, device)) return;
    if (device.IsConfigured()) {
        ShowMessage(kDeviceConfigured);
        return;
    }
    if (device.DevType == dtPump) {
        ShowMessage(kNoPumpInitialize);
        return;
    }
    if (device.DevType == dtMFCDemo) {
        ShowMessage(kNoDemoInitialize);
        return;
    }
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return;
    }
    ShowMessage(kMfcInitializeStart);
    std::vector<std::size_t> failed;
    const std::string port = device.COMPort;
    const bool ran = RunFramed("Initializing the flow controller on " + port, [&] {
        TAlicatMFC mfc;
        mfc.aPort.fPort = port;
        mfc.aPort.fBaudRate = kAlicatBaudRate;
        mfc.Initialize(TAIKestraLumora);
        failed = mfc.FailedInitializeSteps;
    });
    if (ran) ShowMessage(InitializationOutcome(failed));
}

}  // namespace tessaro
