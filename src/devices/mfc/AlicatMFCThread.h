#pragma once
// The worker thread of one flow controller (or of a simulated one, for the demo devices).
// It owns the controller's driver and talks to the instrument continuously: it keeps the
// controller on the wanted gas and setpoint and reports the latest status. The window
// thread never talks to the instrument; it writes GUIOut and reads GUIIn, and once per
// pass the worker has DataExchange copy ThreadOut to GUIIn and GUIOut to ThreadIn on the
// window thread. Diagnostics go to the "ThreadMFC" channel.

#include <QLoggingCategory>
#include <cstdint>
#include <memory>
#include <string>

#include "mfc/AlicatMFC.h"
#include "protocol/AlicatMFCProtocol.h"
#include "worker/DeviceWorker.h"

Q_DECLARE_LOGGING_CATEGORY(lcThreadMFC)

namespace tessaro {

// One exchange record.
struct TThreadData {
    bool IsTerminated = false;  // worker: its loop has ended
    bool ToTerminate = false;   // window: stop the controller (setpoint 0) and end
    // Window: the wanted gas (GasID, -1 none yet) and setpoint (Setpoint_pct). Worker: the
    // latest good status reading, stamped with the local time in DataTime (for display), the
    // full scale in MaxFlowgpm and the gas it was read for in GasID (-1 none yet).
    TAlicatData DeviceStatus;
    std::string DeviceStatusRaw;  // not filled by the worker
    // Worker: the number of the reading in DeviceStatus, one more with every good reading.
    // A status is new to the window exactly when this differs from the number it handled
    // last. DataTime cannot tell: it is wall-clock time, which a daylight-saving change or
    // a clock correction sets back (every reading would look old for that long) or two
    // readings in the same millisecond share.
    std::uint64_t StatusSequence = 0;
    // Worker: passes in a row without a good status reading (controller silent, junk, port
    // gone); 0 again with the next good reading.
    std::uint32_t FailedPasses = 0;
};

class TMFCThread : public TDeviceWorkerWith<TThreadData> {
    Q_OBJECT

public:
    // The creator sets the fields below and then calls start(). The wanted gas starts as
    // "none" (-1), so the controller keeps its gas until the window asks for one.
    explicit TMFCThread(QObject* parent = nullptr);
    // Destroy: abandons a worker that still runs, waits until its thread has ended, then
    // frees the driver.
    ~TMFCThread() override;

    // GUIIn, GUIOut, ThreadIn, ThreadOut, Name (the device's COM port) and Abandon come
    // from the base.
    std::string ThreadID;  // the device's COM port
    std::uint32_t Serial = 0;
    std::unique_ptr<TAlicatMFC> MFC;
    bool Simulated = false;  // demo device: no instrument, random readings

protected:
    void StartUp() override;
    void Pass() override;

private:
    void SimulatedPass();
    void InstrumentPass();
    void KeepSetpoint();
};

// Opens the channel of the module: sends "Initialization".
void InitializeMFCThreadModule();

}  // namespace tessaro
