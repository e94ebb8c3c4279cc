#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "clock/Clock.h"
#include "mqtt/MqttMessages.h"

namespace tessaro {

namespace {

using namespace std::chrono_literals;

constexpr int kQos = 1;
// How long one turn of the network loop waits for the socket before looking at new work.
constexpr int kLoopTurn_ms = 100;
// How long the broker has to accept a connection, and to take "offline" at a clean close.
constexpr auto kConnackBound = 10s;
constexpr auto kCloseBound = 2s;
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

void InitialiseLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The reason of a failed libmosquitto call, in words.
std::string ClientProblem(int code, int savedErrno) {
    switch (code) {
        case MOSQ_ERR_ERRNO:
            return std::strerror(savedErrno);
        case MOSQ_ERR_EAI:
            return "the host name cannot be resolved";
        case MOSQ_ERR_TLS:
            return "the TLS handshake failed (check the CA file and the broker's certificate)";
        case MOSQ_ERR_CONN_LOST:
            return "the connection was lost";
        default:
            return mosquitto_strerror(code);
    }
}

std::string ClientId(const std::string& rig) {
    std::random_device random;
    return "tessaro-" + rig + "-" + std::to_string(random() % 1000000);
}

}  // namespace

std::string MqttStateText(TMqttState state, const TMqttSettings& settings) {
    switch (state) {
        case TMqttState::Off:
            return "Off";
        case TMqttState::Connecting:
            return "Connecting to " + settings.BrokerText();
        case TMqttState::Connected:
            return "Connected to " + settings.BrokerText();
        case TMqttState::Reconnecting:
            return "Reconnecting";
    }
    return "Off";
}

TMqttPublisher::TMqttPublisher(TMqttSettings settings, TMqttNoticeSink sink)
    : settings_(std::move(settings)), sink_(std::move(sink)) {
    InitialiseLibraryOnce();
    thread_ = std::thread([this] { Run(); });
}

TMqttPublisher::~TMqttPublisher() {
    stopping_ = true;
    thread_.join();
}

void TMqttPublisher::DataLineMade(const TDataLineSnapshot& line) {
    std::lock_guard lock(mutex_);
    for (const TDeviceSnapshot& device : line.Devices) {
        states_[device.COMPort] = {line.Time, device};
        unsent_.insert(device.COMPort);
    }
}

void TMqttPublisher::EventOccurred(const TEngineEvent& event) {
    std::lock_guard lock(mutex_);
    if (events_.size() >= kMqttEventQueueLimit) {
        events_.pop_front();
        ++droppedEvents_;
        ++droppedUntold_;
    }
    events_.push_back(event);
}

std::uint64_t TMqttPublisher::DroppedEvents() const {
    std::lock_guard lock(mutex_);
    return droppedEvents_;
}

bool TMqttPublisher::Stopping() const { return stopping_.load(); }

void TMqttPublisher::SetState(TMqttState state, const std::string& logLine) {
    const bool changed = state_.exchange(state) != state;
    if (sink_ && (changed || !logLine.empty())) sink_({state, logLine});
}

void TMqttPublisher::TellFailure(const std::string& line) {
    // One line per outage: the retries that follow fail the same way.
    const std::string told = outageTold_ ? std::string() : line;
    outageTold_ = true;
    SetState(TMqttState::Reconnecting, told);
}

void TMqttPublisher::WaitBeforeRetry() {
    CurrentClock().Sleep(retryDelay_, stopping_);
    retryDelay_ = std::min(retryDelay_ * 2, kMqttLongestRetry);
}

void TMqttPublisher::Run() {
    while (!Stopping()) {
        std::string problem;
        if (client_ == nullptr && !CreateClient(problem)) {
            TellFailure("MQTT: cannot publish to " + settings_.BrokerText() + ": " + problem +
                        ". Trying again in the background.");
            WaitBeforeRetry();
            continue;
        }
        if (!Connect(problem)) {
            TellFailure("MQTT: cannot connect to " + settings_.BrokerText() + ": " + problem +
                        ". Trying again in the background.");
            WaitBeforeRetry();
            continue;
        }
        retryDelay_ = kMqttFirstRetry;
        outageTold_ = false;
        SetState(TMqttState::Connected,
                 "MQTT: connected to " + settings_.BrokerText() + ", publishing under tessaro/" + settings_.Rig + "/");
        PublishOnline();
        {
            // A broker that restarted may have lost the retained states: all go out again.
            std::lock_guard lock(mutex_);
            for (const auto& [port, state] : states_) unsent_.insert(port);
        }
        while (!Stopping()) {
            if (!PublishPending(problem)) break;
            const int code = mosquitto_loop(client_, kLoopTurn_ms, 1);
            if (code != MOSQ_ERR_SUCCESS) {
                problem = ClientProblem(code, errno);
                break;
            }
        }
        if (Stopping()) {
            CloseCleanly();
            break;
        }
        mosquitto_disconnect(client_);
        TellFailure("MQTT: the connection to " + settings_.BrokerText() + " was lost: " + problem +
                    ". Reconnecting in the background.");
        WaitBeforeRetry();
    }
    if (client_ != nullptr) mosquitto_destroy(client_);
    client_ = nullptr;
    SetState(TMqttState::Off);
}

bool TMqttPublisher::CreateClient(std::string& problem) {
    client_ = mosquitto_new(ClientId(settings_.Rig).c_str(), true, this);
    if (client_ == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    mosquitto_connect_callback_set(
        client_, [](mosquitto*, void* self, int code) { static_cast<TMqttPublisher*>(self)->connackCode_ = code; });
    const std::string status = MqttStatusTopic(settings_.Rig);
    int code =
        mosquitto_will_set(client_, status.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, kQos, true);
    if (code == MOSQ_ERR_SUCCESS && !settings_.User.empty())
        code = mosquitto_username_pw_set(client_, settings_.User.c_str(),
                                         settings_.Password.empty() ? nullptr : settings_.Password.c_str());
    if (code == MOSQ_ERR_SUCCESS && settings_.Tls) {
        code = mosquitto_tls_set(client_, settings_.CaFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (code != MOSQ_ERR_SUCCESS) problem = "the CA file \"" + settings_.CaFile + "\" cannot be read";
    }
    if (code == MOSQ_ERR_SUCCESS) return true;
    if (problem.empty()) problem = ClientProblem(code, errno);
    mosquitto_destroy(client_);
    client_ = nullptr;
    return false;
}

bool TMqttPublisher::Connect(std::string& problem) {
    connackCode_ = -1;
    // Without waiting for the socket: a broker that does not answer must not hold up a
    // close of the program for the system's connect time-out.
    const int code = mosquitto_connect_async(client_, settings_.Host.c_str(), settings_.Port, settings_.KeepAlive_s);
    if (code != MOSQ_ERR_SUCCESS) {
        problem = ClientProblem(code, errno);
        return false;
    }
    return WaitForConnack(problem);
}

bool TMqttPublisher::WaitForConnack(std::string& problem) {
    const std::chrono::milliseconds deadline = MonotonicNow() + kConnackBound;
    while (connackCode_ < 0) {
        if (Stopping()) {
            problem = "closing";
            mosquitto_disconnect(client_);
            return false;
        }
        if (MonotonicNow() > deadline) {
            problem = "the broker did not answer";
            mosquitto_disconnect(client_);
            return false;
        }
        const int code = mosquitto_loop(client_, kLoopTurn_ms, 1);
        if (code != MOSQ_ERR_SUCCESS && connackCode_ < 0) {
            problem = ClientProblem(code, errno);
            return false;
        }
    }
    if (connackCode_ == 0) return true;
    problem = std::string("the broker refused: ") + mosquitto_connack_string(connackCode_);
    mosquitto_disconnect(client_);
    return false;
}

void TMqttPublisher::PublishOnline() {
    std::string ignored;
    Publish(MqttStatusTopic(settings_.Rig), kOnline, true, ignored);
}

TMqttPublisher::TOutgoing TMqttPublisher::TakeOutgoing() {
    std::vector<TPendingState> states;
    std::vector<TEngineEvent> events;
    std::uint64_t dropped = 0;
    {
        std::lock_guard lock(mutex_);
        for (const std::string& port : unsent_) states.push_back(states_.at(port));
        unsent_.clear();
        events.assign(events_.begin(), events_.end());
        events_.clear();
        dropped = droppedUntold_;
        droppedUntold_ = 0;
    }
    // The text is made here, off the engine's thread.
    TOutgoing outgoing;
    for (const TPendingState& state : states)
        outgoing.States.emplace_back(MqttDeviceStateTopic(settings_.Rig, state.Device.COMPort),
                                     DeviceStateJson(state.Time, state.Device));
    if (dropped > 0) outgoing.Events.push_back(EventsDroppedJson(QDateTime::currentDateTime(), dropped));
    for (const TEngineEvent& event : events) outgoing.Events.push_back(EventJson(event));
    return outgoing;
}

bool TMqttPublisher::PublishPending(std::string& problem) {
    const TOutgoing outgoing = TakeOutgoing();
    for (const auto& [topic, json] : outgoing.States)
        if (!Publish(topic, json, true, problem)) return false;
    const std::string events = MqttEventsTopic(settings_.Rig);
    for (const std::string& json : outgoing.Events)
        if (!Publish(events, json, false, problem)) return false;
    return true;
}

bool TMqttPublisher::Publish(const std::string& topic, const std::string& payload, bool retain, std::string& problem) {
    const int code = mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                       payload.data(), kQos, retain);
    if (code == MOSQ_ERR_SUCCESS) return true;
    problem = ClientProblem(code, errno);
    return false;
}

void TMqttPublisher::CloseCleanly() {
    // "offline" replaces the retained "online"; the broker's acknowledgement ends the wait.
    struct TAck {
        int Mid = -1;
        bool Done = false;
    } ack;
    mosquitto_user_data_set(client_, &ack);
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* data, int mid) {
        TAck& pending = *static_cast<TAck*>(data);
        if (mid == pending.Mid) pending.Done = true;
    });
    const std::string status = MqttStatusTopic(settings_.Rig);
    if (mosquitto_publish(client_, &ack.Mid, status.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, kQos,
                          true) == MOSQ_ERR_SUCCESS) {
        const std::chrono::milliseconds deadline = MonotonicNow() + kCloseBound;
        while (!ack.Done && MonotonicNow() < deadline)
            if (mosquitto_loop(client_, kLoopTurn_ms, 1) != MOSQ_ERR_SUCCESS) break;
    }
    mosquitto_disconnect(client_);
    mosquitto_loop(client_, kLoopTurn_ms, 1);
    mosquitto_user_data_set(client_, this);
}

}  // namespace tessaro
