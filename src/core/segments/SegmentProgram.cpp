#include "segments/SegmentProgram.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <utility>

#include "text/Errors.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

// Characters a note, and outside of line breaks a whole program text, may hold.
bool IsNoteCharacter(char c) {
    return c == ' ' || c == '%' || c == '*' || c == '/' || c == '@' || (c >= '0' && c <= '9') ||
           (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsProgramCharacter(char c) { return IsNoteCharacter(c) || c == '\r' || c == '\n' || c == '_' || c == '.'; }

void ReplaceFirstComma(std::string& text) {
    if (const size_t comma = text.find(','); comma != std::string::npos) text[comma] = '.';
}

// Plain decimals of up to 15 digits ("12.5", "-0.25") are exact as a whole number divided
// by a power of ten, which the division rounds correctly; this keeps evaluating long
// programs cheap. Anything else goes to from_chars.
bool TryParseShortDecimal(std::string_view text, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool seenPoint = false;
    for (char c : text) {
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 15) return false;
            mantissa = mantissa * 10 + (c - '0');
            decimals += seenPoint;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    if (negative) value = -value;
    return true;
}

// from_chars reads no plus sign. A plus followed by a minus stays, so that "+-5" is no number.
std::string_view WithoutPlusSign(std::string_view text) {
    if (text.starts_with('+') && !text.substr(1).starts_with('-')) text.remove_prefix(1);
    return text;
}

// `value` is written only when the whole text is one number, so a field that does not read
// keeps what it held. A number has one sign at most: "+-5" is none.
bool TryParseDot(std::string_view text, double& value) {
    text = WithoutPlusSign(TrimBlanksAndControls(text));
    const size_t digitsStart = (!text.empty() && text.front() == '-') ? 1 : 0;
    // from_chars also reads "inf" and "nan"; a number starts with a digit or a point
    if (text.size() <= digitsStart) return false;
    const char first = text[digitsStart];
    if (!(first == '.' || (first >= '0' && first <= '9'))) return false;
    double parsed = 0;
    if (!TryParseShortDecimal(text, parsed)) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (ec != std::errc() || end != text.data() + text.size()) return false;
    }
    value = parsed;
    return true;
}

long long ParseWholeNumber(std::string_view text) {
    const std::string_view digits = WithoutPlusSign(text);
    long long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

// One line read in place, without allocating; `readable` is false when a field is missing
// or a number does not parse, and the fields before the fault are filled in.
struct SegmentLine {
    double Time = 0;
    double Setpoint = 0;
    std::string_view aType;
    std::string_view Note;
    bool readable = false;
    bool hasType = false;
};

SegmentLine ParseSegmentLine(std::string_view line) {
    SegmentLine parsed;
    size_t pos = 0;
    if (!TryParseDot(NextBlankRunField(line, pos), parsed.Time)) return parsed;
    if (!TryParseDot(NextBlankRunField(line, pos), parsed.Setpoint)) return parsed;
    parsed.aType = NextBlankRunField(line, pos);
    if (parsed.aType.empty()) return parsed;
    parsed.hasType = true;
    parsed.readable = true;
    const std::string_view note = NextBlankRunField(line, pos);
    if (NextBlankRunField(line, pos).empty()) parsed.Note = note;  // with a fifth field no note is taken
    return parsed;
}

SegmentLine ParseReportingFaults(std::string_view line) {
    SegmentLine parsed = ParseSegmentLine(line);
    if (!parsed.readable) ShowMessage("Failed to read segment");
    return parsed;
}

TSegment ToSegment(const SegmentLine& line, int index) {
    TSegment segment;
    segment.Time = line.Time;
    segment.Setpoint = line.Setpoint;
    if (line.hasType) {
        segment.aType = line.aType;
        segment.Index = index;
        segment.Note = line.Note;
    }
    return segment;
}

// Calls `visit(line, index)` for each line of a program text until it returns false.
template <typename Visit>
void ForEachProgramLine(std::string_view text, Visit&& visit) {
    size_t start = 0;
    for (int index = 0; start < text.size(); ++index) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        if (!visit(text.substr(start, end - start), index)) return;
        start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    }
}

double RampValue(const TSegment& from, const TSegment& to, double t) {
    if (to.Time == from.Time) return to.Setpoint;  // a ramp of no length has arrived
    const double elapsed = std::max(t, from.Time) - from.Time;
    const double value = (elapsed * (to.Setpoint - from.Setpoint)) / (to.Time - from.Time) + from.Setpoint;
    // stays between its two points even where huge times lose precision or overflow
    return std::clamp(value, std::min(from.Setpoint, to.Setpoint), std::max(from.Setpoint, to.Setpoint));
}

// Validates one line; false when the text is invalid. `stop` ends the validation.
bool ValidateLine(std::string_view rawLine, double& time, double& setpoint, bool& stop, char separator,
                  const TMessageReport& report) {
    const std::string line = AsciiUpperCase(TrimBlanksAndControls(rawLine));
    const auto fields = SplitAtEach(line);
    stop = true;
    if (fields.size() != 3 && fields.size() != 4) {
        report("Invalid element count");
        return false;
    }
    if (fields[2] != "STEP" && fields[2] != "RAMP") {
        report("Invalid S/R");
        return false;
    }
    bool valid = true;
    if (double parsed; TryParseDot(fields[0], parsed)) {
        time = parsed;
    } else {
        report("Invalid time format");
        valid = false;
    }
    if (double parsed; TryParseDot(fields[1], parsed)) {
        setpoint = parsed;
    } else {
        report("Invalid setpoint format");
        valid = false;
    }
    if (!(time >= 0)) {
        report("Time out of bounds: " + FormatGeneral(time, separator));
        return false;
    }
    if (!(setpoint >= 0 && setpoint <= 100)) {
        report("Setpoint out of bounds:" + FormatGeneral(setpoint, separator));
        return false;
    }
    stop = false;
    return valid;
}

// Walks the text in place: a long program is checked without a list of its characters.
void ReportInvalidCharacters(std::string_view text, const TMessageReport& report) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = DecodeUtf8(text, pos).Length;
        if (length > 1 || !IsProgramCharacter(text[pos]))
            report("Invalid character: " + std::string(text.substr(pos, length)));
        pos += length;
    }
}

