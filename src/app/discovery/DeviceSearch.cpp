#include "discovery/DeviceSearch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "discovery/BackgroundJobs.h"
#include "discovery/DeviceProbes.h"
#include "discovery/OperationWindow.h"
#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"
#include "text/Messages.h"
#include "text/TextScan.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>

#include "serial/PortNames.h"
#endif

namespace tessaro {

namespace {

constexpr const char* kUsualSerialGroup = "dialout";
constexpr std::size_t kPortsNamedInProgress = 3;

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : separator) + parts[i];
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The group that owns the port's device file, when the system says.
std::string OwningGroup(const std::string& port) {
#ifndef _WIN32
    struct stat info {};
    if (stat(PortDevicePath(port).c_str(), &info) == 0)
        if (const group* owner = getgrgid(info.st_gid)) return owner->gr_name;
#else
    (void)port;
#endif
    return kUsualSerialGroup;
}

// Opens and closes the port once, for the reason the system gives when it refuses.
std::string OpenRefusal(const std::string& port) {
    std::string reason;
    const SerialHandle handle = OpenSerialExclusive(port, reason);
    if (handle == InvalidSerialHandle()) return reason.empty() ? "refused" : reason;
    CloseSerial(handle);
    return {};
}

enum TRowColumn { colDevice = 3, colNameRole = 4 };

void StableSortByColumn(std::vector<TDeviceRowTexts>& rows, int column) {
    const auto index = static_cast<std::size_t>(column);
    std::ranges::stable_sort(
        rows, [index](const TDeviceRowTexts& a, const TDeviceRowTexts& b) { return LessIgnoringAsciiCase(a[index], b[index]); });
}

}  // namespace

TPortProbe ProbePort(const std::string& port) {
    TPortProbe probe;
    probe.Port = port;
    probe.OpenRefusal = OpenRefusal(port);
    probe.MfcFound = ProbeMfc(port, probe.Details, probe.Entry);
    if (!probe.MfcFound) probe.PumpFound = ProbePump(port, probe.Details, probe.Entry);
    return probe;
}

bool IsPlainPortName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

std::vector<std::string> PermissionAdvice(const std::string& port, const std::string& reason,
                                          const std::string& group) {
    if (!EndsWith(reason, std::strerror(EACCES)) && !EndsWith(reason, std::strerror(EPERM))) return {};
    return {"Port " + port + " may be used only by members of the group \"" + group + "\".",
            "To use it, add your user to that group (for example: sudo usermod -aG " + group +
                " $USER), then log out and in again, and restart the program."};
}

void SortDeviceRows(std::vector<TDeviceRowTexts>& rows) {
    StableSortByColumn(rows, colDevice);
    StableSortByColumn(rows, colNameRole);
}

TDeviceSearch::TDeviceSearch(TEngine& engine, TWindowPort& window, TOperationWindow& operations, TEngineTimer* timer)
    : engine_(engine), window_(window), operations_(operations), timer_(timer), lister_(ListComPorts) {}

bool TDeviceSearch::Searchdevices1Click() {
    if (searched_) {
        ShowMessage(kResearchNotSupported);
        return false;
    }
    if (OperationRunning()) {
        ShowMessage(kOperationBusyMessage);
        return false;
    }
    engine_.FlowDataSave(true, kSearchSaveSuffix);
    window_.ClearGraph(true);
    EmptyRegistry();
    engine_.MM("Searching for Kestra and Lumora devices, this may take a while");
    {
        TOperationFrame frame(operations_, timer_, "Searching for devices");
        const std::vector<std::string> ports = lister_();
        engine_.MM("Found ports: " + Joined(ports, ","));
        ProbeAll(ports);
        window_.AppendLogLine("");
        engine_.MM("Finished searching devices");
        window_.AppendLogLine("");
        engine_.MM("Click found devices to configure them");
    }
    searched_ = true;
    engine_.ClearDataTable();
    SortDevicesLocalArray();
    engine_.DataHeaderPending = true;
    operations_.ShowDeviceRows(rows_);
    return true;
}

