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
    else if (!applied_ || *applied_ != WantedProgram())
        pause = !ApplyCommand();
    else
        CheckPump();
    CountPass();
    // A failed attempt is repeated after the idle pause: a pump whose port cannot be
    // opened fails at once, and the worker would otherwise spin through passes, each
    // one a blocking call on the window thread.
    if (pause) CurrentClock().Sleep(kIdlePause, Abandon);
    ThreadOut.DataTime = LocalNowDays();
    ++ThreadOut.PassSequence;
}

// No wish yet (the window has not planned a program) means no program: a pump left dosing
// by an earlier run is stopped when its worker starts.
const std::string& TPSD4Thread::WantedProgram() const {
    return ThreadIn.Command.empty() ? kTerminateProgram : ThreadIn.Command;
}

// While the program runs unchanged the pump is asked for its status, so that a pump that
// stops answering is noticed.
void TPSD4Thread::CheckPump() {
    TSerialResponse response;
    Pump->SendCommand(std::string(kPumpStatusQuery), response, true);
}

void TPSD4Thread::CountPass() {
    if (Pump->LastReplyWellFormed)
        ThreadOut.FailedPasses = 0;
    else
        ++ThreadOut.FailedPasses;
}

bool TPSD4Thread::StopPump() {
    // While a stop is requested nothing else is sent; a failed stop is tried again on the
    // next pass.
    if (Pump->Stop()) {
        ThreadOut.IsTerminated = true;
        ThreadOut.Command = kTerminateProgram;
        ThreadOut.Setpoint = 0;  // a stopped pump runs no program
        return true;
    }
    ThreadOut.aMessage = kFailedToTerminate;
    Warn(Name + " " + kFailedToTerminate);
    return false;
}

// Terminates the running program and starts the wanted one. Only what the pump took counts:
// the setpoint reported follows the program the pump runs, and a program not taken is sent
// again on the next pass.
bool TPSD4Thread::ApplyCommand() {
    const std::string old = applied_.value_or(Pump->LastCommand);
    const std::string wanted = WantedProgram();
    TSerialResponse response;
    const bool terminated = Pump->SendCommand(kTerminateProgram, response, true);
    if (terminated) {
        Write("New command applied");
        Write("Old: " + old);
        Write(std::string("New: ") + kTerminateProgram);
        ThreadOut.Setpoint = 0;
    }
    if (wanted == kTerminateProgram) {
        if (terminated) applied_ = wanted;
        return terminated;
    }
    applied_.reset();  // the old program is stopped or in doubt
    if (!Pump->SendCommand(wanted, response, true)) return false;
    Write("New command applied");
    Write("Old: " + old);
    Write("New: " + wanted);
    ThreadOut.Setpoint = ThreadIn.Setpoint;
    applied_ = wanted;
    return true;
}

void InitializePumpThreadModule() { qCInfo(lcThreadPUMP) << "Initialization"; }

}  // namespace tessaro
