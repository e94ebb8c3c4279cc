// Start-up steps that draw nothing, and the orderly end of every worker at close and at
// Reset Devices.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <system_error>
#include <utility>

#include "engine/Clock.h"
#include "engine/Engine.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

using namespace std::chrono_literals;

// The window thread serves the workers' exchanges this often while it waits for them.
constexpr auto kWaitStep = 20ms;
constexpr auto kWaitReport = 500ms;
constexpr auto kBetweenFrees = 50ms;
constexpr auto kConfirmedEnd = 1000ms;

bool HasUnconfirmedWorker(const TDeviceInfo& device) {
    if (device.ThreadMFC != nullptr && !device.ThreadMFC->GUIIn.IsTerminated) return true;
    return device.ThreadPump != nullptr && !device.ThreadPump->GUIIn.IsTerminated;
}

// A worker that confirmed its stop has handed over its last records and is only leaving
// its loop; it is given a moment to end on its own before it is freed.
template <typename Worker>
Worker* EndedWorker(Worker* worker) {
    if (worker != nullptr && worker->GUIIn.IsTerminated) worker->wait(QDeadlineTimer(kConfirmedEnd));
    return worker;
}

}  // namespace

void TEngine::FormCreate() {
    SetTimeUnit("MINUTE");
    const bool programs = CreateFolder(SegmentProgramsFolder());
    const bool logs = CreateFolder(LogsFolder());
    if (logs) OpenScreenLog();
    if (programs && logs) MM("Segment programs and log files are kept in " + settings_.DataFolder.string());
}

bool TEngine::CreateFolder(const std::filesystem::path& folder) {
    std::error_code failed;
    if (std::filesystem::is_directory(folder, failed)) return true;
    std::filesystem::create_directories(folder, failed);
    if (!failed) return true;
    MM("Creating the folder " + folder.string() + " failed: " + failed.message());
    return false;
}

void TEngine::FormClose() {
    SaveAtClose();
    TerminateThreads();
}

void TEngine::RequestThreadsStop() {
    for (TDeviceInfo& device : DevicesLocal()) {
        if (device.IsConfigured()) StopDevice(device);
        if (device.ThreadMFC != nullptr) device.ThreadMFC->GUIOut.ToTerminate = true;
        if (device.ThreadPump != nullptr) device.ThreadPump->GUIOut.ToTerminate = true;
    }
}

int TEngine::ActiveThreadCount() const {
    int count = 0;
    for (const TDeviceInfo& device : DevicesLocal()) {
        if (device.ThreadMFC != nullptr && !device.ThreadMFC->GUIIn.IsTerminated) ++count;
        if (device.ThreadPump != nullptr && !device.ThreadPump->GUIIn.IsTerminated) ++count;
    }
    return count;
}

bool TEngine::TerminateThreads() {
    // A tick or a handler run from the wait below must not start a second shutdown.
    if (terminating_) return true;
    terminating_ = true;

    window_.BeginShutdownWait(kShutdownCaption, kEmergencyText);
    QCoreApplication::processEvents();
    MM("DevicesLocal size: " + std::to_string(DevicesLocal().size()));
    const int initialCount = ActiveThreadCount();
    MM("Active threads: " + std::to_string(initialCount));
    MM("Mark threads to stop");
    RequestThreadsStop();
    WaitForStopConfirmations(initialCount);
    if (ActiveThreadCount() > 0) AbandonUnconfirmedWorkers();
    MM("Active threads: " + std::to_string(ActiveThreadCount()));

    MM("Terminate threads");
    FreeWorkersAndLeds();
    MM("All threads terminated, marking devices unconfigured");
    window_.SetAllRowsState("Unknown");
    MarkDevicesUnconfigured();

    window_.EndShutdownWait();
    window_.ClearGraph(true);
    terminating_ = false;
    return true;
}

void TEngine::WaitForStopConfirmations(int initialCount) {
    // Engine ticks that fall due meanwhile still run, and keep the workers' records moving.
    int lastReported = -1;
    const auto reportCount = [&] {
        lastReported = ActiveThreadCount();
        MM("Waiting for threads to stop. Active threads: " + std::to_string(lastReported) + "/" +
           std::to_string(initialCount));
    };
    const std::chrono::milliseconds start = MonotonicNow();
    std::chrono::milliseconds lastReport = start;
    while (ActiveThreadCount() > 0) {
        QCoreApplication::processEvents();
        if (ActiveThreadCount() == 0) break;
        if (MonotonicNow() - start >= settings_.ShutdownBound) return;
        CurrentClock().Sleep(kWaitStep);
        if (MonotonicNow() - lastReport >= kWaitReport) {
            lastReport = MonotonicNow();
            reportCount();
        }
    }
    // A wait that ended with every stop confirmed closes with its count, 0, however short
    // it was.
    if (initialCount > 0 && lastReported != 0) reportCount();
}

void TEngine::AbandonUnconfirmedWorkers() {
    // An instrument that never confirms its stop (unplugged, powered off, jammed) must not
    // keep the program from closing. The workers are abandoned before anyone is told, so
    // the close ends within its bound whatever the operator does; the operator is told how
    // to make sure no gas flows, and which devices, where it stays readable after the
    // window has gone (the terminal) and without a box that waits for a click.
    std::string unconfirmed;
    for (TDeviceInfo& device : DevicesLocal()) {
        if (!HasUnconfirmedWorker(device)) continue;
        if (device.ThreadMFC != nullptr) device.ThreadMFC->Abandon = true;
        if (device.ThreadPump != nullptr) device.ThreadPump->Abandon = true;
        MM("Device did not confirm its stop: " + device.NameRole + " (" + device.COMPort + ")");
        unconfirmed += (unconfirmed.empty() ? "" : ", ") + device.NameRole + " (" + device.COMPort + ")";
    }
    const std::string notice =
        std::string(kEmergencyText) + "\nDevices that did not confirm their stop: " + unconfirmed;
    qWarning().noquote() << QString::fromStdString(notice);
    window_.ShowNotice(notice);
}

void TEngine::FreeWorkersAndLeds() {
    std::vector<TDeviceInfo>& devices = DevicesLocal();
    for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
        // The references are cleared before the workers go, so nothing can reach a freed
        // one. Freeing a worker waits until its thread has ended.
        delete EndedWorker(std::exchange(device->ThreadMFC, nullptr));
        delete EndedWorker(std::exchange(device->ThreadPump, nullptr));
        device->LastHandledSequence = 0;
        if (QObject* led = std::exchange(device->Led, nullptr)) window_.FreeLed(led);
        Pause(kBetweenFrees);
    }
}

void TEngine::MarkDevicesUnconfigured() {
    std::vector<TDeviceInfo>& devices = DevicesLocal();
    for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
        device->FluidID = 0;
        device->SegmentProgram.clear();
        window_.ShowDevice(*device);
    }
}

}  // namespace tessaro
