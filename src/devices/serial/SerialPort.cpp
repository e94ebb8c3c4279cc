#include "serial/SerialPort.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "clock/Clock.h"
#include "protocol/ReplyText.h"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include "serial/PortNames.h"
#endif

Q_LOGGING_CATEGORY(lcSerialPort, "SerialPort", QtWarningMsg)

namespace tessaro {

namespace {

class HandleCloser {
public:
    explicit HandleCloser(SerialHandle handle) : handle_(handle) {}
    ~HandleCloser() { CloseSerial(handle_); }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

private:
    SerialHandle handle_;
};

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

}  // namespace

void TSerialResponse::Init() {
    SentMessage.clear();
    Response.clear();
    Status.clear();
    AsHex.clear();
    AsInt.clear();
    AsString.clear();
    rDouble = -1.0;
    ValueOfFirstWord = -1;
    ValueOfSecondWord = -1;
    ResponseLength = 0;
    AsFloat = -1.0f;
    AsInteger = -1;
}

void TSerialPort::Send2(const QString& message, bool WaitForResponse, TSerialResponse& result) {
    const QByteArray utf8 = message.toUtf8();
    Send2(TextToAnsiBytes(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))), WaitForResponse,
          result);
}

void TSerialPort::Send2(const std::string& message, bool WaitForResponse, TSerialResponse& result) {
    const std::chrono::milliseconds start = MonotonicNow();
    fDebugMSG.clear();
    result.SentMessage = message;

    std::string reason;
    const SerialHandle handle = OpenSerialExclusive(fPort, reason);
    if (handle == InvalidSerialHandle()) Refused("opening", reason);
    HandleCloser closer(handle);
    if (!SetDCBState(handle)) {
        result.Status = kStatusPortInUse;
        return;
    }
    if (!SetTimeOuts(handle)) {
        result.Status = kStatusTimeoutsFailed;
        return;
    }
    if (!SetBuffers(handle)) {
        result.Status = kStatusBuffersFailed;
        return;
    }
    Trace("PortName: " + fPort);

    DiscardEarlierInput(handle);
    if (!WriteAll(handle, message, reason)) {
        Refused("writing", reason);
        result.Status = kStatusWriteFailed;
        return;
    }
    result.SentMessage = message;
    Trace("Bytes written: " + std::to_string(message.size()));
    Trace("As string: " + std::string(TrimBlanksAndControls(message)));
    Trace("As ordinals: " + ByteOrdinals(message));

    if (!WaitForResponse) {
        Trace(kStatusNoWait);
        result.Status = kStatusNoWait;
        result.Response.clear();
        return;
    }
    if (!ReadOwnReply(handle, start, result)) {
        result.Response.clear();
        Trace(result.Status);
        return;
    }
    Trace("Data read: " + result.Response);
    Trace("Duration:" + FormatSecondsMillis((MonotonicNow() - start).count()));
}

// The rest of a reply whose exchange gave up, arrived while the port was closed or just
// before this write, would otherwise be read as the answer to this command.
void TSerialPort::DiscardEarlierInput(SerialHandle handle) {
    const std::string earlier = TakeWaitingInput(handle);
    if (!earlier.empty()) CountStale(earlier, "found waiting before the command");
}

void TSerialPort::CountStale(std::string_view bytes, const char* what) {
    // A line feed after the CR that ended the last reply is that reply's own end.
    if (bytes.find_first_not_of("\r\n") == std::string_view::npos) return;
    fStaleBytesDiscarded += bytes.size();
    qCWarning(lcSerialPort).noquote() << QString::fromStdString("Port " + fPort + ": discarded " +
                                                                std::to_string(bytes.size()) + " bytes " + what + ": " +
                                                                PrintableBytes(bytes));
}

bool TSerialPort::ReadOwnReply(SerialHandle handle, std::chrono::milliseconds start, TSerialResponse& result) {
    const std::chrono::milliseconds deadline = start + std::chrono::milliseconds(fReadoutTimeoutMS);
    std::chrono::milliseconds nextCheck = start;
    std::string bytes;  // read and not yet taken apart into lines
    std::size_t skipped = 0;
    std::string reason;
    for (;;) {
        if (bytes.empty() && !WaitForReplyBytes(handle, start, nextCheck)) {
            result.Status = kStatusTimeout;
            return false;
        }
        bool read = false;
        {
            TRealTimeWork lineTime;
            read = ReadReply(handle, kMaxReplyBytes, bytes, reason);
        }
        if (!read) {
            Refused("reading", reason);
            result.Status = kStatusReadFailed;
            return false;
        }
        bool skippedNow = false;
        while (const std::optional<std::string_view> line = ReplyLine(bytes)) {
            std::string text(TrimBlanksAndControls(AnsiBytesToText(*line)));
            const std::size_t lineBytes = line->size() + 1;
            if (!fIsOwnReply || fIsOwnReply(text)) {
                result.Response = std::move(text);
                return true;
            }
            CountStale(bytes.substr(0, lineBytes), "of a line that answers no command of this exchange");
            bytes.erase(0, lineBytes);
            skipped += lineBytes;
            skippedNow = true;
        }
        // A piece left after a skipped line may be the start of the own reply, still coming.
        if (!bytes.empty() && !skippedNow) {
            Refused("reading", "the reply ended without its line end: " + ByteOrdinals(bytes));
            result.Status = kStatusReadFailed;
            return false;
        }
        // A line that keeps sending lines of others cannot hold the exchange beyond its time.
        if (CurrentClock().Monotonic() > deadline || skipped > static_cast<std::size_t>(kQueueSize)) {
            result.Status = kStatusTimeout;
            return false;
        }
    }
}

