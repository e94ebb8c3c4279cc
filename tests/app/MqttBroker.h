#pragma once
// A real mosquitto broker on a free loopback port, started and stopped by a test, and a
// subscriber that collects what it receives. Both go through the real network stack.

#include <mosquitto.h>

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tessaro::test {

struct TReceived {
    std::string Topic;
    std::string Payload;
    bool Retained = false;
    std::chrono::steady_clock::time_point At;
};

// The broker program: on the PATH, or where Debian puts it (/usr/sbin is not on every PATH).
QString MosquittoProgram();
// A loopback TCP port nobody listens on at the moment of the call.
std::uint16_t FreeLoopbackPort();
// True once something accepts TCP connections on the loopback port.
bool WaitForListener(std::uint16_t port, std::chrono::milliseconds limit);

class TBroker {
public:
    // With `configLines`, the broker reads them (after "listener PORT 127.0.0.1") from a
    // configuration file; otherwise it runs as `mosquitto -p PORT`.
    explicit TBroker(std::uint16_t port = FreeLoopbackPort(), std::string configLines = {});
    ~TBroker();
    bool Start();
    void Stop();
    std::uint16_t Port() const { return port_; }

private:
    std::uint16_t port_;
    std::string configLines_;
    std::string configFile_;
    QProcess process_;
};

class TSubscriber {
public:
    // Subscribes to `filter` on the broker at `port` with a thread of its own.
    TSubscriber(std::uint16_t port, const std::string& filter);
    ~TSubscriber();
    bool Connected() const;
    std::vector<TReceived> Received() const;
    // The last payload on `topic`, empty when none came.
    std::string Last(const std::string& topic) const;
    // Waits until `topic` received `payload` (any payload when empty); false after `limit`.
    bool WaitFor(const std::string& topic, const std::string& payload, std::chrono::milliseconds limit) const;

private:
    mosquitto* client_ = nullptr;
    std::string filter_;
    mutable std::mutex mutex_;
    std::vector<TReceived> received_;
    bool subscribed_ = false;
};

}  // namespace tessaro::test
