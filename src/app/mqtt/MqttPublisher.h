#pragma once
// Publishes the engine's live state to an MQTT broker from a thread of its own, which owns
// the libmosquitto client. The engine's calls only copy what they are given under a short
// lock: the newest state per device (an older one not yet sent is replaced) and at most
// kMqttEventQueueLimit events (the oldest dropped and counted). Away from the broker, the
// thread tries again after 1 s, doubling up to 60 s, and on its return publishes "online"
// and every device's current state. Subscribes to nothing.

#include <QDateTime>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "engine/EngineObserver.h"
#include "mqtt/MqttSettings.h"

struct mosquitto;

namespace tessaro {

inline constexpr std::size_t kMqttEventQueueLimit = 1000;
inline constexpr std::chrono::milliseconds kMqttFirstRetry{1000};
inline constexpr std::chrono::milliseconds kMqttLongestRetry{60000};

enum class TMqttState { Off, Connecting, Connected, Reconnecting };

// What the publisher's thread tells: a change of state, and a line for the log (a failure
// once per outage, each connection). Called on the publisher's thread.
struct TMqttNotice {
    TMqttState State = TMqttState::Off;
    std::string LogLine;  // empty: the state changed only
};
using TMqttNoticeSink = std::function<void(const TMqttNotice&)>;

// The status bar's words for a state.
std::string MqttStateText(TMqttState state, const TMqttSettings& settings);

class TMqttPublisher : public TEngineObserver {
public:
    // Starts the thread at once; `sink` may be empty.
    TMqttPublisher(TMqttSettings settings, TMqttNoticeSink sink);
    // Publishes "offline" when connected, closes the connection and ends the thread.
    ~TMqttPublisher() override;
    TMqttPublisher(const TMqttPublisher&) = delete;
    TMqttPublisher& operator=(const TMqttPublisher&) = delete;

    void DataLineMade(const TDataLineSnapshot& line) override;
    void EventOccurred(const TEngineEvent& event) override;

    TMqttState State() const { return state_.load(); }
    const TMqttSettings& Settings() const { return settings_; }
    // Events dropped because kMqttEventQueueLimit were waiting.
    std::uint64_t DroppedEvents() const;

private:
    struct TPendingState {
        QDateTime Time;
        TDeviceSnapshot Device;
    };
    struct TOutgoing {
        std::vector<std::pair<std::string, std::string>> States;  // topic, JSON
        std::vector<std::string> Events;
    };

    void Run();
    bool CreateClient(std::string& problem);
    bool Connect(std::string& problem);
    bool WaitForConnack(std::string& problem);
    void PublishOnline();
    bool PublishPending(std::string& problem);
    TOutgoing TakeOutgoing();
    bool Publish(const std::string& topic, const std::string& payload, bool retain, std::string& problem);
    void CloseCleanly();
    void WaitBeforeRetry();
    void TellFailure(const std::string& line);
    void SetState(TMqttState state, const std::string& logLine = {});
    bool Stopping() const;

    const TMqttSettings settings_;
    const TMqttNoticeSink sink_;
    std::atomic<TMqttState> state_{TMqttState::Connecting};

    // Set once, by the destructor; it also ends a wait before a retry.
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, TPendingState> states_;  // newest per port
    std::set<std::string> unsent_;                 // ports whose newest state is not out yet
    std::deque<TEngineEvent> events_;
    std::uint64_t droppedEvents_ = 0;
    std::uint64_t droppedUntold_ = 0;

    // Publisher thread only.
    mosquitto* client_ = nullptr;
    std::chrono::milliseconds retryDelay_ = kMqttFirstRetry;
    bool outageTold_ = false;
    bool everConnected_ = false;
    std::atomic<int> connackCode_{-1};  // set by the client's callback, on this thread

    std::thread thread_;
};

}  // namespace tessaro
