#pragma once
// SIGTERM, SIGINT and SIGHUP reach the program's event loop: the handler only writes the
// signal's number into a socket pair, and a socket notifier on the window thread reads it
// and calls the program's reaction there, where anything may be done. Used by the window
// and by the headless run alike. One object at a time; it puts the previous handlers back
// when it goes.

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace tessaro {

class TStopSignals {
public:
    // `onSignal` gets the signal's number, once per signal that arrived.
    explicit TStopSignals(std::function<void(int)> onSignal);
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // False, with the system's reason, when the socket pair or a handler could not be set up.
    bool Installed() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    static const std::vector<int>& Handled();

private:
    void ReadSignals();

    std::function<void(int)> onSignal_;
    int sockets_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<struct sigaction> previous_;
    std::string error_;
};

// "SIGTERM", "SIGINT", "SIGHUP"; "signal N" for any other.
std::string SignalName(int signal);

}  // namespace tessaro