std::string Plural(double count, const char* singular, const char* plural) { return count == 1 ? singular : plural; }

}  // namespace

TSegment NotFoundSegment() { return {-1.0, -1.0, "ID not found", kSegmentNotFoundIndex, ""}; }

TSegment ImplicitStartSegment() { return {0.0, 0.0, "Step", kImplicitStartIndex, ""}; }

std::vector<std::string_view> SplitProgramLines(std::string_view text) {
    std::vector<std::string_view> lines;
    ForEachProgramLine(text, [&lines](std::string_view line, int) {
        lines.push_back(line);
        return true;
    });
    return lines;
}

bool ValidateSegmentProgram(std::string_view text, char decimalSeparator) {
    return ValidateSegmentProgram(text, decimalSeparator, [](const std::string& message) { ShowMessage(message); });
}

bool ValidateSegmentProgram(std::string_view text, char decimalSeparator, const TMessageReport& report) {
    ReportInvalidCharacters(text, report);

    bool valid = true;
    double time = 0;
    double setpoint = 0;
    for (std::string_view line : SplitProgramLines(text)) {
        bool stop = false;
        if (!ValidateLine(line, time, setpoint, stop, decimalSeparator, report)) valid = false;
        if (stop) break;
    }
    return valid;
}

int SegmentCount(std::string_view text) {
    int count = 0;
    ForEachProgramLine(text, [&count](std::string_view, int) { return ++count, true; });
    return count;
}

TSegment ReadSegment(int index, std::string_view text) {
    const auto lines = SplitProgramLines(text);
    if (index >= static_cast<int>(lines.size())) return NotFoundSegment();
    if (index < 0) {
        ShowMessage("Failed to read segment");
        return {};
    }
    return ToSegment(ParseReportingFaults(lines[static_cast<size_t>(index)]), index);
}

TSegment ReadSegmentLine(std::string_view line, int index) { return ToSegment(ParseReportingFaults(line), index); }

