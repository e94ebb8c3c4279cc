#pragma once
// Starting a run from its run file: read and checked first (a file with a problem sends
// nothing to any instrument), then its devices found and configured, then every program
// started at once. The headless run and `tessaro --run FILE` in the window share it.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "run/RunFile.h"

namespace tessaro {

class TEngine;

struct TRunStart {
    // kExitOk when the programs run; kExitDataError for a file with problems,
    // kExitUnavailable when a device cannot be opened or does not answer as its kind.
    int ExitCode = 0;
    std::vector<std::string> Problems;
    std::optional<double> GiveUpAfter_s;
    std::vector<std::string> StartedPorts;  // the devices whose programs were started
    bool Resumed = false;                   // the interrupted run's programs went on instead
};

// With `resumeInterrupted` (--resume), a valid file first lets the programs of a run that did
// not end cleanly go on from where they were; only when there is none to resume does the run
// file's own start follow. `beforeStart` sees the valid run before anything is resumed,
// configured or started (a publisher then hears of every program's start).
TRunStart StartRunFile(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder,
                       bool resumeInterrupted = false, const std::function<void(const TRunFile&)>& beforeStart = {});

// The same in the window: the problems are told in the log and a notice. False when the run
// did not start.
bool StartRunFileInWindow(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder,
                          bool resumeInterrupted = false);

}  // namespace tessaro
