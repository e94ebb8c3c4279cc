#pragma once
// The flow controllers' ASCII command language, without the port: the command texts, the
// initialisation table, the status record with its flags, and the parsers of the status
// line and of the full-scale reply. The driver (devices/mfc/AlicatMFC) sends and receives.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaro {

// 64000 counts are the full scale of mass flow and setpoint once the controller is
// initialised; 640 counts per percent.
inline constexpr double kAlicatFullScaleCounts = 64000;
inline constexpr int kAlicatMinGasID = 0;
inline constexpr int kAlicatMaxGasID = 210;

// The status flags a controller appends to its status line, in their report order.
enum class TAlicatError : std::uint8_t { ADC, EXH, HLD, LCK, MOV, OPL, OVR, POV, TMF, TOV, VOV };
inline constexpr int kAlicatErrorCount = 11;

std::string_view AlicatErrorToken(TAlicatError flag);        // "LCK"
std::string_view AlicatErrorExplanation(TAlicatError flag);  // the operator's explanation
std::optional<TAlicatError> AlicatErrorFromToken(std::string_view token);

// A set of status flags (16 bits).
class TAlicatErrors {
public:
    void Include(TAlicatError flag) { bits_ |= Bit(flag); }
    void Exclude(TAlicatError flag) { bits_ &= static_cast<std::uint16_t>(~Bit(flag)); }
    bool Contains(TAlicatError flag) const { return (bits_ & Bit(flag)) != 0; }
    bool Empty() const { return bits_ == 0; }
    std::uint16_t Bits() const { return bits_; }
    bool operator==(const TAlicatErrors&) const = default;

private:
    static std::uint16_t Bit(TAlicatError flag) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(flag));
    }
    std::uint16_t bits_ = 0;
};

// The status and command record of one controller.
struct TAlicatData {
    double DataTime = 0;  // local date-time of the reading, days since 1899-12-30
    double Pressure = 0;  // bar absolute
    double Temp = 0;
    double FlowRate_vol = 0;
    double FlowRate_mass = 0;       // counts, 64000 = full scale
    double SetpointFromDevice = 0;  // counts
    double Totalizer = 0;
    std::string GasSN;  // short name of the selected gas as the controller reports it
    TAlicatErrors ErrorFlags;
    std::string Raw;          // Role + ":" + the whole status line
    double Setpoint_pct = 0;  // wanted setpoint, percent of full scale
    double MaxFlowgpm = 0;    // full scale, g/min
    std::int32_t GasID = 0;   // wanted gas number
    std::string GasDescription;
    std::uint32_t GasLiveSource = 0;

    // One explanation per flag, in flag order, joined by CR LF; true when there is any.
    bool Errors(std::string& text) const;
};

enum TAlicatInitialize : std::uint8_t { TAIKestraLumora = 0 };

// One command of the initialisation sequence; an empty Expected means the reply is not
// compared.
struct AlicatInitStep {
    std::string Command;
    std::string_view Expected;
    std::string_view FailureLabel;
};
std::span<const AlicatInitStep> AlicatInitSequence();

// Command texts after the unit letter, as the driver sends them and the simulated
// controller recognises them.
inline constexpr std::string_view kAlicatFactoryRestoreCommand = "FACTORY RESTORE ALL";
inline constexpr std::string_view kAlicatRemoteLssCommand = "LSS U";
inline constexpr std::string_view kAlicatRemoteSpueCommand = "SPUE 0";
inline constexpr std::string_view kAlicatSetpointInCountsCommand = "DCU 37 62";
inline constexpr std::string_view kAlicatPressureInBarACommand = "DCU 2 7";
inline constexpr std::string_view kAlicatGasCommand = "G";  // followed by a blank and the gas number
inline constexpr std::string_view kAlicatFullScaleCommand = "FPF 37 67";
inline constexpr std::string_view kAlicatSerialNumberQuery = "??M5";

// Command texts with the unit letter, each ending in CR.
std::string AlicatPollCommand(char unitID);            // "A\r"
std::string AlicatGasCommand(char unitID, int gasID);  // "AG 8\r"
std::string AlicatFullScaleQuery(char unitID);         // "AFPF 37 67\r"
// The manufacturing-data query the device search reads the serial number with.
inline constexpr std::string_view kAlicatSerialQuery = "A??M5\r";
// The serial number in a reply to that query ("A M05 Serial Number 100001"): the word after
// "Serial Number" (letter case ignored); the whole reply, trimmed, when it has no such word.
std::string AlicatSerialFromReply(std::string_view reply);
// A reply line (trimmed) of the unit `unitID`: its letter alone or followed by a blank,
// and printable ASCII throughout. Every controller reply has this form; the rest of a cut
// line, another unit's line or noise has not.
bool IsAlicatReplyFrom(char unitID, std::string_view reply);
// Percent of full scale to counts, rounded to the nearest whole count, halves to even.
double AlicatSetpointCounts(double setpoint_pct);
// "A32000\r"; nothing for a setpoint that is not a finite number.
std::optional<std::string> AlicatSetpointCommand(char unitID, double setpoint_pct);

// Parsing a status line (already trimmed) into `data`. Only a full line is a reading: the
// unit letter, six numbers, the gas and, from the ninth field on, the flags. A shorter line
// has lost its gas and flags (a controller reporting LCK would look free to take a
// setpoint), and a line from another unit letter is someone else's or noise.
enum class AlicatStatusParse {
    Applied,       // eight or more fields: numbers, gas and (from nine fields) flags set
    TooFewFields,  // seven fields or fewer: nothing set
    OtherUnit,     // the first field is not the unit letter addressed: nothing set
    NotANumber,    // a numeric field is not a decimal number: nothing set
};
inline constexpr std::size_t kAlicatStatusFields = 8;  // unit letter to gas
struct AlicatStatusResult {
    AlicatStatusParse Outcome = AlicatStatusParse::TooFewFields;
    int BadField = -1;  // with NotANumber: the 0-based field
};
// `now` becomes DataTime. Raw is the caller's (it carries the controller's role).
AlicatStatusResult ParseAlicatStatus(std::string_view reply, char unitID, double now, TAlicatData& data);

// The reply to the full-scale query: four fields separated by single blanks, field 1 the
// full scale in g/min and field 3 its unit label.
struct AlicatFullScale {
    bool FourFields = false;
    std::string Value;                  // field 1 as written
    std::string Unit;                   // field 3
    std::optional<double> MaxFlow_gpm;  // field 1 as a number, when it is one
};
AlicatFullScale ParseAlicatFullScale(std::string_view reply);

}  // namespace tessaro
