#include "mqtt/MqttSettings.h"

#include <QFile>
#include <QSettings>
#include <QString>
#include <algorithm>
#include <charconv>

namespace tessaro {

namespace {

constexpr const char* kGroup = "mqtt";
constexpr int kLongestKeepAlive_s = 65535;

bool IsRigCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool IsValidHost(std::string_view host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '#' || c == '+';
    });
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::string TMqttSettings::BrokerText() const { return Host + ":" + std::to_string(Port); }

bool IsValidRigName(std::string_view rig) {
    return !rig.empty() && std::all_of(rig.begin(), rig.end(), IsRigCharacter);
}

std::optional<TMqttSettings> ParseMqttAddress(std::string_view hostPort, std::string_view rig, std::string& error) {
    TMqttSettings settings;
    std::string_view host = hostPort;
    // "[::1]:1883" for an IPv6 address with a port; otherwise the last colon parts the port.
    std::optional<std::string_view> portText;
    if (host.starts_with('[')) {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) {
            error = "MQTT broker \"" + std::string(hostPort) + "\": missing \"]\"";
            return std::nullopt;
        }
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') {
                error = "MQTT broker \"" + std::string(hostPort) + "\": expected HOST[:PORT]";
                return std::nullopt;
            }
            portText = host.substr(close + 2);
        }
        host = host.substr(1, close - 1);
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos && host.find(':') == colon) {
        portText = host.substr(colon + 1);
        host = host.substr(0, colon);
    }
    if (!IsValidHost(host)) {
        error = "MQTT broker \"" + std::string(hostPort) + "\": no host name";
        return std::nullopt;
    }
    if (portText) {
        const std::optional<std::uint16_t> port = ParsePort(*portText);
        if (!port) {
            error = "MQTT broker \"" + std::string(hostPort) + "\": the port must be a number from 1 to 65535";
            return std::nullopt;
        }
        settings.Port = *port;
    }
    if (!IsValidRigName(rig)) {
        error = "MQTT rig name \"" + std::string(rig) + "\": only letters, digits, \"-\" and \"_\" are allowed";
        return std::nullopt;
    }
    settings.Enabled = true;
    settings.Host = std::string(host);
    settings.Rig = std::string(rig);
    return settings;
}

std::string MqttSettingsProblem(const TMqttSettings& settings) {
    if (!settings.Enabled) return {};
    if (!IsValidHost(settings.Host)) return "Enter the broker's host name or address.";
    if (settings.Port == 0) return "The port must be a number from 1 to 65535.";
    if (!IsValidRigName(settings.Rig)) return "The rig name may hold only letters, digits, \"-\" and \"_\".";
    if (settings.Tls && settings.CaFile.empty()) return "TLS needs the file of the certificate authority.";
    if (settings.KeepAlive_s < 5 || settings.KeepAlive_s > kLongestKeepAlive_s)
        return "The keep-alive must be from 5 to 65535 s.";
    return {};
}

std::filesystem::path MqttSettingsFile(const std::filesystem::path& dataFolder) { return dataFolder / "Tessaro.ini"; }

TMqttSettings LoadMqttSettings(const std::filesystem::path& file) {
    TMqttSettings settings;
    QSettings ini(QString::fromStdString(file.string()), QSettings::IniFormat);
    ini.beginGroup(kGroup);
    settings.Enabled = ini.value("enabled", false).toBool();
    settings.Host = ini.value("host").toString().toStdString();
    const int port = ini.value("port", kMqttDefaultPort).toInt();
    settings.Port = port > 0 && port <= 65535 ? static_cast<std::uint16_t>(port) : kMqttDefaultPort;
    settings.Rig = ini.value("rig").toString().toStdString();
    settings.User = ini.value("user").toString().toStdString();
    settings.Password = ini.value("password").toString().toStdString();
    settings.Tls = ini.value("tls", false).toBool();
    settings.CaFile = ini.value("cafile").toString().toStdString();
    settings.KeepAlive_s = ini.value("keepalive", kMqttDefaultKeepAlive_s).toInt();
    ini.endGroup();
    // Settings a hand edit spoiled stay off rather than publish somewhere unexpected.
    if (!MqttSettingsProblem(settings).empty()) settings.Enabled = false;
    return settings;
}

bool SaveMqttSettings(const std::filesystem::path& file, const TMqttSettings& settings, std::string& error) {
    const QString path = QString::fromStdString(file.string());
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.beginGroup(kGroup);
        ini.setValue("enabled", settings.Enabled);
        ini.setValue("host", Text(settings.Host));
        ini.setValue("port", settings.Port);
        ini.setValue("rig", Text(settings.Rig));
        ini.setValue("user", Text(settings.User));
        ini.setValue("password", Text(settings.Password));
        ini.setValue("tls", settings.Tls);
        ini.setValue("cafile", Text(settings.CaFile));
        ini.setValue("keepalive", settings.KeepAlive_s);
        ini.endGroup();
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            error = "cannot write " + file.string();
            return false;
        }
    }
    // The file holds a password.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

}  // namespace tessaro