TSegment SegmentAtTime(std::string_view text, double t) {
    // One pass over the text; only the two points around `t` become records.
    TSegment previous = ImplicitStartSegment();
    TSegment next = NotFoundSegment();
    SegmentLine last;
    int lastIndex = -1;
    ForEachProgramLine(text, [&](std::string_view line, int index) {
        const SegmentLine current = ParseReportingFaults(line);
        if (current.Time >= t) {
            next = ToSegment(current, index);
            return false;
        }
        last = current;
        lastIndex = index;
        return true;
    });
    if (lastIndex >= 0) previous = ToSegment(last, lastIndex);

    if (next.aType == "Ramp") {
        TSegment result;
        result.Time = t;
        result.Setpoint = RampValue(previous, next, t);
        return result;
    }
    if (next.Index == kSegmentNotFoundIndex) {
        TSegment result;
        result.Time = t;
        result.Setpoint = 0;
        result.Note = kPastLastPointNote;
        return result;
    }
    return previous;
}

TParsedSegmentProgram::TParsedSegmentProgram(std::string text) : text_(std::move(text)) {
    ForEachProgramLine(text_, [this](std::string_view line, int index) {
        const SegmentLine parsed = ParseSegmentLine(line);
        if (!parsed.readable) unreadableLines_.push_back(index);
        const double latest = latestTime_.empty() ? parsed.Time : std::max(latestTime_.back(), parsed.Time);
        segments_.push_back(ToSegment(parsed, index));
        latestTime_.push_back(latest);
        return true;
    });
}

TSegment TParsedSegmentProgram::At(double t) const {
    // The first line whose time is not below t is the first whose latest time is not; a NaN
    // t, like the scan of the text, finds none.
    const auto decisive =
        std::partition_point(latestTime_.begin(), latestTime_.end(), [t](double latest) { return !(latest >= t); });
    const auto next = static_cast<size_t>(decisive - latestTime_.begin());
    // The scan of the text reads every line up to the decisive one and tells each it cannot read.
    const int lastRead = next < segments_.size() ? static_cast<int>(next) : Count() - 1;
    const auto told = std::upper_bound(unreadableLines_.begin(), unreadableLines_.end(), lastRead);
    for (auto line = unreadableLines_.begin(); line != told; ++line) ShowMessage("Failed to read segment");

    const TSegment previous = next == 0 ? ImplicitStartSegment() : segments_[next - 1];
    if (next == segments_.size()) {
        TSegment result;
        result.Time = t;
        result.Setpoint = 0;
        result.Note = kPastLastPointNote;
        return result;
    }
    const TSegment& following = segments_[next];
    if (following.aType == "Ramp") {
        TSegment result;
        result.Time = t;
        result.Setpoint = RampValue(previous, following, t);
        return result;
    }
    return previous;
}

TSegment TParsedSegmentProgram::Last() const {
    if (segments_.empty()) return ImplicitStartSegment();
    if (!unreadableLines_.empty() && unreadableLines_.back() == Count() - 1) ShowMessage("Failed to read segment");
    return segments_.back();
}

const TParsedSegmentProgram& TParsedProgramCache::For(const std::string& key, const TProgramText& text) {
    auto found = programs_.find(key);
    if (found == programs_.end())
        return programs_.emplace(key, TEntry{text.Version(), TParsedSegmentProgram(text.Text())}).first->second.Program;
    if (found->second.Version != text.Version())
        found->second = TEntry{text.Version(), TParsedSegmentProgram(text.Text())};
    return found->second.Program;
}

double ProgramDuration(std::string_view text, char decimalSeparator) {
    if (!ValidateSegmentProgram(text, decimalSeparator) || TrimBlanksAndControls(text).empty()) return 0;
    const auto lines = SplitProgramLines(text);
    return ParseReportingFaults(lines.back()).Time;
}

void MergeSegmentLine(std::string& text, std::string_view line) {
    std::map<long long, std::string> byMinute;
    auto addLine = [&byMinute](std::string_view l) {
        const auto fields = SplitAtEach(l);
        if (fields.size() != 3 && fields.size() != 4) return;
        std::string rest = std::string(fields[1]) + " " + std::string(fields[2]);
        if (fields.size() == 4) rest += " " + std::string(fields[3]);
        byMinute[ParseWholeNumber(fields[0])] = std::move(rest);
    };
    for (std::string_view l : SplitProgramLines(text)) addLine(l);
    addLine(line);

    std::string merged;
    for (const auto& [minute, rest] : byMinute) merged += std::to_string(minute) + " " + rest + "\r\n";
    text = std::move(merged);
}

