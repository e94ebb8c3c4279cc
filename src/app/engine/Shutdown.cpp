// Start-up steps that draw nothing, and the orderly end of every worker at close and at
// Reset Devices.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <algorithm>
#include <system_error>
#include <utility>

#include "engine/AtomicFile.h"
#include "engine/Clock.h"
#include "engine/DataTableText.h"
#include "engine/Engine.h"
#include "engine/LockedMessages.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Messages.h"
#include "text/TextScan.h"

namespace tessaro {

// Filled by workers, emptied by the window thread.
class TClosingMessages : public TLockedMessages {};

namespace {

using namespace std::chrono_literals;

// The window thread serves the workers' exchanges this often while it waits for them.
constexpr auto kWaitStep = 20ms;
constexpr auto kWaitReport = 500ms;
constexpr auto kBetweenFrees = 50ms;
constexpr auto kConfirmedEnd = 1000ms;
// An abandoned worker leaves after the instrument exchange it is in.
constexpr auto kAbandonedEnd = 10000ms;

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
    if (programs && logs)
        MM("Segment programs and log files are kept in " + PrintableOnly(settings_.DataFolder.string()));
    RemoveStaleLogTemporaries();
    RemoveStaleTemporaries(settings_.DataFolder, [](std::string_view target) { return target == kRunStateFileName; });
    // Before anything is sent to an instrument.
    StopInterruptedRun();
}

void TEngine::RemoveStaleLogTemporaries() {
    // A run killed while it wrote a log file, or exported the table, leaves the file's
    // temporary beside it. Only temporaries of names this program writes there are removed:
    // log files (also in the fallback folders) and CSV files in the log folder.
    const auto tell = [this](const std::filesystem::path& folder, const std::vector<std::string>& removed) {
        if (!removed.empty())
            MM("Removed " + std::to_string(removed.size()) + " unfinished temporary file(s) of an earlier run from " +
               PrintableOnly(folder.string()));
    };
    tell(LogsFolder(), RemoveStaleTemporaries(LogsFolder(), [](std::string_view target) {
             return IsLogFileName(target) || target.ends_with(".csv");
         }));
    for (const std::filesystem::path& folder : settings_.FallbackFolders)
        tell(folder, RemoveStaleTemporaries(folder, IsLogFileName));
}

bool TEngine::CreateFolder(const std::filesystem::path& folder) {
    std::error_code failed;
    if (std::filesystem::is_directory(folder, failed)) return true;
    std::filesystem::create_directories(folder, failed);
    if (!failed) return true;
    MM("Creating the folder " + PrintableOnly(folder.string()) + " failed: " + failed.message());
    return false;
}

void TEngine::FormClose() {
    SaveAtClose();
    TerminateThreads();
    // A normal close: nothing is left to resume.
    RemoveRunState();
}

void TEngine::RequestThreadsStop() {
    for (TDeviceInfo& device : DevicesLocal()) {
        if (device.IsConfigured()) StopDevice(device);
        if (device.ThreadMFC != nullptr) {
            device.ThreadMFC->GUIOut.ToTerminate = true;
            device.ThreadMFC->StopRequested = true;
        }
        if (device.ThreadPump != nullptr) {
            device.ThreadPump->GUIOut.ToTerminate = true;
            device.ThreadPump->StopRequested = true;
        }
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
    // A box would hold the wait below for as long as nobody clicks, and a worker whose
    // message waits for the window thread could never end.
    auto closingMessages = std::make_shared<TClosingMessages>();
    closingMessages_ = closingMessages;
    closingMessagesTold_.clear();
    const TMessageDiversion diversion([closingMessages](const std::string& text) { closingMessages->Add(text); });

    window_.BeginShutdownWait(kShutdownCaption, kEmergencyText);
    QCoreApplication::processEvents();
    MM("DevicesLocal size: " + std::to_string(DevicesLocal().size()));
    const int initialCount = ActiveThreadCount();
    MM("Active threads: " + std::to_string(initialCount));
    MM("Mark threads to stop");
    RequestThreadsStop();
    WaitForStopConfirmations(initialCount);
    if (ActiveThreadCount() > 0) {
        AbandonUnconfirmedWorkers();
        WaitForAbandonedWorkersToEnd();
    }
    MM("Active threads: " + std::to_string(ActiveThreadCount()));

    MM("Terminate threads");
    FreeWorkersAndLeds();
    TellClosingMessages();
    closingMessages_.reset();
    MM("All threads terminated, marking devices unconfigured");
    window_.SetAllRowsState("Unknown");
    MarkDevicesUnconfigured();

    window_.EndShutdownWait();
    window_.ClearGraph(true);
    RunStateChanged();
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
        TellClosingMessages();
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

void TEngine::WaitForAbandonedWorkersToEnd() {
    // Served meanwhile: the exchanges the workers still ask for, and any message of theirs
    // that was on its way to the window thread when the close began.
    const auto running = [](const TDeviceInfo& device) {
        return (device.ThreadMFC != nullptr && device.ThreadMFC->isRunning()) ||
               (device.ThreadPump != nullptr && device.ThreadPump->isRunning());
    };
    const std::chrono::milliseconds start = MonotonicNow();
    while (std::any_of(DevicesLocal().begin(), DevicesLocal().end(), running) &&
           MonotonicNow() - start < kAbandonedEnd) {
        QCoreApplication::processEvents();
        TellClosingMessages();
        CurrentClock().Sleep(kWaitStep);
    }
}

void TEngine::TellClosingMessages() {
    if (!closingMessages_) return;
    for (const std::string& text : closingMessages_->Take()) {
        // A message raised on every pass of a worker is told once.
        if (std::find(closingMessagesTold_.begin(), closingMessagesTold_.end(), text) != closingMessagesTold_.end())
            continue;
        closingMessagesTold_.push_back(text);
        // An instrument's reply in a message may hold line breaks of its own.
        MM(PrintableOnly(text));
        window_.ShowNotice(text);
    }
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
