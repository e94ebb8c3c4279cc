#include "serial/SerialDevice.h"

#include <algorithm>
#include <chrono>

#include "clock/Clock.h"
#include "protocol/ReplyText.h"
#include "serial/PortNames.h"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace tessaro {

#ifdef _WIN32

namespace {
std::string SystemErrorText(DWORD code) {
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text + " (" + std::to_string(code) + ")";
}
}  // namespace

SerialHandle InvalidSerialHandle() { return INVALID_HANDLE_VALUE; }

SerialHandle OpenSerialExclusive(const std::string& portName, std::string& reason) {
    // The device namespace also reaches COM10 and above.
    const std::string path = "\\\\.\\" + portName;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) reason = SystemErrorText(GetLastError());
    return handle;
}

void CloseSerial(SerialHandle handle) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

bool ApplyLineSettings(SerialHandle handle, std::int32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                       std::string& reason) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (SetCommState(handle, &dcb)) return true;
    reason = SystemErrorText(GetLastError());
    return false;
}

bool ApplyTimeouts(SerialHandle handle, std::string& reason) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalTimeoutMS;
    timeouts.ReadTotalTimeoutMultiplier = kReadTotalMultiplierMS;
    timeouts.ReadTotalTimeoutConstant = kReadTotalConstantMS;
    timeouts.WriteTotalTimeoutMultiplier = kWriteTotalMultiplierMS;
    timeouts.WriteTotalTimeoutConstant = kWriteTotalConstantMS;
    if (SetCommTimeouts(handle, &timeouts)) return true;
    reason = SystemErrorText(GetLastError());
    return false;
}

bool ApplyQueueSizes(SerialHandle handle, std::string& reason) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (SetupComm(handle, kQueueSize, kQueueSize)) return true;
    reason = SystemErrorText(GetLastError());
    return false;
}

bool WriteAll(SerialHandle handle, std::string_view bytes, std::string& reason) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        reason = SystemErrorText(GetLastError());
        return false;
    }
    if (written != bytes.size()) {
        reason = "write timed out";
        return false;
    }
    return true;
}

int BytesWaiting(SerialHandle handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) return -1;
    return static_cast<int>(std::min<DWORD>(status.cbInQue, 1 << 30));
}

std::string TakeWaitingInput(SerialHandle handle) {
    const int waiting = std::min(BytesWaiting(handle), kQueueSize);
    if (waiting <= 0) return {};
    std::string buffer(static_cast<std::size_t>(waiting), '\0');
    DWORD got = 0;
    if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(waiting), &got, nullptr)) got = 0;
    PurgeComm(handle, PURGE_RXCLEAR);
    buffer.resize(got);
    return buffer;
}

bool ReadReply(SerialHandle handle, std::size_t maxBytes, std::string& bytes, std::string& reason) {
    std::string buffer(maxBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(maxBytes), &got, nullptr)) {
        reason = SystemErrorText(GetLastError());
        return false;
    }
    bytes.append(buffer.data(), got);
    return true;
}

#else  // POSIX

