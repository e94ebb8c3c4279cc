#include "protocol/AlicatMFCProtocol.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "protocol/ReplyText.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

struct FlagText {
    std::string_view Token;
    std::string_view Explanation;
};

constexpr std::array<FlagText, kAlicatErrorCount> kFlagTexts = {{
    {"ADC",
     "Internal communication error (not common \xE2\x80\x93 please contact Alicat for "
     "assistance)."},
    {"EXH", "Manual exhaust valve override is enabled (max opening on the downstream valve)."},
    {"HLD", "Valve drive hold enabled (bypass active loop control)."},
    {"LCK", "Display buttons are disabled."},
    {"MOV",
     "Mass flow rate overage (flow is outside the measurable range, including the "
     "uncalibrated range)."},
    {"OPL", "The overpressure limit is enabled."},
    {"OVR", "Totalizer has rolled over at least once or frozen at max value."},
    {"POV",
     "Pressure reading overage (pressure is outside the measurable range, including the "
     "uncalibrated range)."},
    {"TMF", "Totalizer missed some flow data (due to a MOV or VOV error)."},
    {"TOV", "Temperature reading overage (temperature is outside measurable range)."},
    {"VOV",
     "Volumetric flow rate overage (Volumetric flow is outside the measurable range, "
     "including the uncalibrated range)."},
}};

std::string UnitACommand(std::string_view command) { return "A" + std::string(command) + "\r"; }

// Every controller is set up as unit "A", whatever letter it is later addressed with.
const std::array<AlicatInitStep, 7> kInitSequence = {{
    {UnitACommand(""), "", ""},
    {UnitACommand(kAlicatFactoryRestoreCommand), "A Factory values have been restored.", "Factory reset failed:"},
    {UnitACommand(kAlicatRemoteLssCommand), "A U", "Remote control failed:"},
    {UnitACommand(kAlicatRemoteSpueCommand), "A U", "Remote control failed:"},
    {UnitACommand(kAlicatSetpointInCountsCommand), "A 62 count", "Remote setpoint mode:count failed:"},
    {UnitACommand(kAlicatPressureInBarACommand), "A 7 barA", "Pressure barA failed:"},
    {UnitACommand("0"), "", ""},
}};

const FlagText& TextOf(TAlicatError flag) { return kFlagTexts[static_cast<std::size_t>(flag)]; }

}  // namespace

std::string_view AlicatErrorToken(TAlicatError flag) { return TextOf(flag).Token; }

std::string_view AlicatErrorExplanation(TAlicatError flag) { return TextOf(flag).Explanation; }

std::optional<TAlicatError> AlicatErrorFromToken(std::string_view token) {
    for (int i = 0; i < kAlicatErrorCount; ++i)
        if (kFlagTexts[static_cast<std::size_t>(i)].Token == token) return static_cast<TAlicatError>(i);
    return std::nullopt;
}

bool TAlicatData::Errors(std::string& text) const {
    text.clear();
    for (int i = 0; i < kAlicatErrorCount; ++i) {
        const auto flag = static_cast<TAlicatError>(i);
        if (!ErrorFlags.Contains(flag)) continue;
        text += AlicatErrorExplanation(flag);
        text += "\r\n";
    }
    text = std::string(TrimBlanksAndControls(text));
    return !text.empty();
}

std::span<const AlicatInitStep> AlicatInitSequence() { return kInitSequence; }

std::string AlicatSerialFromReply(std::string_view reply) {
    const std::string_view trimmed = TrimBlanksAndControls(reply);
    const std::vector<std::string_view> words = SplitAtBlankRuns(trimmed);
    for (std::size_t i = 0; i + 2 < words.size(); ++i)
        if (EqualIgnoringAsciiCase(words[i], "Serial") && EqualIgnoringAsciiCase(words[i + 1], "Number"))
            return std::string(words[i + 2]);
    return std::string(trimmed);
}

bool IsAlicatReplyFrom(char unitID, std::string_view reply) {
    if (reply.empty() || reply.front() != unitID) return false;
    if (reply.size() > 1 && reply[1] != ' ') return false;
    return std::all_of(reply.begin(), reply.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string AlicatPollCommand(char unitID) { return std::string(1, unitID) + "\r"; }

std::string AlicatGasCommand(char unitID, int gasID) {
    return std::string(1, unitID) + std::string(kAlicatGasCommand) + " " + std::to_string(gasID) + "\r";
}

std::string AlicatFullScaleQuery(char unitID) {
    return std::string(1, unitID) + std::string(kAlicatFullScaleCommand) + "\r";
}

double AlicatSetpointCounts(double setpoint_pct) {
    const double counts = RoundHalfToEven(setpoint_pct * kAlicatFullScaleCounts / 100);
    return counts == 0 ? 0.0 : counts;  // no "-0"
}

std::optional<std::string> AlicatSetpointCommand(char unitID, double setpoint_pct) {
    const double counts = AlicatSetpointCounts(setpoint_pct);
    if (!std::isfinite(counts)) return std::nullopt;
    char digits[400];
    const auto result = std::to_chars(digits, digits + sizeof digits, counts, std::chars_format::fixed, 0);
    return std::string(1, unitID) + std::string(digits, result.ptr) + "\r";
}

AlicatStatusResult ParseAlicatStatus(std::string_view reply, char unitID, double now, TAlicatData& data) {
    const std::vector<std::string_view> fields = SplitAtBlankRuns(reply);
    if (fields.size() < kAlicatStatusFields) return {AlicatStatusParse::TooFewFields, -1};
    if (fields[0] != std::string_view(&unitID, 1)) return {AlicatStatusParse::OtherUnit, -1};

    std::array<double, 6> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::optional<double> value = ParseDotNumber(fields[i + 1]);
        if (!value) return {AlicatStatusParse::NotANumber, static_cast<int>(i + 1)};
        numbers[i] = *value;
    }
    data.DataTime = now;
    data.Pressure = numbers[0];
    data.Temp = numbers[1];
    data.FlowRate_vol = numbers[2];
    data.FlowRate_mass = numbers[3];
    data.SetpointFromDevice = numbers[4];
    data.Totalizer = numbers[5];
    data.GasSN = std::string(fields[7]);
    if (fields.size() > 8) {
        data.ErrorFlags = TAlicatErrors();
        for (std::size_t i = 8; i < fields.size(); ++i)
            if (const auto flag = AlicatErrorFromToken(fields[i])) data.ErrorFlags.Include(*flag);
    }
    return {AlicatStatusParse::Applied, -1};
}

AlicatFullScale ParseAlicatFullScale(std::string_view reply) {
    AlicatFullScale result;
    const std::vector<std::string_view> fields = SplitAtEach(reply);
    if (fields.size() != 4) return result;
    result.FourFields = true;
    result.Value = std::string(fields[1]);
    result.Unit = std::string(fields[3]);
    result.MaxFlow_gpm = ParseDotNumber(fields[1]);
    return result;
}

}  // namespace tessaro
