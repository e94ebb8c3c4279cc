#include "mqtt/MqttControl.h"

#include "engine/Engine.h"

namespace tessaro {

TMqttControl::TMqttControl(TEngine& engine, std::filesystem::path settingsFile, QObject* parent)
    : QObject(parent), engine_(engine), settingsFile_(std::move(settingsFile)) {
    settings_ = LoadMqttSettings(settingsFile_);
}

TMqttControl::~TMqttControl() = default;

void TMqttControl::Start() { Publish(); }

std::string TMqttControl::Apply(const TMqttSettings& settings) {
    std::string problem = MqttSettingsProblem(settings);
    if (!problem.empty()) return problem;
    std::string error;
    if (!SaveMqttSettings(settingsFile_, settings, error)) {
        engine_.MM("MQTT: the settings were not kept: " + error);
    }
    const bool changed = !(settings == settings_) || (settings.Enabled && publishing_ == nullptr);
    settings_ = settings;
    if (changed) Publish();
    return {};
}

void TMqttControl::Stop() {
    if (publishing_ == nullptr) return;
    publishing_.reset();
    engine_.MM("MQTT: publishing ended");
    emit StateChanged();
}

bool TMqttControl::IsConnected() const {
    return publishing_ != nullptr && publishing_->State() == TMqttState::Connected;
}

std::string TMqttControl::StateText() const {
    return publishing_ == nullptr ? std::string("Off") : publishing_->StateText();
}

void TMqttControl::Publish() {
    // The old connection closes cleanly ("offline") before a new one opens.
    Stop();
    publishing_ = StartMqttPublishing(engine_, settings_);
    if (publishing_ != nullptr)
        connect(publishing_.get(), &TMqttPublishing::StateChanged, this, &TMqttControl::StateChanged);
    emit StateChanged();
}

}  // namespace tessaro