std::string TableToProgramText(const TSegmentTable& table) {
    std::string text;
    for (const TSegmentTableRow& row : table) {
        auto cell = [&row](size_t i) { return i < row.size() ? row[i] : std::string(); };
        text += cell(0) + " " + cell(1) + " " + cell(2);
        if (row.size() >= 4) text += " " + SanitizeNote(row[3]);
        text += "\r\n";
    }
    return std::string(TrimBlanksAndControls(text));
}

void ProgramTextToTable(std::string_view text, TSegmentTable& table) {
    table.clear();
    for (std::string_view line : SplitProgramLines(text)) {
        const auto fields = SplitAtBlankRuns(line);
        if (fields.size() < 3) {
            ShowMessage("Failed to read segment program");
            return;
        }
        TSegmentTableRow row{std::string(fields[0]), std::string(fields[1]), std::string(fields[2])};
        if (fields.size() == 4) {
            std::string note(fields[3]);
            std::replace(note.begin(), note.end(), '_', ' ');
            row.push_back(std::move(note));
        }
        table.push_back(std::move(row));
    }
}

double StrToFloatDot(std::string_view text) {
    double value = 0;
    if (!TryParseDot(text, value))
        throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

double StrToFloatAnySeparator(std::string_view text) {
    std::string normalized(text);
    std::replace(normalized.begin(), normalized.end(), ',', '.');
    return StrToFloatDot(normalized);
}

std::string LeftAligned(std::string_view text, int width) {
    if (width <= 0) return {};
    const auto wanted = static_cast<size_t>(width);
    std::string result(Utf8Substr(text, 0, wanted));
    const size_t taken = Utf8Length(result);
    if (taken < wanted) result.append(wanted - taken, ' ');
    ReplaceFirstComma(result);
    return result;
}

std::string RightAligned(std::string_view text, int width, bool commaToDot) {
    if (width <= 0) return {};
    const auto wanted = static_cast<size_t>(width);
    const size_t length = Utf8Length(text);
    std::string result;
    if (length < wanted) {
        result.reserve(wanted - length + text.size());
        result.append(wanted - length, ' ');
        result += text;
    } else {
        result = Utf8Substr(text, length - wanted, wanted);
    }
    if (commaToDot) ReplaceFirstComma(result);
    return result;
}

std::string FieldByIndex(std::string_view text, char delimiter, int index) {
    const auto fields = SplitAtEach(text, delimiter);
    if (index < 1 || static_cast<size_t>(index) > fields.size()) return {};
    return std::string(fields[static_cast<size_t>(index - 1)]);
}

std::string LogTimestamp(const TLocalDateTime& now) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d:%03d ", now.Hour, now.Minute, now.Second, now.Millisecond);
    return buffer;
}

std::string DurationToText(DurationStyle style, double minutes, char decimalSeparator) {
    const double days = std::floor(minutes / 1440);
    const double hours = std::floor((minutes - days * 1440) / 60);
    const double mins = minutes - days * 1440 - hours * 60;
    const double wholeMins = std::floor(mins);
    const double secs = RoundHalfToEven((mins - wholeMins) * 60);
    auto number = [decimalSeparator](double v) { return FormatGeneral(v, decimalSeparator); };

    std::string text;
    if (style == DurationStyle::Long) {
        text = number(days) + Plural(days, " day, ", " days, ") + number(hours) + Plural(hours, " hour, ", " hours, ") +
               number(mins) + Plural(mins, " minute, ", " minutes, ");
        text.resize(text.size() - 2);
        return text;
    }
    if (days > 0) text += number(days) + "d ";
    if (hours > 0) text += number(hours) + "h ";
    if (wholeMins > 0) text += number(wholeMins) + "m ";
    if (secs > 0) text += number(secs) + "s ";
    if (!text.empty()) text.pop_back();
    return text;
}

std::string SanitizeNote(std::string_view text) {
    std::string note;
    for (char c : text)
        if (IsNoteCharacter(c)) note += c == ' ' ? '_' : c;
    return note;
}

}  // namespace tessaro
