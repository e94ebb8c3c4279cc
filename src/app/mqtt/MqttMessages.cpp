#include "mqtt/MqttMessages.h"

#include "text/DataCsv.h"

#include <cmath>
#include <cstdio>

namespace tessaro {

namespace {

bool IsTopicSafe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

// The length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

class TJsonObject {
public:
    TJsonObject& Field(const char* name, const std::string& json) {
        text_ += text_.empty() ? "{" : ",";
        text_ += JsonString(name);
        text_ += ':';
        text_ += json;
        return *this;
    }
    TJsonObject& Text(const char* name, std::string_view value) { return Field(name, JsonString(value)); }
    TJsonObject& Number(const char* name, std::optional<double> value) { return Field(name, JsonNumber(value)); }
    std::string Close() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

}  // namespace

std::string MqttStatusTopic(const std::string& rig) { return "tessaro/" + rig + "/status"; }

std::string MqttEventsTopic(const std::string& rig) { return "tessaro/" + rig + "/events"; }

std::string MqttDeviceStateTopic(const std::string& rig, std::string_view comPort) {
    return "tessaro/" + rig + "/devices/" + TopicSafeDeviceName(comPort) + "/state";
}

std::string TopicSafeDeviceName(std::string_view comPort) {
    std::string name;
    bool gap = false;
    for (const char c : comPort) {
        if (!IsTopicSafe(c)) {
            gap = true;
            continue;
        }
        if (gap && !name.empty()) name += '_';
        gap = false;
        name += c;
    }
    return name.empty() ? "device" : name;
}

std::string IsoTimeWithOffset(const QDateTime& time) {
    const int offset_s = time.offsetFromUtc();
    const int offset_min = std::abs(offset_s) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset_s < 0 ? '-' : '+', (offset_min / 60) % 100, offset_min % 60);
    return time.toString("yyyy-MM-ddTHH:mm:ss.zzz").toStdString() + zone;
}

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            json += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        const char c = text[0];
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            json += escape;
        } else {
            json.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return json + "\"";
}

std::string JsonNumber(std::optional<double> value) {
    // Written as the CSV file writes it, so that both say the same.
    const std::string text = value ? CsvNumber(*value) : std::string();
    return text.empty() ? "null" : text;
}

std::string DeviceStateJson(const QDateTime& time, const TDeviceSnapshot& device) {
    TJsonObject json;
    json.Text("time", IsoTimeWithOffset(time))
        .Text("port", device.COMPort)
        .Text("name", device.Name)
        .Text("kind", device.Kind)
        .Text(device.IsPump ? "fluid" : "gas", device.Fluid)
        .Text("unit", device.Unit)
        .Number("planned_pct", device.Planned_pct)
        .Number("planned_flow", device.PlannedFlow)
        .Number("achieved_flow", device.AchievedFlow)
        .Text("state", device.State)
        .Number("program_time_min", device.ProgramTime_min)
        .Field("alarm", device.Alarm ? JsonString(*device.Alarm) : "null");
    return json.Close();
}

std::string EventJson(const TEngineEvent& event) {
    TJsonObject json;
    json.Text("time", IsoTimeWithOffset(event.Time)).Text("event", EngineEventName(event.Kind));
    if (!event.COMPort.empty()) json.Text("port", event.COMPort).Text("name", event.Name);
    return json.Text("text", event.Text).Close();
}

std::string EventsDroppedJson(const QDateTime& time, std::uint64_t count) {
    return TJsonObject()
        .Text("time", IsoTimeWithOffset(time))
        .Text("event", "events dropped")
        .Number("count", static_cast<double>(count))
        .Close();
}

}  // namespace tessaro
