#include "sim/SimulatedMfc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "protocol/AlicatMFCProtocol.h"
#include "protocol/ReplyText.h"
#include "text/TextScan.h"

namespace tessaro::sim {

namespace {

constexpr double kFullScaleCounts = 64000;
constexpr double kStandardMolarVolume_l = 24.465;  // ideal gas at 25 °C and 1 atm

struct GasRow {
    int Number;
    const char* ShortName;
    double MolarMass;
};

constexpr std::array<GasRow, 20> kGases = {{
    {0, "Air", 28.966},   {1, "Ar", 39.948},      {2, "CH4", 16.043},   {3, "CO", 28.010},      {4, "CO2", 44.010},
    {5, "C2H6", 30.069},  {6, "H2", 2.016},       {7, "He", 4.003},     {8, "N2", 28.013},      {9, "N2O", 44.013},
    {10, "Ne", 20.180},   {11, "O2", 31.999},     {12, "C3H8", 44.096}, {13, "nC4H10", 58.122}, {14, "C2H2", 26.037},
    {15, "C2H4", 28.053}, {16, "iC4H10", 58.122}, {17, "Kr", 83.798},   {18, "Xe", 131.293},    {19, "SF6", 146.055},
}};

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

SimGas SimGasOf(int gas) {
    for (const GasRow& row : kGases)
        if (row.Number == gas) return {row.ShortName, row.MolarMass};
    return {"G" + std::to_string(gas), kGases[0].MolarMass};
}

SimulatedMfc::SimulatedMfc(SimMfcConfig config)
    : config_(std::move(config)), gas_(config_.Gas), random_(config_.Seed) {}

std::string SimulatedMfc::Describe() const {
    char text[200];
    std::snprintf(text, sizeof text, "flow controller, gas %d (%s), full scale %g SLPM = %.4f g/min", gas_,
                  SimGasOf(gas_).ShortName.c_str(), config_.FullScale_slpm, FullScale_gpm());
    return text;
}

double SimulatedMfc::FullScale_gpm() const {
    return config_.FullScale_slpm * SimGasOf(gas_).MolarMass / kStandardMolarVolume_l;
}

void SimulatedMfc::SetLagSeconds(double seconds) { config_.LagSeconds = seconds; }

double SimulatedMfc::MassFlowCounts(double now) {
    Advance(now);
    return flow_;
}

void SimulatedMfc::Advance(double now) {
    if (lastTime_ < 0 || now <= lastTime_) {
        lastTime_ = std::max(lastTime_, now);
        return;
    }
    const double dt = now - lastTime_;
    const double before = flow_;
    const double lag = std::max(config_.LagSeconds, 1e-3);
    flow_ = setpoint_ + (flow_ - setpoint_) * std::exp(-dt / lag);
    totalizer_ += (before + flow_) / 2 / kFullScaleCounts * config_.FullScale_slpm * dt / 60;
    lastTime_ = now;
}

std::string SimulatedMfc::Reply(std::string_view text) const {
    return std::string(1, config_.UnitID) + " " + std::string(text) + "\r";
}

std::string SimulatedMfc::StatusLine(double now) {
    Advance(now);
    std::uniform_real_distribution<double> noise(-config_.NoiseCounts, config_.NoiseCounts);
    std::uniform_real_distribution<double> wobble(-0.05, 0.05);
    const double mass = std::round(flow_ + noise(random_));
    const double pressure = 1.01325 + 0.2 * flow_ / kFullScaleCounts;
    char line[160];
    std::snprintf(line, sizeof line, "%c %+08.4f %+07.2f %+06.0f %+06.0f %+06.0f %+010.3f %s", config_.UnitID, pressure,
                  25.0 + wobble(random_), mass, mass, setpoint_, totalizer_, SimGasOf(gas_).ShortName.c_str());
    std::string status = line;
    for (const std::string& flag : flags_) status += " " + flag;
    return status + "\r";
}

std::optional<std::string> SimulatedMfc::Answer(std::string_view line, double now) {
    if (line.empty() || line.front() != config_.UnitID) return std::nullopt;
    const std::string_view command = line.substr(1);
    Advance(now);
    if (command.empty()) return StatusLine(now);
    if (command == kAlicatSerialNumberQuery) return Reply("M05 Serial Number " + config_.SerialNumber);
    if (command == kAlicatFactoryRestoreCommand) {
        gas_ = config_.Gas;
        setpoint_ = 0;
        return Reply("Factory values have been restored.");
    }
    if (command == kAlicatRemoteLssCommand || command == kAlicatRemoteSpueCommand) return Reply("U");
    if (command == kAlicatSetpointInCountsCommand) return Reply("62 count");
    if (command == kAlicatPressureInBarACommand) return Reply("7 barA");
    if (command == kAlicatFullScaleCommand) {
        char value[64];
        std::snprintf(value, sizeof value, "%.4f 67 g/m", FullScale_gpm());
        return Reply(value);
    }
    if (StartsWith(command, kAlicatGasCommand)) {
        const auto gas = ParseDecimalInteger(TrimBlanksAndControls(command.substr(kAlicatGasCommand.size())));
        if (!gas || *gas < 0 || *gas > 210) return Reply("?");
        gas_ = static_cast<int>(*gas);
        return StatusLine(now);
    }
    if (const auto counts = ParseDotNumber(command)) {
        setpoint_ = std::clamp(std::round(*counts), 0.0, kFullScaleCounts);
        return StatusLine(now);
    }
    return Reply("?");
}

}  // namespace tessaro::sim
