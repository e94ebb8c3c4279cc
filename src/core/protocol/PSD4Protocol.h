#pragma once
// The syringe pump's ASCII command language, without the port: command framing, the
// signature reply, the pump states with their status characters, and the position digits
// that carry the stored serial number. The driver (devices/pump/PSD4_Interface) talks.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

enum EnumInterfaceType : std::uint8_t { it_Undefined = 0, it_ASCII = 1 };

enum EnumPumpState : std::uint8_t {
    ps_Undefined = 0,
    ps_Connected = 1,
    ps_Initialized = 2,
    ps_No_error = 3,
    ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization = 4,
    ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used = 5,
    ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command = 6,
    ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect = 7,
    ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty = 8,
    ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize = 9,
    ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure = 10,
    ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure = 11,
    ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed =
        12,
    ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full = 13,
};
inline constexpr int kPumpStateCount = 14;

// The value's name as written above ("ps_No_error").
std::string_view PumpStateName(EnumPumpState state);
// "Ready, No error", "Busy, Invalid command - Occurs when an unrecognized command is used".
std::string PumpStatusAsString(EnumPumpState state, bool busy);

// What the status character of a reply (the third character, after "/0") says. A reply
// counts only when it is well formed: "/", the master address "0", then a status character
// that names a state. Anything else (junk, a line cut short, "/5`" from another address)
// tells nothing about the pump: neither ready nor stopped.
struct PumpStatusDecode {
    bool WellFormed = false;
    std::optional<EnumPumpState> State;  // set exactly when well formed
    bool Busy = false;
};
PumpStatusDecode DecodePumpStatus(std::string_view replyText);
// One of the error states a status character reports (the pump refused or failed the command).
bool IsPumpErrorState(EnumPumpState state);

inline constexpr char kPumpDefaultAddress = '1';
// Command letters, as the driver sends them (framed by PumpWireCommand) and the simulated
// pump recognises them.
inline constexpr std::string_view kPumpSignatureCommand = "?22";
inline constexpr std::string_view kPumpPositionQuery = "?";
inline constexpr std::string_view kPumpStatusQuery = "Q";
inline constexpr std::string_view kPumpTerminate = "T";
inline constexpr std::string_view kPumpTerminateProgram = "TR";  // stops the running program
inline constexpr std::string_view kPumpInitialise = "ZN1R";      // initialise in 24000-step resolution
// The signature query on the wire, to the default address.
inline constexpr std::string_view kPumpSignatureQuery = "/1?22\r";
// "/" + address + command letters + CR.
std::string PumpWireCommand(char address, std::string_view command);
// The trimmed reply of a PSD/4 to the signature query: "/0", a status character that names
// a state, "255". Its status: a pump still running a program left from an earlier session
// answers busy ("/0@255") and is a pump all the same. Nothing for any other reply.
std::optional<PumpStatusDecode> PumpSignatureStatus(std::string_view trimmedReply);
// Characters 4 to 8 (counted from 1) of a position reply: the digits after "/0" and the
// status character; fewer when the reply is shorter.
std::string PumpPositionDigits(std::string_view replyText);
// The serial text read as a decimal integer; nothing when it is not one.
std::optional<std::int64_t> ParsePumpSerial(std::string_view serialText);

}  // namespace tessaro