namespace {

using std::chrono::milliseconds;

// The read and write time-outs stand for the ones a Windows port driver keeps itself: they
// bound bytes that are moving on the line, so they run on real time (poll() waits in real
// time) whatever clock the rest of the program reads.
milliseconds RealTimeNow() {
    static const TSystemClock realTime;
    return realTime.Monotonic();
}

milliseconds ReadTotalTimeout(std::size_t bytes) {
    return milliseconds(kReadTotalMultiplierMS * static_cast<long long>(bytes) + kReadTotalConstantMS);
}

milliseconds WriteTotalTimeout(std::size_t bytes) {
    return milliseconds(kWriteTotalMultiplierMS * static_cast<long long>(bytes) + kWriteTotalConstantMS);
}

std::string ErrnoText(int error) { return std::strerror(error); }

bool BaudConstant(std::int32_t baud, speed_t& speed) {
    struct Rate {
        std::int32_t Baud;
        speed_t Speed;
    };
    static constexpr Rate kRates[] = {{50, B50},         {75, B75},         {110, B110},        {134, B134},
                                      {150, B150},       {200, B200},       {300, B300},        {600, B600},
                                      {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
                                      {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
                                      {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
                                      {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const Rate& rate : kRates)
        if (rate.Baud == baud) {
            speed = rate.Speed;
            return true;
        }
    return false;
}

bool ParityFlags(std::uint8_t parity, tcflag_t& flags) {
    switch (parity) {
        case 0:
            flags = 0;
            return true;
        case 1:
            flags = PARENB | PARODD;
            return true;
        case 2:
            flags = PARENB;
            return true;
        case 3:
            flags = PARENB | PARODD | CMSPAR;
            return true;
        case 4:
            flags = PARENB | CMSPAR;
            return true;
        default:
            return false;
    }
}

// One and a half stop bits exist only with five data bits, as on Windows.
bool StopBitFlags(std::uint8_t stopBits, tcflag_t& flags) {
    switch (stopBits) {
        case 0:
            flags = 0;
            return true;
        case 2:
            flags = CSTOPB;
            return true;
        default:
            return false;
    }
}

bool IsValid(SerialHandle handle) { return handle >= 0 && fcntl(handle, F_GETFD) != -1; }

// After a hang-up (the other end of a pseudo-terminal closed, a USB adapter pulled) a read
// returns 0 at once, as it does on a line with nothing waiting (VMIN and VTIME are 0), and
// poll() reports the line readable; only POLLHUP or POLLERR tell the two apart.
bool HungUp(SerialHandle handle) {
    pollfd pfd{handle, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

SerialHandle InvalidSerialHandle() { return -1; }

SerialHandle OpenSerialExclusive(const std::string& portName, std::string& reason) {
    const std::string path = PortDevicePath(portName);
    if (path.empty()) {
        reason = "\"" + portName + "\" is not a port name";
        return -1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = path + ": " + ErrnoText(errno);
        return -1;
    }
    if (!isatty(fd)) {
        reason = path + ": not a serial device";
        close(fd);
        return -1;
    }
    // Every exchange of this program, in any process, locks the device for its length.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        reason = path + ": " + (error == EWOULDBLOCK ? std::string("held by another exchange") : ErrnoText(error));
        close(fd);
        return -1;
    }
    tcflush(fd, TCOFLUSH);
    return fd;
}

void CloseSerial(SerialHandle handle) {
    if (handle >= 0) close(handle);
}

bool ApplyLineSettings(SerialHandle handle, std::int32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                       std::string& reason) {
    if (handle < 0) return false;
    speed_t speed{};
    tcflag_t parityFlags = 0, stopFlags = 0;
    if (!BaudConstant(baud, speed)) {
        reason = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    if (!ParityFlags(parity, parityFlags)) {
        reason = "unsupported parity code " + std::to_string(parity);
        return false;
    }
    if (!StopBitFlags(stopBits, stopFlags)) {
        reason = "unsupported stop-bit code " + std::to_string(stopBits);
        return false;
    }
    // A fresh line setting, not a change of the current one.
    termios settings{};
    settings.c_cflag = CS8 | CREAD | CLOCAL | parityFlags | stopFlags;
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(handle, TCSANOW, &settings) != 0) {
        reason = ErrnoText(errno);
        return false;
    }
    // Pseudo-terminals have no modem lines; there DTR and RTS need not be set.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(handle, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        reason = "cannot raise DTR and RTS: " + ErrnoText(errno);
        return false;
    }
    return true;
}

// The read time-outs are kept by ReadReply and the write time-out by WriteAll; the
// driver itself does not wait (VMIN and VTIME are 0).
bool ApplyTimeouts(SerialHandle handle, std::string& reason) {
    if (IsValid(handle)) return true;
    reason = ErrnoText(EBADF);
    return false;
}

// The tty layer sizes its own queues.
bool ApplyQueueSizes(SerialHandle handle, std::string& reason) {
    if (IsValid(handle)) return true;
    reason = ErrnoText(EBADF);
    return false;
}

bool WriteAll(SerialHandle handle, std::string_view bytes, std::string& reason) {
    const auto deadline = RealTimeNow() + WriteTotalTimeout(bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(handle, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            reason = ErrnoText(errno);
            return false;
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - RealTimeNow());
        if (left.count() <= 0) {
            reason = "write timed out";
            return false;
        }
        pollfd pfd{handle, POLLOUT, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
    return true;
}

int BytesWaiting(SerialHandle handle) {
    int count = 0;
    if (ioctl(handle, FIONREAD, &count) != 0) return -1;
    if (count > 0) return count;
    return HungUp(handle) ? -1 : 0;
}

std::string TakeWaitingInput(SerialHandle handle) {
    std::string taken;
    char buffer[256];
    while (taken.size() < static_cast<std::size_t>(kQueueSize)) {
        const ssize_t n =
            read(handle, buffer, std::min(sizeof buffer, static_cast<std::size_t>(kQueueSize) - taken.size()));
        if (n > 0)
            taken.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return taken;
}

bool ReadReply(SerialHandle handle, std::size_t maxBytes, std::string& bytes, std::string& reason) {
    const std::size_t start = bytes.size();
    const auto deadline = RealTimeNow() + ReadTotalTimeout(maxBytes);
    char buffer[256];
    while (bytes.size() - start < maxBytes) {
        const std::size_t want = std::min(sizeof buffer, maxBytes - (bytes.size() - start));
        const ssize_t n = read(handle, buffer, want);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            // What follows the line end is not read.
            if (std::string_view(bytes).substr(start).find(kReplyEnd) != std::string_view::npos) return true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            reason = ErrnoText(errno);
            return false;
        }
        if (HungUp(handle)) {
            reason = "the line hung up";
            return false;
        }
        auto wait = std::chrono::duration_cast<milliseconds>(deadline - RealTimeNow());
        if (wait.count() <= 0) break;
        if (!bytes.empty()) wait = std::min(wait, milliseconds(kReadIntervalTimeoutMS));
        pollfd pfd{handle, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(wait.count()));
        if (ready == 0 && !bytes.empty()) break;  // the reply has ended in silence
    }
    return true;
}

#endif

}  // namespace tessaro
