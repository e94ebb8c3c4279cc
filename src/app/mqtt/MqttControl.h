#pragma once
// The window's side of publishing: the settings kept in the data folder, applied from the
// "Publish to MQTT…" dialog, and the state the status bar shows. Window thread only.

#include <QObject>
#include <filesystem>
#include <memory>
#include <string>

#include "mqtt/MqttPublishing.h"
#include "mqtt/MqttSettings.h"

namespace tessaro {

class TEngine;

class TMqttControl : public QObject {
    Q_OBJECT

public:
    // Keeps the settings in `settingsFile`; publishes nothing until Start or Apply.
    TMqttControl(TEngine& engine, std::filesystem::path settingsFile, QObject* parent = nullptr);
    ~TMqttControl() override;

    // Start-up: publishes with the settings of the last run, when they were on.
    void Start();
    // The dialog's "OK": checks the settings, keeps them and publishes with them (or stops
    // publishing when they are off). Empty when taken, else the reason, and nothing changed.
    std::string Apply(const TMqttSettings& settings);
    // Shutdown: "offline" goes out before the workers are stopped.
    void Stop();

    const TMqttSettings& Settings() const { return settings_; }
    bool IsOn() const { return publishing_ != nullptr; }
    bool IsConnected() const;
    // "Off", "Connected to host:port", "Reconnecting".
    std::string StateText() const;

signals:
    void StateChanged();

private:
    void Publish();

    TEngine& engine_;
    std::filesystem::path settingsFile_;
    TMqttSettings settings_;
    std::unique_ptr<TMqttPublishing> publishing_;
};

}  // namespace tessaro
