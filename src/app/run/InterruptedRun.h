#pragma once
// A start that finds the state file of a run that did not end cleanly (a crash, a kill, a
// power cut): the instruments may still be doing what that run last told them. Before
// anything else is sent, every device the file names that can be reached is stopped (a
// flow controller 0 %, a pump its terminate command); then the operator is told which
// devices were stopped and where each program stood, so the run can be resumed from there.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run/RunState.h"

namespace tessaro {

// How the stop of one named device went.
struct TInterruptedDeviceStop {
    std::string Caption;     // "Carrier (MFC-A on COM3)"
    bool Simulated = false;  // a demo device: nothing to send
    bool Reached = false;    // the instrument answered the stop
    bool Confirmed = false;  // its answer shows it stopped
    std::string Failure;     // why it was not reached, or what its answer showed
};

// Sends the stop to one device on a port of its own: a controller its setpoint 0, a pump
// the command that ends its program. Nothing else is sent.
TInterruptedDeviceStop StopInterruptedDevice(const TRunStateDevice& device);

// What a start found of an earlier run.
struct TInterruptedRunCheck {
    // The run, when its file could be read and names a device: what a resume continues.
    std::optional<TRunState> Run;
    // Every line to tell, in order; empty when no state file was there.
    std::vector<std::string> Report;
    // The same lines as one text, for a notice or standard error.
    std::string ReportText() const;
};

// Reads `stateFile` (at most kRunStateMaximumBytes); when there is one, stops every device
// it names and describes the outcome. A file that is unreadable, corrupt or not a state file
// is reported and nothing is sent.
TInterruptedRunCheck CheckInterruptedRun(const std::filesystem::path& stateFile, char separator);

// The report of a stop: the time of the file, one line per device, the program times then.
std::vector<std::string> InterruptedRunReport(const TRunState& run, const std::vector<TInterruptedDeviceStop>& stops,
                                              char separator);
// "12.5 min, cycle 2 of 3, held": where a program stood.
std::string ProgramStandText(const TRunStateDevice& device, char separator);

}  // namespace tessaro
