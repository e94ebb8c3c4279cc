#include "pump/PSD4_Interface.h"

#include <chrono>

#include "clock/Clock.h"
#include "text/Messages.h"
#include "text/TextScan.h"

Q_LOGGING_CATEGORY(lcPSD4, "PSD4 interface", QtWarningMsg)

namespace tessaro {

namespace {

using namespace std::chrono_literals;

constexpr auto kFreePollPause = 250ms;
constexpr auto kStopPollPause = 100ms;
constexpr auto kStopLimit = 5s;
constexpr auto kStoredStringPause = 100ms;

void Write(const std::string& line) { qCInfo(lcPSD4).noquote() << QString::fromStdString(line); }
void Warn(const std::string& line) { qCWarning(lcPSD4).noquote() << QString::fromStdString(line); }

double SecondsSince(std::chrono::milliseconds start) {
    return std::chrono::duration<double>(MonotonicNow() - start).count();
}

}  // namespace

std::string TPSD4::PortName() const { return COM ? COM->fPort : std::string(); }

void TPSD4::SetInterrupt(const std::atomic<bool>* interrupt) {
    interrupt_ = interrupt;
    if (COM) COM->fInterrupt = interrupt;
}

bool TPSD4::Interrupted() const { return interrupt_ != nullptr && interrupt_->load(); }

bool TPSD4::Pause(std::chrono::milliseconds duration) const {
    CurrentClock().Sleep(duration, interrupt_ != nullptr ? *interrupt_ : NeverInterrupted());
    return !Interrupted();
}

bool TPSD4::Connect(const std::string& aCOMPort) {
    COM = std::make_unique<TSerialPort>();
    COM->fPort = aCOMPort;
    COM->fInterrupt = interrupt_;
    TSerialResponse response{};
    COM->Send2(std::string(kPumpSignatureQuery), true, response);
    ConnectFailure.clear();
    RunningAtConnect = false;
    const std::optional<PumpStatusDecode> status = PumpSignatureStatus(response.Response);
    if (!status) {
        ConnectFailure = !response.Status.empty() ? std::string(TrimBlanksAndControls(response.Status))
                                                  : "the reply \"" + response.Response + "\" is no PSD/4 signature";
        Write("PSD4@" + aCOMPort + " no PSD/4 signature: " + ConnectFailure);
        return false;
    }
    pState = ps_Connected;
    pBusy = status->Busy;
    RunningAtConnect = status->Busy;
    Write("PSD4@" + aCOMPort + (RunningAtConnect ? " connected, busy" : " connected"));
    return true;
}

bool TPSD4::StopLeftoverProgram() {
    TSerialResponse response;
    return SendCommand(std::string(kPumpTerminateProgram), response, true);
}

bool TPSD4::SendCommand(const std::string& aCommand, TSerialResponse& aResponse, bool aWantAnswer) {
    const std::string wire = PumpWireCommand(pAddressASCII, aCommand);
    aResponse.Init();
    if (pState == ps_Undefined || !COM) {
        aResponse.Status = "Pump state undefined, cannot send command: " + wire;
        return false;
    }
    COM->Send2(wire, aWantAnswer, aResponse);
    if (!aWantAnswer) return false;
    // A wait cut short by the worker's end says nothing about the pump.
    if (!aResponse.Status.empty() && Interrupted()) return false;
    SetStatus(aResponse);
    // A command that never reached the pump, or that the pump refused, must not count as
    // applied: the caller retries.
    if (!aResponse.Status.empty()) {
        Warn("PSD4@" + PortName() + " " + aCommand + " not answered: " + aResponse.Status);
        return false;
    }
    if (!LastReplyWellFormed) {
        Warn("PSD4@" + PortName() + " " + aCommand + " answered with no pump reply: " + aResponse.Response);
        return false;
    }
    if (IsPumpErrorState(pState)) {
        Warn("PSD4@" + PortName() + " " + aCommand + " refused: " + StatusAsString());
        return false;
    }
    LastCommand = aCommand;
    return true;
}

void TPSD4::SetStatus(const TSerialResponse& aResponse) {
    const PumpStatusDecode decoded = DecodePumpStatus(aResponse.Response);
    LastReplyWellFormed = decoded.WellFormed;
    if (!decoded.WellFormed) {
        if (!inShortReplyRun_) ShowMessage("Set pump states failed. Used string: " + aResponse.Response);
        inShortReplyRun_ = true;
        pBusy = true;  // neither silence nor junk proves the pump has stopped
    } else {
        inShortReplyRun_ = false;
        pState = *decoded.State;
        pBusy = decoded.Busy;
    }
    Write("PSD4@" + PortName() + " Setstatus: " + StatusAsString());
}

std::string TPSD4::StatusAsString() const { return PumpStatusAsString(pState, pBusy); }

void TPSD4::Initialize(const std::string& aCommand) {
    TSerialResponse response;
    SendCommand(aCommand, response, true);
    pInitialized = true;
}

bool TPSD4::WaitUntilFree(double x) {
    const auto start = MonotonicNow();
    pBusy = true;
    double elapsed = -1;
    while (pBusy && elapsed <= x) {
        if (!Pause(kFreePollPause)) return false;
        elapsed = SecondsSince(start);
        TSerialResponse response;
        SendCommand(std::string(kPumpStatusQuery), response, true);
    }
    return elapsed <= x && !Interrupted();
}

bool TPSD4::Stop() {
    const auto start = MonotonicNow();
    TSerialResponse response;
    SendCommand(std::string(kPumpTerminate), response, true);
    for (;;) {
        if (Interrupted()) return false;
        if (!pBusy) return pState == ps_No_error;
        if (!Pause(kStopPollPause)) return false;
        SendCommand(std::string(kPumpStatusQuery), response, true);
        if (MonotonicNow() - start > kStopLimit) return false;
    }
}

std::int64_t TPSD4::Serial() {
    TSerialResponse response;
    SendCommand(std::string(kPumpInitialise), response, true);
    WaitUntilFree(15);

    // Each half is read only when its position query is answered; a half missing leaves
    // the serial number unknown rather than making one up.
    std::string serialText;
    bool complete = true;
    for (const char* storedString : {"e12R", "e13R"}) {
        SendCommand(storedString, response, true);
        Pause(kStoredStringPause);
        // An error reply to the query still answers it: its missing digits give serial 0.
        SendCommand(std::string(kPumpPositionQuery), response, true);
        if (response.Status.empty() && LastReplyWellFormed)
            serialText += PumpPositionDigits(response.Response);
        else
            complete = false;
    }
    SendCommand("A0R", response, true);

    if (!complete) return -1;
    const std::optional<std::int64_t> serial = ParsePumpSerial(serialText);
    if (!serial) {
        Warn("PSD4@" + PortName() + " serial number is not a number: " + serialText);
        return 0;
    }
    return *serial;
}

}  // namespace tessaro
