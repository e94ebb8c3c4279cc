#include "run/StopSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace tessaro {

namespace {

// The write end for the handler; -1 while no TStopSignals lives.
std::atomic<int> g_signalSocket{-1};

extern "C" void WriteSignalNumber(int signal) {
    const int savedErrno = errno;
    const int socket = g_signalSocket.load();
    if (socket >= 0) {
        const auto number = static_cast<unsigned char>(signal);
        // A full socket drops the byte: the signals already waiting have the same effect.
        [[maybe_unused]] const ssize_t written = write(socket, &number, 1);
    }
    errno = savedErrno;
}

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

const std::vector<int>& TStopSignals::Handled() {
    static const std::vector<int> handled = {SIGTERM, SIGINT, SIGHUP};
    return handled;
}

std::string SignalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

TStopSignals::TStopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_) != 0) {
        error_ = SystemError("socketpair");
        sockets_[0] = sockets_[1] = -1;
        return;
    }
    if (!MakeNonBlocking(sockets_[0]) || !MakeNonBlocking(sockets_[1])) {
        error_ = SystemError("fcntl");
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { ReadSignals(); });
    g_signalSocket = sockets_[0];

    struct sigaction action {};
    action.sa_handler = WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Handled()) {
        struct sigaction previous {};
        if (sigaction(signal, &action, &previous) != 0) {
            error_ = SystemError("sigaction");
            return;
        }
        previous_.push_back(previous);
    }
}

TStopSignals::~TStopSignals() {
    for (std::size_t i = 0; i < previous_.size(); ++i) sigaction(Handled()[i], &previous_[i], nullptr);
    g_signalSocket = -1;
    notifier_.reset();
    for (const int socket : sockets_)
        if (socket >= 0) close(socket);
}

void TStopSignals::ReadSignals() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t count = read(sockets_[1], numbers, sizeof numbers);
        if (count <= 0) return;
        for (ssize_t i = 0; i < count; ++i) onSignal_(numbers[i]);
    }
}

}  // namespace tessaro
