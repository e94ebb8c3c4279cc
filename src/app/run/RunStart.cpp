#include "run/RunStart.h"

#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/ExitCodes.h"

namespace tessaro {

namespace {

std::vector<std::string> PortsWithPrograms() {
    std::vector<std::string> ports;
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured() && !device.SegmentProgram.empty()) ports.push_back(device.COMPort);
    return ports;
}

bool AnyDeviceConfigured() {
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured()) return true;
    return false;
}

}  // namespace

TRunStart StartRunFile(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder,
                       bool resumeInterrupted, const std::function<void(const TRunFile&)>& beforeStart) {
    TRunStart start;
    TRunFileRead read = ReadRunFile(path);
    if (!read.Run || !read.Problems.empty()) {
        start.ExitCode = kExitDataError;
        start.Problems = std::move(read.Problems);
        return start;
    }
    start.GiveUpAfter_s = read.Run->GiveUpAfter_s;
    if (beforeStart) beforeStart(*read.Run);
    if (resumeInterrupted) {
        if (engine.ResumeInterruptedRun(&start.StartedPorts)) {
            start.Resumed = true;
            return start;
        }
        engine.MM("No interrupted run to resume: the run file starts from the beginning");
    }
    engine.MM("Run file " + path.string() + ": " + std::to_string(read.Run->Devices.size()) + " device(s)");
    start.Problems = ApplyRunFile(engine, *read.Run, finder);
    if (!start.Problems.empty()) {
        start.ExitCode = kExitUnavailable;
        // A device configured before another failed has a worker to end.
        if (AnyDeviceConfigured()) engine.TerminateThreads();
        return start;
    }
    start.StartedPorts = PortsWithPrograms();
    engine.ButtonSegmentProgramStartClick(start.StartedPorts);
    return start;
}

bool StartRunFileInWindow(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder,
                          bool resumeInterrupted) {
    const TRunStart start = StartRunFile(engine, path, finder, resumeInterrupted);
    if (start.ExitCode == kExitOk) return true;
    std::string text = "The run file " + path.string() + " was not started:";
    for (const std::string& problem : start.Problems) text += "\n" + problem;
    engine.ReportProblem(text);
    return false;
}

}  // namespace tessaro
