#pragma once
// Publishing an engine's live state: the one call that turns it on (the window, the
// command line and the run file all use it). The publisher's notices reach the engine's
// on-screen log and the status bar on the window thread; the engine never waits for the
// publisher. Window thread only.

#include <QObject>
#include <memory>
#include <string>

#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttSettings.h"

namespace tessaro {

class TEngine;

class TMqttPublishing : public QObject {
    Q_OBJECT

public:
    // Starts publishing what `engine` reports; the engine must outlive this object.
    TMqttPublishing(TEngine& engine, const TMqttSettings& settings);
    // Stops: "offline" is published and the engine is left without a listener.
    ~TMqttPublishing() override;

    TMqttState State() const { return state_; }
    // "Connected to host:port", "Reconnecting", …, as the status bar shows it.
    std::string StateText() const { return MqttStateText(state_, settings_); }
    const TMqttSettings& Settings() const { return settings_; }
    TMqttPublisher& Publisher() { return *publisher_; }

signals:
    void StateChanged();

private:
    void TakeNotice(const TMqttNotice& notice);

    TEngine& engine_;
    const TMqttSettings settings_;
    TMqttState state_ = TMqttState::Connecting;
    std::unique_ptr<TMqttPublisher> publisher_;
};

// Starts publishing for `engine` with `settings`, and says so in its log; none when the
// settings are off.
std::unique_ptr<TMqttPublishing> StartMqttPublishing(TEngine& engine, const TMqttSettings& settings);

}  // namespace tessaro
