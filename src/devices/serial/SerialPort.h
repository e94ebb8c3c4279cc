#pragma once
// One request/response exchange per call on a named serial port, and the list of ports.
// A TSerialPort holds only settings: every exchange opens the port exclusively,
// configures it, writes, optionally waits for and reads the reply, and closes it again.

#include <QLoggingCategory>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/SerialDevice.h"

Q_DECLARE_LOGGING_CATEGORY(lcSerialPort)

namespace tessaro {

// The result of one exchange. Status is empty on success.
struct TSerialResponse {
    std::string SentMessage;  // the bytes sent
    std::string Response;     // the reply as text, trimmed of control characters at both ends
    double rDouble = 0;
    std::array<std::uint8_t, 256> rArray{};
    std::array<std::uint8_t, 32> WordArray{};
    std::int32_t ValueOfFirstWord = 0;
    std::int32_t ValueOfSecondWord = 0;
    std::string Status;
    std::uint8_t ResponseLength = 0;
    std::string AsHex;
    std::string AsInt;
    float AsFloat = 0;
    std::int32_t AsInteger = 0;
    std::string AsString;

    // Strings empty, the numbers -1 (ResponseLength 0); the two arrays are left as they are.
    void Init();
};

// The failure texts of an exchange.
inline constexpr const char* kStatusPortInUse = "Failed to setup Com port, port in use";
inline constexpr const char* kStatusTimeoutsFailed = "Failed to setup Com port timeouts";
inline constexpr const char* kStatusBuffersFailed = "Failed to setup Com port buffer size";
inline constexpr const char* kStatusWriteFailed = "Failed to write to Com port";
inline constexpr const char* kStatusTimeout = "Timeout while waiting for response, exiting.\r\n";
inline constexpr const char* kStatusReadFailed = "Failed to read from Com port";
inline constexpr const char* kStatusNoWait = "Exit read/write without waiting for reply";

class TSerialPort {
public:
    TSerialPort() = default;  // the defaults below
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    bool fDebug = false;                            // trace every exchange on the "SerialPort" channel
    std::string fDebugMSG;                          // the trace of the last exchange
    std::string fPort;                              // as ListComPorts lists it
    std::uint32_t fWindowsReadLoopTimeoutMS = 333;  // between two checks for reply bytes
    std::uint32_t fReadoutTimeoutMS = 1000;         // wait for the first reply bytes
    std::int32_t fBaudRate = 9600;
    std::int32_t fStopBits = 0;  // 0 one, 1 one and a half, 2 two (low byte used)
    std::int32_t fParity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space (low byte used)
    // When set (by the worker that owns the port), the wait for a reply ends as soon as the
    // flag is raised; the exchange then fails with the time-out status. Never owned here.
    const std::atomic<bool>* fInterrupt = nullptr;
    // When set (by the driver that owns the port), tells a reply line of the addressed
    // instrument (given trimmed, as Response would hold it) from one that is not: the rest
    // of a reply whose exchange already gave up, or another unit's line. Such a line is
    // skipped and the wait goes on for the instrument's own. Unset: every line is a reply.
    std::function<bool(std::string_view line)> fIsOwnReply;
    // Bytes of earlier exchanges this port has discarded: those found waiting before a
    // command was written and the lines fIsOwnReply refused. Line ends alone do not count.
    std::uint64_t fStaleBytesDiscarded = 0;

    // One exchange with the bytes of `message`. `result.Status` is set on failure and when
    // no reply is waited for; `result.Response` only when a reply was read. Bytes waiting
    // before the write are left from earlier exchanges and are discarded. The reply is the
    // first line (up to its CR) that fIsOwnReply accepts: a line cut before its CR, or a
    // line that hangs up while the reply is awaited, fails with the read-failure status.
    // Every pause and time-out runs on the program's monotonic clock (CurrentClock()).
    void Send2(const std::string& message, bool WaitForResponse, TSerialResponse& result);
    // The same with text, sent through the Windows-1252 code page.
    void Send2(const QString& message, bool WaitForResponse, TSerialResponse& result);
    void Send2(const char* message, bool WaitForResponse, TSerialResponse& result) {
        Send2(std::string(message), WaitForResponse, result);
    }

    // The three configuration steps of an exchange; false for an invalid handle or when the
    // system refuses (the reason goes to the "SerialPort" channel).
    bool SetDCBState(SerialHandle handle);
    bool SetTimeOuts(SerialHandle handle);
    bool SetBuffers(SerialHandle handle);

private:
    bool WaitForReplyBytes(SerialHandle handle, std::chrono::milliseconds start, std::chrono::milliseconds& nextCheck);
    // Reads until a line of the instrument's own has come; false when the read failed,
    // the line was cut or no own line came in time (`result.Status` then says which).
    bool ReadOwnReply(SerialHandle handle, std::chrono::milliseconds start, TSerialResponse& result);
    void DiscardEarlierInput(SerialHandle handle);
    void CountStale(std::string_view bytes, const char* what);
    void Trace(const std::string& line);
    void Refused(const char* step, const std::string& reason);
};

// The serial ports of the system, sorted ignoring letter case. On Linux: the real serial
// ports and the ports tessaro-sim publishes for this user.
std::vector<std::string> ListComPorts();
// Sorted as text ignoring letter case ("COM10" before "COM2"), duplicates removed.
void SortPortNames(std::vector<std::string>& names);

}  // namespace tessaro
