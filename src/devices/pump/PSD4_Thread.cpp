#include "pump/PSD4_Thread.h"

#include <QString>
#include <chrono>

#include "clock/Clock.h"

Q_LOGGING_CATEGORY(lcThreadPUMP, "ThreadPUMP", QtWarningMsg)

namespace tessaro {

namespace {

using namespace std::chrono_literals;

constexpr auto kIdlePause = 250ms;
const std::string kTerminateProgram(kPumpTerminateProgram);
constexpr const char* kFailedToTerminate = "Failed to terminate";

}  // namespace

TPSD4Thread::TPSD4Thread(QObject* parent) : TDeviceWorkerWith(lcThreadPUMP, "pump", parent) {}

TPSD4Thread::~TPSD4Thread() { EndAndWait(); }

// Every wait of the driver, the stop's five seconds included, ends when the worker is
// abandoned.
void TPSD4Thread::StartUp() { Pump->SetInterrupt(&Abandon); }

void TPSD4Thread::Pass() {
    bool pause = true;
    if (ThreadIn.ToTerminate)
        pause = !StopPump();
    else if (!ThreadIn.Command.empty() && ThreadIn.Command != Pump->LastCommand)
        pause = !ApplyCommand();
    // A failed attempt is repeated after the idle pause: a pump whose port cannot be
    // opened fails at once, and the worker would otherwise spin through passes, each
    // one a blocking call on the window thread.
    if (pause) CurrentClock().Sleep(kIdlePause, Abandon);
    ThreadOut.DataTime = LocalNowDays();
    ++ThreadOut.PassSequence;
}

bool TPSD4Thread::StopPump() {
    // While a stop is requested nothing else is sent; a failed stop is tried again on the
    // next pass.
    if (Pump->Stop()) {
        ThreadOut.IsTerminated = true;
        ThreadOut.Command = kTerminateProgram;
        return true;
    }
    ThreadOut.aMessage = kFailedToTerminate;
    Warn(Name + " " + kFailedToTerminate);
    return false;
}

bool TPSD4Thread::ApplyCommand() {
    const std::string old = Pump->LastCommand;
    TSerialResponse response;
    const bool terminated = Pump->SendCommand(kTerminateProgram, response, true);
    if (terminated) {
        Write("New command applied");
        Write("Old: " + old);
        Write(std::string("New: ") + kTerminateProgram);
        ThreadOut.Setpoint = 0;
    }
    if (ThreadIn.Command == kTerminateProgram) return terminated;
    if (!Pump->SendCommand(ThreadIn.Command, response, true)) return false;
    Write("New command applied");
    Write("Old: " + old);
    Write("New: " + ThreadIn.Command);
    ThreadOut.Setpoint = ThreadIn.Setpoint;
    return true;
}

void InitializePumpThreadModule() { qCInfo(lcThreadPUMP) << "Initialization"; }

}  // namespace tessaro