// Checks for waiting bytes right after the write and then once per poll interval while
// the check times stay within the reply time-out; bytes seen at a check are read at once.
// Without bytes, the exchange gives up one poll interval after the last check. The
// schedule counts from the start of the exchange, so opening and writing do not push the
// exchange past its described length; a second wait (after lines that were not the reply)
// goes on with the same schedule. A raised interrupt flag ends the wait as a failure.
bool TSerialPort::WaitForReplyBytes(SerialHandle handle, std::chrono::milliseconds start,
                                    std::chrono::milliseconds& nextCheck) {
    const TClock& clock = CurrentClock();
    const std::atomic<bool>& interrupt = fInterrupt != nullptr ? *fInterrupt : NeverInterrupted();
    const auto pollInterval = std::chrono::milliseconds(fWindowsReadLoopTimeoutMS);
    const auto deadline = start + std::chrono::milliseconds(fReadoutTimeoutMS);
    for (;;) {
        Trace("Waiting for data or timeout");
        // An error also ends the wait: the read then tells what went wrong.
        if (BytesWaiting(handle) != 0) return true;
        nextCheck += pollInterval;
        clock.Sleep(std::max(nextCheck - clock.Monotonic(), std::chrono::milliseconds(0)), interrupt);
        if (interrupt.load()) {
            Trace("Abandoned");
            return false;
        }
        // The schedule decides, so that a late wake-up does not cost the last check.
        if (nextCheck > deadline || (pollInterval.count() == 0 && clock.Monotonic() > deadline)) {
            Trace("Timeout");
            return false;
        }
    }
}

bool TSerialPort::SetDCBState(SerialHandle handle) {
    if (handle == InvalidSerialHandle()) return false;
    std::string reason;
    if (ApplyLineSettings(handle, fBaudRate, static_cast<std::uint8_t>(fParity & 0xFF),
                          static_cast<std::uint8_t>(fStopBits & 0xFF), reason))
        return true;
    Refused("setting the line", reason);
    return false;
}

bool TSerialPort::SetTimeOuts(SerialHandle handle) {
    if (handle == InvalidSerialHandle()) return false;
    std::string reason;
    if (ApplyTimeouts(handle, reason)) return true;
    Refused("setting the time-outs", reason);
    return false;
}

bool TSerialPort::SetBuffers(SerialHandle handle) {
    if (handle == InvalidSerialHandle()) return false;
    std::string reason;
    if (ApplyQueueSizes(handle, reason)) return true;
    Refused("sizing the queues", reason);
    return false;
}

void TSerialPort::Trace(const std::string& line) {
    if (!fDebug) return;
    qCDebug(lcSerialPort).noquote() << QString::fromStdString(line);
    fDebugMSG += line;
    fDebugMSG += "\r\n";
}

// The operator sees only the fixed status text; the system's reason goes here.
void TSerialPort::Refused(const char* step, const std::string& reason) {
    qCWarning(lcSerialPort).noquote() << QString::fromStdString("Port " + fPort + ": " + step + " failed: " + reason);
}

void SortPortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
}

#ifdef _WIN32

std::vector<std::string> ListComPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataLength] = 0;
        const std::string port(reinterpret_cast<const char*>(data));
        if (!port.empty()) ports.push_back(port);
    }
    RegCloseKey(key);
    SortPortNames(ports);
    return ports;
}

#else

std::vector<std::string> ListComPorts() {
    std::vector<std::string> ports = ListSystemSerialPorts("/sys/class/tty", "/dev");
    const std::vector<std::string> simulated = ListPublishedPorts(SimPortDirectory());
    ports.insert(ports.end(), simulated.begin(), simulated.end());
    SortPortNames(ports);
    return ports;
}

#endif

}  // namespace tessaro
