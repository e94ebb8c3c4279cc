#pragma once
// Segment programs: one point per line, "time setpoint Step|Ramp [note]", minutes and
// percent of full scale with '.' as decimal separator. Validation, reading, evaluation,
// table conversion and merging, plus the small text utilities the whole program uses.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "segments/ProgramText.h"
#include "text/LocalDateTime.h"

namespace tessaro {

struct TSegment {
    double Time = 0;      // minutes since the program start
    double Setpoint = 0;  // percent of full scale
    std::string aType;    // the type word as written
    int32_t Index = 0;    // 0-based line; -1 not found; -2 the implicit start point
    std::string Note;     // underscores stand for spaces
};

inline constexpr int32_t kSegmentNotFoundIndex = -1;
inline constexpr int32_t kImplicitStartIndex = -2;
inline constexpr const char* kPastLastPointNote = "Hard coded zero flow for past last programmed point.";

TSegment NotFoundSegment();
TSegment ImplicitStartSegment();

// What a device gets after the last point of its program (and of its last cycle): the last
// point's setpoint, or 0 %.
enum class TSegProgTermination : uint8_t { tspttKeep = 0, tspttZero = 1 };

// The editing form of a program: one row per segment, three or four cells
// (time, setpoint, type, optional note with real spaces).
using TSegmentTableRow = std::vector<std::string>;
using TSegmentTable = std::vector<TSegmentTableRow>;

// Program text. Problems are reported through ShowMessage, in the order found.
// Numbers in the messages use `decimalSeparator`.
bool ValidateSegmentProgram(std::string_view text, char decimalSeparator = '.');
// The same check with the problems handed to `report` instead of shown.
using TMessageReport = std::function<void(const std::string& message)>;
bool ValidateSegmentProgram(std::string_view text, char decimalSeparator, const TMessageReport& report);
int SegmentCount(std::string_view text);
TSegment ReadSegment(int index, std::string_view text);
// One line of a program, without its line break, read as ReadSegment reads line `index`.
TSegment ReadSegmentLine(std::string_view line, int index);
TSegment SegmentAtTime(std::string_view text, double t);

// A program text read once, for evaluating it many times: the segments in text order and,
// per line, the latest time of the lines up to it, so that the line deciding a time (the
// first in text order not before it) is found by binary search. Gives what the text
// functions give, messages included.
class TParsedSegmentProgram {
public:
    TParsedSegmentProgram() = default;
    explicit TParsedSegmentProgram(std::string text);
    // The text it was read from.
    const std::string& Text() const { return text_; }
    int Count() const { return static_cast<int>(segments_.size()); }
    // SegmentAtTime(Text(), t).
    TSegment At(double t) const;
    // The last line as ReadSegmentLine reads it; the implicit start point without lines.
    TSegment Last() const;

private:
    std::string text_;
    std::vector<TSegment> segments_;
    std::vector<double> latestTime_;
    std::vector<int> unreadableLines_;  // ascending
};

// The parsed form of each device's program, read again only when the text's version changed
// (nothing of the text is read otherwise). `key` names the device.
class TParsedProgramCache {
public:
    const TParsedSegmentProgram& For(const std::string& key, const TProgramText& text);

private:
    struct TEntry {
        std::uint64_t Version = 0;
        TParsedSegmentProgram Program;
    };
    std::map<std::string, TEntry, std::less<>> programs_;
};
double ProgramDuration(std::string_view text, char decimalSeparator = '.');
// Inserts `line` (or replaces the line with the same whole-minute time) and sorts by time.
// Throws ConversionError, leaving `text` untouched, when a time is not a whole number.
void MergeSegmentLine(std::string& text, std::string_view line);
std::string TableToProgramText(const TSegmentTable& table);
void ProgramTextToTable(std::string_view text, TSegmentTable& table);

// Splits at CR, LF and CR LF; a break at the very end starts no further line.
std::vector<std::string_view> SplitProgramLines(std::string_view text);

// Text and number utilities.
double StrToFloatDot(std::string_view text);           // throws ConversionError
double StrToFloatAnySeparator(std::string_view text);  // ',' or '.' as separator; throws ConversionError
std::string LeftAligned(std::string_view text, int width);
std::string RightAligned(std::string_view text, int width, bool commaToDot);
std::string FieldByIndex(std::string_view text, char delimiter, int index);
std::string LogTimestamp(const TLocalDateTime& now);  // "hh:nn:ss:zzz "
enum class DurationStyle { Long, Compact };
std::string DurationToText(DurationStyle style, double minutes, char decimalSeparator = '.');
std::string SanitizeNote(std::string_view text);

// The merged listing of several devices' programs, side by side by time. `lines`: the time
// unit's letter, its factor in minutes written with `decimalSeparator`, then one
// "port|type name|program text" per device. Without these the result is the message that
// names what is missing.
std::string FormatSegmentProgramsTable(const std::vector<std::string>& lines, char decimalSeparator = '.');
// The two lines above the listing of `deviceCount` devices, each ended by CR LF.
std::string SegmentProgramsBanner(int deviceCount);

}  // namespace tessaro
