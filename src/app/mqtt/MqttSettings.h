#pragma once
// Where and as whom the program publishes its live state: the broker, the rig's name that
// heads every topic, the optional login and TLS. Off unless a host and a rig are given.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

inline constexpr std::uint16_t kMqttDefaultPort = 1883;
inline constexpr int kMqttDefaultKeepAlive_s = 30;

struct TMqttSettings {
    bool Enabled = false;
    std::string Host;
    std::uint16_t Port = kMqttDefaultPort;
    std::string Rig;
    std::string User;      // none when empty
    std::string Password;  // never written to a log
    bool Tls = false;
    std::string CaFile;  // with Tls: the authority the broker's certificate is checked against
    // Seconds between the client's signs of life; the broker declares the rig "offline"
    // after one and a half of them without one.
    int KeepAlive_s = kMqttDefaultKeepAlive_s;

    // "host:port", as the status bar and the log name the broker.
    std::string BrokerText() const;
    bool operator==(const TMqttSettings&) const = default;
};

// A rig name heads the topics: letters, digits, "-" and "_" only, at least one.
bool IsValidRigName(std::string_view rig);

// HOST[:PORT] (port 1 to 65535, 1883 when none is given) and the rig's name, as the command
// line and the run file give them: enabled settings, or none with the reason in `error`.
std::optional<TMqttSettings> ParseMqttAddress(std::string_view hostPort, std::string_view rig, std::string& error);

// The same checks for settings entered whole (the Preferences dialog): empty when they can
// be used, else the reason.
std::string MqttSettingsProblem(const TMqttSettings& settings);

// The settings as the program keeps them between runs, in the INI file `file`; the password
// is kept there too, readable by the file's owner alone. Missing or unreadable: off.
TMqttSettings LoadMqttSettings(const std::filesystem::path& file);
bool SaveMqttSettings(const std::filesystem::path& file, const TMqttSettings& settings, std::string& error);
// The file the program keeps them in, in its data folder.
std::filesystem::path MqttSettingsFile(const std::filesystem::path& dataFolder);

}  // namespace tessaro
