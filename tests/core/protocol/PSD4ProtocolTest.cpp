#include "protocol/PSD4Protocol.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tessaro {
namespace {

TEST(DecodePumpStatus, ReadsStateAndBusyBitFromTheThirdCharacterOfAWellFormedReply) {
    struct Case {
        const char* Reply;
        std::optional<EnumPumpState> State;
        bool Busy;
    };
    const Case cases[] = {
        {"/0@", ps_No_error, true},
        {"/0`", ps_No_error, false},
        {"/0`1234", ps_No_error, false},
        {"/0\u2018", ps_No_error, false},
        {"/0a", ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization, false},
        {"/0B", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, true},
        {"/0b", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false},
        {"/0c", ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command, false},
        {"/0D", ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect, true},
        {"/0f", ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty, false},
        {"/0G", ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize, true},
        {"/0i", ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure, false},
        {"/0J", ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure, true},
        {"/0k",
         ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed,
         false},
        {"/0O", ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full, true},
    };
    for (const Case& c : cases) {
        const PumpStatusDecode decoded = DecodePumpStatus(c.Reply);
        EXPECT_TRUE(decoded.WellFormed) << c.Reply;
        EXPECT_EQ(decoded.State, c.State) << c.Reply;
        EXPECT_EQ(decoded.Busy, c.Busy) << c.Reply;
    }
}

// Neither ready nor busy can be read from a reply that is not "/0" and a listed status
// character: junk, a cut line, another address, or a character that names no state.
TEST(DecodePumpStatus, TakesNothingFromAReplyThatIsNotWellFormed) {
    for (const char* reply :
         {"", "/", "/0", "/5`", "/1`", "0`", "x/0`", "?0`255", "/0E", "/0e", "/0H", "/07", "/0 ", "/0\u00C4"}) {
        const PumpStatusDecode decoded = DecodePumpStatus(reply);
        EXPECT_FALSE(decoded.WellFormed) << reply;
        EXPECT_FALSE(decoded.State.has_value()) << reply;
        EXPECT_FALSE(decoded.Busy) << reply;
    }
}

TEST(PumpStatusAsString, SpellsTheStateNameOut) {
    EXPECT_EQ(PumpStatusAsString(ps_No_error, false), "Ready, No error");
    EXPECT_EQ(PumpStatusAsString(ps_No_error, true), "Busy, No error");
    EXPECT_EQ(PumpStatusAsString(
                  ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization, true),
              "Busy, Initialization error - Occurs when a syringe or valve error happens during initialization");
    EXPECT_EQ(PumpStatusAsString(ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize, false),
              "Ready, Syringe not initialized - Occurs when the syringefails to initialize");
    EXPECT_EQ(PumpStatusAsString(ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false),
              "Ready, Invalid command - Occurs when an unrecognized command is used");
    EXPECT_EQ(PumpStatusAsString(ps_Undefined, false), "Ready, Undefined");
}

TEST(PumpWireCommand, FramesAddressAndCarriageReturn) {
    EXPECT_EQ(PumpWireCommand('1', "ZN1R"), "/1ZN1R\r");
    EXPECT_EQ(PumpWireCommand('1', "Q"), "/1Q\r");
    EXPECT_EQ(PumpWireCommand(kPumpDefaultAddress, kPumpSignatureCommand), kPumpSignatureQuery);
}

// Any status a pump can report goes with its signature; a pump still dosing answers busy.
TEST(PumpSignatureStatus, TakesTheSignatureWithTheStatusItCarries) {
    const struct {
        const char* reply;
        EnumPumpState state;
        bool busy;
    } pumps[] = {
        {"/0`255", ps_No_error, false},
        {"/0@255", ps_No_error, true},
        {"/0\u2018255", ps_No_error, false},
        {"/0b255", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false},
        {"/0O255", ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full, true},
    };
    for (const auto& pump : pumps) {
        const std::optional<PumpStatusDecode> status = PumpSignatureStatus(pump.reply);
        ASSERT_TRUE(status) << pump.reply;
        EXPECT_EQ(status->State, pump.state) << pump.reply;
        EXPECT_EQ(status->Busy, pump.busy) << pump.reply;
    }
    for (const char* other : {"", "255", "/0255", "/0`2550", "/0`25", "/0E255", "/5`255", "/0``255", "A M05 255"})
        EXPECT_FALSE(PumpSignatureStatus(other)) << other;
}

TEST(PumpPositionDigits, TakesCharactersFourToEight) {
    EXPECT_EQ(PumpPositionDigits("/0`1234"), "1234");
    EXPECT_EQ(PumpPositionDigits("/0`123456789"), "12345");
    EXPECT_EQ(PumpPositionDigits("/0`"), "");
    EXPECT_EQ(PumpPositionDigits("/0\u20181"), "1");
}

TEST(ParsePumpSerial, ReadsADecimalIntegerOrNothing) {
    EXPECT_EQ(ParsePumpSerial("12345678"), 12345678);
    EXPECT_EQ(ParsePumpSerial("00"), 0);
    EXPECT_EQ(ParsePumpSerial("2400024000"), 2400024000LL);
    EXPECT_EQ(ParsePumpSerial(""), std::nullopt);
    EXPECT_EQ(ParsePumpSerial("12b"), std::nullopt);
}

}  // namespace
}  // namespace tessaro
