#include "mfc/AlicatMFCThread.h"

#include <QRandomGenerator>
#include <QString>
#include <chrono>
#include <cmath>

#include "clock/Clock.h"
#include "text/NumberFormat.h"

Q_LOGGING_CATEGORY(lcThreadMFC, "ThreadMFC", QtWarningMsg)

namespace tessaro {

namespace {

constexpr double kCountsPerPercent = kAlicatFullScaleCounts / 100;
// Reported and wanted setpoint (counts) this close are the same: exact in practice, so a
// wanted setpoint that is no whole number of counts is sent again on every pass.
constexpr double kSetpointTolerance = 1.0 / 64000;
constexpr int kSimulatedPauseMs = 500;
constexpr int kSimulatedPauseSpreadMs = 500;
constexpr int kSimulatedFlowSteps = 1000;
// A pass without a reading lasts at least this long (one poll period of the port). A port
// that cannot even be opened (a controller unplugged) fails at once, and the worker would
// otherwise spin through passes, each one a blocking call on the window thread; a pass
// that waited out a silent controller has taken longer already and is not prolonged.
constexpr auto kShortestFailedPass = std::chrono::milliseconds(333);

}  // namespace

TMFCThread::TMFCThread(QObject* parent) : TDeviceWorkerWith(lcThreadMFC, "controller", parent) {
    GUIOut.DeviceStatus.GasID = -1;
    ThreadIn.DeviceStatus.GasID = -1;
}

TMFCThread::~TMFCThread() { EndAndWait(); }

void TMFCThread::StartUp() {
    if (Simulated) return;
    // Every wait of the driver ends when the worker is abandoned.
    MFC->aPort.fInterrupt = &Abandon;
    // Every start restores the controller's factory settings and sets the units the rest
    // of the program relies on; a failure is reported by the driver.
    MFC->Initialize(TAIKestraLumora);
}

void TMFCThread::Pass() {
    if (Simulated)
        SimulatedPass();
    else
        InstrumentPass();
}

void TMFCThread::SimulatedPass() {
    Write(Name + " Simulated ");
    QRandomGenerator& random = *QRandomGenerator::global();
    const auto pause = std::chrono::milliseconds(kSimulatedPauseMs + random.bounded(kSimulatedPauseSpreadMs));
    CurrentClock().Sleep(pause, StopRequested);
    ThreadOut.DeviceStatus.DataTime = LocalNowDays();
    ThreadOut.DeviceStatus.FlowRate_mass = random.bounded(kSimulatedFlowSteps) / double(kSimulatedFlowSteps);
    ++ThreadOut.StatusSequence;
    if (ThreadIn.ToTerminate) ThreadOut.IsTerminated = true;
}

void TMFCThread::InstrumentPass() {
    const std::chrono::milliseconds passStart = CurrentClock().Monotonic();
    // Setpoint 0 goes out on every pass while the stop waits for a good reading.
    if (ThreadIn.ToTerminate) {
        ThreadIn.DeviceStatus.Setpoint_pct = 0;
        MFC->ApplySetpoint_pct(ThreadIn.DeviceStatus);
        if (Abandon) return;
    }
    MFC->ChangeGas(ThreadIn.DeviceStatus);
    if (Abandon) return;

    TAlicatData reading{};
    // A reply that is no full status line is no reading: it must neither report a flow of
    // 0 nor confirm a stop.
    if (!MFC->ReadStatus(reading)) {
        Warn(Name + " ReadStatus failed");
        ++ThreadOut.FailedPasses;
        const std::chrono::milliseconds rest = passStart + kShortestFailedPass - CurrentClock().Monotonic();
        if (rest.count() > 0) CurrentClock().Sleep(rest, Abandon);
    } else {
        Write(Name + " Status read OK ");
        ThreadOut.FailedPasses = 0;
        ThreadOut.DeviceStatus = reading;
        ThreadOut.DeviceStatus.DataTime = LocalNowDays();
        ThreadOut.DeviceStatus.MaxFlowgpm = MFC->MaxFlow_gpm;
        // The gas the controller is set to, that of the full scale: the window tells by it a
        // full scale read before a gas change from one read after.
        ThreadOut.DeviceStatus.GasID = MFC->GasID;
        ++ThreadOut.StatusSequence;
        if (ThreadIn.ToTerminate) {
            ThreadOut.IsTerminated = true;
            return;
        }
        std::string errors;
        if (ThreadOut.DeviceStatus.Errors(errors)) {
            // While the controller reports any flag, its setpoint is left alone.
            Write(Name + " Errors: " + errors);
            return;
        }
        KeepSetpoint();
    }
    Write("In loop port:" + MFC->aPort.fPort);
}

void TMFCThread::KeepSetpoint() {
    const double reported = ThreadOut.DeviceStatus.SetpointFromDevice;
    const double wanted = ThreadIn.DeviceStatus.Setpoint_pct * kCountsPerPercent;
    Write(Name + " No errors");
    Write(Name + " Main loop, Device setpoint: " + FormatGeneral(reported));
    Write(Name + " Main loop, Desired setpoint: " + FormatGeneral(wanted));
    if (std::fabs(reported - wanted) <= kSetpointTolerance)
        Write(Name + " Setpoint data upto date");
    else
        MFC->ApplySetpoint_pct(ThreadIn.DeviceStatus);
}

void InitializeMFCThreadModule() { qCInfo(lcThreadMFC) << "Initialization"; }

}  // namespace tessaro
