#pragma once
// How a run ends, whatever ends it (its programs, --duration, a device that stopped
// answering, a signal): "Stop all flows", a wait of at most 5 s for the devices to confirm,
// the last log file and the CSV file closed, the workers ended. The window and the headless
// run share it.

#include <functional>
#include <string>
#include <vector>

namespace tessaro {

class TEngine;

struct TRunEnd {
    int ExitCode = 0;                      // kExitOk when every device confirmed its stop, else kExitTempFail
    std::vector<std::string> Unconfirmed;  // the devices that did not, as the log names them
};

// `why` opens the account of the end in the on-screen log. `beforeClose` runs once the stops
// are confirmed or given up on, before the files are closed and the workers ended (a
// publisher says "offline" there, after the stop events).
TRunEnd EndRunWithStopAll(TEngine& engine, const std::string& why, const std::function<void()>& beforeClose = {});

}  // namespace tessaro
