// "Stop all flows": every configured device to idle at once, then the workers' confirmations
// followed on the engine's ticks, so nothing waits for an instrument.

#include <QCoreApplication>
#include <algorithm>

#include "engine/Clock.h"
#include "engine/Engine.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

constexpr const char* kStopAllPrefix = "Stop all flows: ";
// The window thread serves the workers' exchanges this often while it waits for their stop.
constexpr std::chrono::milliseconds kStopWaitStep{20};

// The number a worker raises with each report: a controller's status reading, a pump's pass.
std::uint64_t ReportSequence(const TDeviceInfo& device) {
    if (device.ThreadMFC != nullptr) return device.ThreadMFC->GUIIn.StatusSequence;
    if (device.ThreadPump != nullptr) return device.ThreadPump->GUIIn.PassSequence;
    return 0;
}

// A controller confirms with a reading taken after the request that shows setpoint 0, a pump
// with a pass after the request that reports its program ended. The first report after the
// request may come from an exchange begun before it (a reading of the setpoint the
// controller had before the program, a reply already on its way): only a later one was
// surely asked for after the stop.
bool StopConfirmed(const TDeviceInfo& device, std::uint64_t sequenceAtRequest) {
    if (ReportSequence(device) < sequenceAtRequest + 2) return false;
    if (device.ThreadMFC != nullptr) return device.ThreadMFC->GUIIn.DeviceStatus.SetpointFromDevice == 0;
    return device.ThreadPump->GUIIn.Setpoint == 0;
}

const TDeviceInfo* ConfiguredDevice(const std::string& port) {
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.COMPort == port && device.IsConfigured()) return &device;
    return nullptr;
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void TEngine::StopAllFlows() {
    ++stopAllCount_;
    pendingStops_.clear();
    stopRequestedAt_ = MonotonicNow();
    std::vector<std::string> names;
    std::vector<std::string> ports;
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured()) ports.push_back(device.COMPort);
    for (const std::string& port : ports) {
        TDeviceInfo device;
        if (!FindDevice(port, device)) continue;
        // Named as the legend and the CSV name it: two demo devices share their name.
        const std::string caption = DeviceCaption(device.NameRole, device.COMPort);
        StopDevice(device);
        if (!StoreDevice(device)) MM("Stopping device failed for: " + caption);
        window_.ShowDeviceRow(device);
        pendingStops_.push_back({device.COMPort, caption, ReportSequence(device)});
        names.push_back(caption);
    }
    MM(kStopAllPrefix +
       (names.empty() ? std::string("no device is configured") : "idle at 0 % asked of " + JoinedNames(names)));
    // Nothing is left to resume after a restart.
    RemoveRunState();
}

void TEngine::WatchStopConfirmations() {
    if (pendingStops_.empty()) return;
    LogStopConfirmations();
    if (!pendingStops_.empty() && MonotonicNow() - stopRequestedAt_ >= StopConfirmationBound) ReportSilentStops();
}

void TEngine::LogStopConfirmations() {
    std::vector<TPendingStop> waiting;
    for (const TPendingStop& pending : pendingStops_) {
        const TDeviceInfo* device = ConfiguredDevice(pending.Port);
        // A device whose worker has been ended meanwhile has been stopped by that end.
        if (device == nullptr) continue;
        if (StopConfirmed(*device, pending.SequenceAtRequest)) {
            const std::string confirmed = kStopAllPrefix + pending.Caption + " confirmed the stop";
            MM(confirmed);
            Notify(TEngineEventKind::StopConfirmed, device, confirmed);
        } else
            waiting.push_back(pending);
    }
    pendingStops_ = std::move(waiting);
}

std::vector<std::string> TEngine::ReportSilentStops() {
    std::vector<std::string> silent;
    for (const TPendingStop& pending : pendingStops_) silent.push_back(pending.Caption);
    pendingStops_.clear();
    if (silent.empty()) return silent;
    const std::string unconfirmed = std::string(kStopAllPrefix) + "no confirmation of the stop from " +
                                    JoinedNames(silent) + " within " +
                                    std::to_string(StopConfirmationBound.count() / 1000) +
                                    " s. Check these devices; in case of emergency, cut their power.";
    ReportProblem(unconfirmed);
    Notify(TEngineEventKind::StopUnconfirmed, nullptr, unconfirmed);
    return silent;
}

std::vector<std::string> TEngine::StopAllFlowsAndWait() {
    StopAllFlows();
    while (!pendingStops_.empty() && MonotonicNow() - stopRequestedAt_ < StopConfirmationBound) {
        QCoreApplication::processEvents();
        LogStopConfirmations();
        if (!pendingStops_.empty()) CurrentClock().Sleep(kStopWaitStep);
    }
    return ReportSilentStops();
}

void TEngine::FormCloseAfterStopAll() {
    const std::chrono::milliseconds bound = settings_.ShutdownBound;
    settings_.ShutdownBound = std::min(bound, kEndAfterStopBound);
    FormClose();
    settings_.ShutdownBound = bound;
}

}  // namespace tessaro
