#include "protocol/PSD4Protocol.h"

#include <array>

#include "protocol/ReplyText.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr std::array<std::string_view, kPumpStateCount> kStateNames = {
    "ps_Undefined",
    "ps_Connected",
    "ps_Initialized",
    "ps_No_error",
    "ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization",
    "ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used",
    "ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command",
    "ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect",
    "ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty",
    "ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize",
    "ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure",
    "ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure",
    "ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_"
    "syringe_move_commands_are_not_allowed",
    "ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full",
};

// Replies come from the master, address "0".
constexpr std::string_view kPumpReplyPrefix = "/0";
constexpr char32_t kGraveAccent = 0x60;
constexpr char32_t kLeftSingleQuote = 0x2018;  // byte 0x91 in the code page; counts as ready

// Upper-case letters are the busy forms of the error states, lower-case the ready ones.
std::optional<EnumPumpState> ErrorStateOfLetter(char32_t upper) {
    switch (upper) {
        case 'A':
            return ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization;
        case 'B':
            return ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used;
        case 'C':
            return ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command;
        case 'D':
            return ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect;
        case 'F':
            return ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty;
        case 'G':
            return ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize;
        case 'I':
            return ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure;
        case 'J':
            return ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure;
        case 'K':
            return ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed;
        case 'O':
            return ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full;
        default:
            return std::nullopt;
    }
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

}  // namespace

std::string_view PumpStateName(EnumPumpState state) {
    const auto index = static_cast<std::size_t>(state);
    return index < kStateNames.size() ? kStateNames[index] : std::string_view("ps_Undefined");
}

std::string PumpStatusAsString(EnumPumpState state, bool busy) {
    std::string text(PumpStateName(state).substr(3));
    ReplaceAll(text, "__", " - ");
    ReplaceAll(text, "_", " ");
    return (busy ? "Busy, " : "Ready, ") + text;
}

PumpStatusDecode DecodePumpStatus(std::string_view replyText) {
    PumpStatusDecode decode;
    if (!replyText.starts_with(kPumpReplyPrefix)) return decode;
    const std::optional<char32_t> status = Utf8CharAt(replyText, 2);
    if (!status) return decode;
    const char32_t c = *status;
    if (c == '@') {
        decode.State = ps_No_error;
        decode.Busy = true;
    } else if (c == kGraveAccent || c == kLeftSingleQuote) {
        decode.State = ps_No_error;
    } else if (c >= 'A' && c <= 'Z') {
        decode.State = ErrorStateOfLetter(c);
        decode.Busy = decode.State.has_value();
    } else if (c >= 'a' && c <= 'z') {
        decode.State = ErrorStateOfLetter(c - (U'a' - U'A'));
    }
    decode.WellFormed = decode.State.has_value();
    if (!decode.WellFormed) decode.Busy = false;
    return decode;
}

bool IsPumpErrorState(EnumPumpState state) { return state > ps_No_error; }

std::string PumpWireCommand(char address, std::string_view command) {
    std::string wire = "/";
    wire += address;
    wire += command;
    wire += '\r';
    return wire;
}

std::optional<PumpStatusDecode> PumpSignatureStatus(std::string_view trimmedReply) {
    constexpr std::string_view kSignature = "255";
    if (!trimmedReply.ends_with(kSignature)) return std::nullopt;
    const std::string_view statusPart = trimmedReply.substr(0, trimmedReply.size() - kSignature.size());
    // "/0" and exactly one status character before the signature.
    if (!statusPart.starts_with(kPumpReplyPrefix) || Utf8Length(statusPart) != 3) return std::nullopt;
    const PumpStatusDecode decode = DecodePumpStatus(statusPart);
    if (!decode.WellFormed) return std::nullopt;
    return decode;
}

std::string PumpPositionDigits(std::string_view replyText) { return std::string(Utf8Substr(replyText, 3, 5)); }

std::optional<std::int64_t> ParsePumpSerial(std::string_view serialText) { return ParseDecimalInteger(serialText); }

}  // namespace tessaro
