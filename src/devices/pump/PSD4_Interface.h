#pragma once
// The syringe pump driver: connects with the pump's signature query, sends commands,
// decodes the status character into the pump state and the busy bit, waits until the pump
// is free, stops it and reads the serial number stored in it. Diagnostics go to the
// "PSD4 interface" channel.

#include <QLoggingCategory>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/PSD4Protocol.h"
#include "serial/SerialPort.h"

Q_DECLARE_LOGGING_CATEGORY(lcPSD4)

namespace tessaro {

class TPSD4 {
public:
    TPSD4() = default;
    ~TPSD4() = default;  // frees COM
    TPSD4(const TPSD4&) = delete;
    TPSD4& operator=(const TPSD4&) = delete;

    char pAddressASCII = kPumpDefaultAddress;
    bool pInitialized = false;
    EnumPumpState pState = ps_Undefined;
    bool pBusy = false;
    EnumInterfaceType DataInterface = it_ASCII;
    std::string LastCommand;           // command letters of the last command the pump took
    bool LastReplyWellFormed = false;  // the last reply decoded was a pump reply
    std::unique_ptr<TSerialPort> COM;  // created by Connect

    // Hands the driver a flag that ends every wait of it (its pauses and its port's wait for
    // a reply) as soon as it is raised; an ended wait is a failure. nullptr: never ended.
    // The flag belongs to the caller (the pump's worker) and outlives the driver's use.
    void SetInterrupt(const std::atomic<bool>* interrupt);

    // Creates the port (9600 baud) and asks for the signature; true when a PSD/4 answers,
    // whatever status it reports with it. Otherwise ConnectFailure says why: the
    // exchange's status, or the reply that came.
    bool Connect(const std::string& aCOMPort);
    std::string ConnectFailure;
    // The pump answered Connect busy: it still runs a program, typically one an earlier
    // session left dosing. It takes no other command until that program is stopped.
    bool RunningAtConnect = false;
    // Stops the running program ("TR"); true when the pump took the command.
    bool StopLeftoverProgram();
    // Sends "/" + address + aCommand + CR. Without a connection: false, nothing sent.
    // With aWantAnswer: decodes the reply; true when the pump answered with a well-formed
    // reply without an error state (LastCommand is then aCommand); false when the exchange
    // failed, the reply was no pump reply or the pump reported an error (LastCommand kept).
    // Without: false.
    bool SendCommand(const std::string& aCommand, TSerialResponse& aResponse, bool aWantAnswer);
    // Decodes the reply's status character into pState and pBusy. A reply that is not well
    // formed (none, junk, another address) leaves pState and counts the pump busy; the
    // operator is told once per run of such replies.
    void SetStatus(const TSerialResponse& aResponse);
    std::string StatusAsString() const;
    void Initialize(const std::string& aCommand);
    // Polls "Q" every 250 ms while busy, for up to x seconds; true when free in time.
    // Pauses and time-outs of the driver run on the program's monotonic clock.
    bool WaitUntilFree(double x);
    // Terminates the running command; true when the pump reports ready without error
    // within 5 s (false at once when interrupted).
    bool Stop();
    // The serial number stored as two plunger positions; 0 when the digits are not a
    // number, -1 when a position could not be read.
    std::int64_t Serial();

private:
    std::string PortName() const;
    // Pauses for `duration` on the program's clock; false when the interrupt flag ended it.
    bool Pause(std::chrono::milliseconds duration) const;
    bool Interrupted() const;

    bool inShortReplyRun_ = false;
    const std::atomic<bool>* interrupt_ = nullptr;
};

}  // namespace tessaro
