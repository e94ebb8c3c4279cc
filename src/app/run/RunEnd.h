#pragma once
// How a run ends, whatever ends it (its programs, --duration, a device that stopped
// answering, a signal): "Stop all flows", a wait of at most 5 s for the devices to confirm,
// the last log file and the CSV file closed, the workers ended. The window and the headless
// run share it.

#include <string>
#include <vector>

namespace tessaro {

class TEngine;

struct TRunEnd {
    int ExitCode = 0;                      // kExitOk when every device confirmed its stop, else kExitTempFail
    std::vector<std::string> Unconfirmed;  // the devices that did not, as the log names them
};

// `why` opens the account of the end in the on-screen log.
TRunEnd EndRunWithStopAll(TEngine& engine, const std::string& why);

}  // namespace tessaro
