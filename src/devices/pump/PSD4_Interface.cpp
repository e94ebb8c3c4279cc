#include "pump/PSD4_Interface.h"

#include <chrono>
#include <thread>

#include "text/Messages.h"

Q_LOGGING_CATEGORY(lcPSD4, "PSD4 interface", QtWarningMsg)

namespace tessaro {

namespace {

using Clock = std::chrono::steady_clock;

void Write(const std::string& line) { qCInfo(lcPSD4).noquote() << QString::fromStdString(line); }
void Warn(const std::string& line) { qCWarning(lcPSD4).noquote() << QString::fromStdString(line); }

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::string TPSD4::PortName() const { return COM ? COM->fPort : std::string(); }

bool TPSD4::Connect(const std::string& aCOMPort) {
    COM = std::make_unique<TSerialPort>();
    COM->fPort = aCOMPort;
    TSerialResponse response{};
    COM->Send2(std::string(kPumpSignatureQuery), true, response);
    if (!IsPumpSignatureReply(response.Response)) {
        Write("PSD4@" + aCOMPort + " no PSD/4 signature: " + response.Response + response.Status);
        return false;
    }
    pState = ps_Connected;
    Write("PSD4@" + aCOMPort + " connected");
    return true;
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
    SetStatus(aResponse);
    // A command that never reached the pump must not count as applied: the caller retries.
    if (!aResponse.Status.empty()) {
        Warn("PSD4@" + PortName() + " " + aCommand + " not answered: " + aResponse.Status);
        return false;
    }
    LastCommand = aCommand;
    return true;
}

void TPSD4::SetStatus(const TSerialResponse& aResponse) {
    const PumpStatusDecode decoded = DecodePumpStatus(aResponse.Response);
    if (!decoded.HasStatusChar) {
        if (!inShortReplyRun_) ShowMessage("Set pump states failed. Used string: " + aResponse.Response);
        inShortReplyRun_ = true;
        pBusy = true;  // silence is no proof the pump has stopped
    } else {
        inShortReplyRun_ = false;
        if (decoded.State) pState = *decoded.State;
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
    const auto start = Clock::now();
    pBusy = true;
    double elapsed = -1;
    while (pBusy && elapsed <= x) {
        SleepMs(250);
        elapsed = SecondsSince(start);
        TSerialResponse response;
        SendCommand("Q", response, true);
    }
    return elapsed <= x;
}

bool TPSD4::Stop() {
    const auto start = Clock::now();
    TSerialResponse response;
    SendCommand("T", response, true);
    for (;;) {
        if (!pBusy) return pState == ps_No_error;
        SleepMs(100);
        SendCommand("Q", response, true);
        if (SecondsSince(start) > 5.0) return false;
    }
}

std::int64_t TPSD4::Serial() {
    TSerialResponse response;
    SendCommand("ZN1R", response, true);
    WaitUntilFree(15);

    // Each half is read only when its position query is answered; a half missing leaves
    // the serial number unknown rather than making one up.
    std::string serialText;
    bool complete = true;
    for (const char* storedString : {"e12R", "e13R"}) {
        SendCommand(storedString, response, true);
        SleepMs(100);
        if (SendCommand("?", response, true))
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
