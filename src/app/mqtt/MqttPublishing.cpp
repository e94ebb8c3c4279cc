#include "mqtt/MqttPublishing.h"

#include "engine/Engine.h"

namespace tessaro {

TMqttPublishing::TMqttPublishing(TEngine& engine, const TMqttSettings& settings)
    : engine_(engine), settings_(settings) {
    // The publisher's thread ends before this object does (see the destructor); a notice
    // still queued then is dropped with the object.
    publisher_ = std::make_unique<TMqttPublisher>(settings_, [this](const TMqttNotice& notice) {
        QMetaObject::invokeMethod(
            this, [this, notice] { TakeNotice(notice); }, Qt::QueuedConnection);
    });
    engine_.SetObserver(publisher_.get());
}

TMqttPublishing::~TMqttPublishing() {
    engine_.SetObserver(nullptr);
    publisher_.reset();
}

void TMqttPublishing::TakeNotice(const TMqttNotice& notice) {
    if (!notice.LogLine.empty()) engine_.MM(notice.LogLine);
    if (notice.State == state_) return;
    state_ = notice.State;
    emit StateChanged();
}

std::unique_ptr<TMqttPublishing> StartMqttPublishing(TEngine& engine, const TMqttSettings& settings) {
    if (!settings.Enabled) return nullptr;
    engine.MM("MQTT: publishing to " + settings.BrokerText() + " as rig " + settings.Rig +
              (settings.User.empty() ? std::string() : ", user " + settings.User) + (settings.Tls ? ", TLS" : ""));
    return std::make_unique<TMqttPublishing>(engine, settings);
}

}  // namespace tessaro
