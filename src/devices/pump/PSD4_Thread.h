#pragma once
// The worker thread of one syringe pump. The pump runs endless programs, so the worker has
// little to do: whenever the window wants a different program it terminates the running
// one and starts the new one, and on request it stops the pump and ends. The window writes
// GUIOut and reads GUIIn; once per pass the worker has DataExchange copy ThreadOut to GUIIn
// and GUIOut to ThreadIn on the window thread. Diagnostics go to the "ThreadPUMP" channel.

#include <QLoggingCategory>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pump/PSD4_Interface.h"
#include "worker/DeviceWorker.h"

Q_DECLARE_LOGGING_CATEGORY(lcThreadPUMP)

namespace tessaro {

// One exchange record.
struct TPSD4ThreadData {
    double DataTime = 0;  // worker: local date-time of its last pass (for display)
    // Window: the setpoint (fraction of full scale, 0 to 1) the wanted program realises.
    // Worker: the setpoint of the program now running (0 after a stop).
    double Setpoint = 0;
    // Window: the wanted pump program, "TR" for none; empty until the window wants one.
    // Worker: "TR" after a stop.
    std::string Command;
    bool ToTerminate = false;   // window: stop the pump and end
    bool IsTerminated = false;  // worker: its loop has ended
    std::string aMessage;       // worker: "Failed to terminate" when a stop attempt failed
    // Worker: the number of its last pass, one more with every pass; the monotonic
    // companion of DataTime.
    std::uint64_t PassSequence = 0;
    // Worker: passes in a row in which the pump gave no pump reply (silent, junk, port
    // gone); 0 once it answers again.
    std::uint32_t FailedPasses = 0;
};

class TPSD4Thread : public TDeviceWorkerWith<TPSD4ThreadData> {
    Q_OBJECT

public:
    // The creator sets Name (the device's NameRole) and Pump (connected and initialised)
    // and then calls start(). GUIIn, GUIOut, ThreadIn, ThreadOut and Abandon come from the
    // base.
    explicit TPSD4Thread(QObject* parent = nullptr);
    // Destroy: abandons a worker that still runs, waits until its thread has ended, then
    // frees the pump driver and with it the port.
    ~TPSD4Thread() override;

    std::unique_ptr<TPSD4> Pump;

protected:
    void StartUp() override;
    void Pass() override;

private:
    bool StopPump();      // true when the pump has stopped
    bool ApplyCommand();  // true when the pump took the wanted program
    void CheckPump();
    void CountPass();
    const std::string& WantedProgram() const;

    // The wanted program the pump was last seen to take; unknown when the worker starts,
    // so its first pass always acts.
    std::optional<std::string> applied_;
};

// Opens the channel of the module: sends "Initialization".
void InitializePumpThreadModule();

}  // namespace tessaro
