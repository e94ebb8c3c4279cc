#pragma once
// The topics and the JSON texts the program publishes under "tessaro/<rig>/".

#include <QDateTime>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/EngineObserver.h"

namespace tessaro {

std::string MqttStatusTopic(const std::string& rig);
std::string MqttEventsTopic(const std::string& rig);
// "tessaro/<rig>/devices/<device>/state", the device being its port made topic-safe.
std::string MqttDeviceStateTopic(const std::string& rig, std::string_view comPort);
// A port as one topic level: each run of characters other than letters, digits, "-", "_"
// and "." becomes one "_", and none stands first or last ("/dev/ttyUSB0" → "dev_ttyUSB0").
std::string TopicSafeDeviceName(std::string_view comPort);

// Local time with its offset from UTC, to the millisecond: "2026-12-11T09:30:00.000+01:00".
std::string IsoTimeWithOffset(const QDateTime& time);

std::string DeviceStateJson(const QDateTime& time, const TDeviceSnapshot& device);
std::string EventJson(const TEngineEvent& event);
// Told before the events kept when older ones had to be dropped.
std::string EventsDroppedJson(const QDateTime& time, std::uint64_t count);

// A JSON string literal of `text` (quotes included); bytes that are not valid UTF-8 become
// U+FFFD so the message stays valid JSON.
std::string JsonString(std::string_view text);
// A number as the data CSV file writes it ("." and one to six decimals, whatever the
// locale), or null for none, a non-finite value or one below the lowest a reading can be.
std::string JsonNumber(std::optional<double> value);

}  // namespace tessaro
