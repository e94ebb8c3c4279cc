#pragma once
// The flow controller driver: one TAlicatMFC per controller, talking through its own
// serial port at 19200 baud. Initialisation, gas selection with the full-scale read-back,
// the status poll and the setpoint. Diagnostics go to the "MFC" channel.

#include <QLoggingCategory>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/AlicatMFCProtocol.h"
#include "serial/SerialPort.h"

Q_DECLARE_LOGGING_CATEGORY(lcMFC)

namespace tessaro {

inline constexpr std::int32_t kAlicatBaudRate = 19200;
inline constexpr std::uint32_t kSendASCIIReadoutTimeoutMS = 2500;

// How SendASCII waits for its reply besides the 2.5 s: the poll interval of the port
// (the serial default unless the owning driver's port says otherwise) and the flag of the
// worker that ends the wait (see TSerialPort::fInterrupt).
// With OwnRepliesOnly, only a reply line of the unit the command addresses (its first
// letter) is the reply; other lines are skipped (see TSerialPort::fIsOwnReply).
struct TSendASCIIWait {
    std::uint32_t PollMS = TSerialPort().fWindowsReadLoopTimeoutMS;
    const std::atomic<bool>* Interrupt = nullptr;
    bool OwnRepliesOnly = false;
};

// One command on a port of its own (19200 baud, 2.5 s for the reply); CR is appended.
// True when the exchange succeeded. `aStatus` is never empty on return: the exchange's
// status followed by CR and "Duration: ss:zzz", measured on the program's monotonic clock.
bool SendASCII(const std::string& aPort, const std::string& aCommand, bool WaitForResponse, std::string& aStatus,
               std::string& aResponse, const TSendASCIIWait& wait = {});

// The local date and time now (of the program's clock), as days since 1899-12-30 with the
// time as fraction.
double LocalNowAsDateTime();

class TAlicatMFC {
public:
    TAlicatMFC();
    TAlicatMFC(const TAlicatMFC&) = delete;
    TAlicatMFC& operator=(const TAlicatMFC&) = delete;

    TSerialPort aPort;        // the controller's port; its owner sets name and baud rate. Only
                              // reply lines of aDeviceID are taken as replies.
    char aDeviceID = 'A';     // unit identifier letter
    std::string Role = "A";   // put in front of the raw status line
    std::int32_t GasID = -1;  // the gas last set on the controller; -1 unknown
    double MaxFlow_gpm = 0;   // full scale read back after a gas change; 0 while unknown
    // The full scale of the gas now set has not been read yet: every later ChangeGas asks
    // again until it has.
    bool FullScalePending = false;
    // Source of the reading time; the program's clock in place of the wall clock in tests.
    std::function<double()> LocalNow = LocalNowAsDateTime;

    // Factory reset and the unit settings the rest of the program relies on. Every
    // command is sent (each on a port of its own, polled and interrupted as aPort is);
    // false when an exchange failed or a reply differs (the report is on the "MFC"
    // channel, the steps in FailedInitializeSteps).
    bool Initialize(TAlicatInitialize Scheme);
    // Positions in AlicatInitSequence() of the commands the last Initialize found failed.
    std::vector<std::size_t> FailedInitializeSteps;
    // Selects theData.GasID (0..210) when it differs from GasID, then reads the full scale;
    // with the gas already set, reads a full scale still pending.
    bool ChangeGas(TAlicatData& theData);
    // Polls the status line into theData. False when the exchange failed or the reply is no
    // reading (not a full status line of this unit, or a numeric field not a number);
    // theData is then left as it was.
    bool ReadStatus(TAlicatData& theData);
    // Sends theData.Setpoint_pct as counts.
    bool ApplySetpoint_pct(TAlicatData& theData);

private:
    TSerialResponse Exchange(const std::string& command);
    void ReadFullScale();
};

}  // namespace tessaro