// The demo devices go too. A device that was configured has a worker holding its port;
// the workers are ended first, as at shutdown, so none is left without its record.
void TDeviceSearch::EmptyRegistry() {
    const std::vector<TDeviceInfo>& devices = DevicesLocal();
    if (std::ranges::any_of(devices, [](const TDeviceInfo& device) { return device.IsConfigured(); }))
        engine_.TerminateThreads();
    DevicesLocal().clear();
    rows_.clear();
    operations_.ShowDeviceRows(rows_);
}

void TDeviceSearch::ProbeAll(const std::vector<std::string>& listed) {
    std::vector<std::string> ports;
    for (const std::string& port : listed) {
        if (!IsPlainPortName(port))
            engine_.MM("Port name \"" + port + "\" is not a device name: not probed");
        else if (std::ranges::find(ports, port) == ports.end())
            ports.push_back(port);
    }

    std::vector<TPortProbe> probes(ports.size());
    std::vector<bool> ended(ports.size(), false);
    std::size_t nextToLog = 0;
    int endedCount = 0;
    const int total = static_cast<int>(ports.size());

    const auto showProgress = [&] {
        std::vector<std::string> running;
        for (std::size_t i = 0; i < ports.size() && running.size() < kPortsNamedInProgress; ++i)
            if (!ended[i]) running.push_back(ports[i]);
        const bool more = total - endedCount > static_cast<int>(running.size());
        operations_.OperationProgress("Probing port " + Joined(running, ", ") + (more ? ", ..." : ""), endedCount,
                                      total);
    };

    std::vector<std::function<void()>> jobs;
    for (std::size_t i = 0; i < ports.size(); ++i)
        jobs.emplace_back([&probes, &ports, i] { probes[i] = ProbePort(ports[i]); });

    if (!ports.empty()) showProgress();
    // A port's block is written once every port before it has been written.
    RunJobsServingEvents(jobs, [&](std::size_t i) {
        ended[i] = true;
        ++endedCount;
        while (nextToLog < ports.size() && ended[nextToLog]) LogPortBlock(probes[nextToLog++]);
        if (endedCount < total) showProgress();
    });
    if (total > 0) operations_.OperationProgress("Probing finished", total, total);
}

void TDeviceSearch::LogPortBlock(const TPortProbe& probe) {
    engine_.MM("Scanning port: " + probe.Port);
    engine_.MM("...for MFC");
    if (probe.MfcFound) {
        engine_.MM("Valid MFC found!!!");
        Register(probe);
    } else {
        engine_.MM("...for Pump");
        if (probe.PumpFound) {
            engine_.MM("Pump found!!!");
            Register(probe);
        } else {
            engine_.MM("No valid MFC or Pump on port");
            engine_.MM(probe.Details);
        }
    }
    if (!probe.OpenRefusal.empty()) {
        engine_.MM("Port " + probe.Port + " could not be opened: " + probe.OpenRefusal);
        for (const std::string& line : PermissionAdvice(probe.Port, probe.OpenRefusal, OwningGroup(probe.Port)))
            engine_.MM(line);
    }
}

// Kestra controllers are lettered in the order they are registered, which is port order.
void TDeviceSearch::Register(const TPortProbe& probe) {
    TDeviceInfo entry;
    if (!FindDevice(probe.Port, entry)) {
        entry = probe.Entry;
        if (IsMixerController(entry.DevType))
            entry = NewFoundDevice(probe.Port, NextFlowControllerKind(DevicesLocal()), probe.Entry.Serial);
        entry.COMPort = probe.Port;
        DevicesLocal().push_back(entry);
    }
    rows_.push_back(DeviceListRow(entry));
    SortDeviceRows(rows_);
    operations_.ShowDeviceRows(rows_);
}

}  // namespace tessaro
