#pragma once
// The one place where text is scanned character by character: trimming, splitting into
// fields, letter case, rounding halves to even, and reading and writing UTF-8. Program texts, instrument replies,
// port names and command lines all go through these rules, so a text is never read two
// ways in two places.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// A blank is a space or an ASCII control character: codes 0 to 32 and DEL (127). Bytes of
// 128 and above are never blank, so a multi-byte UTF-8 character is never cut in two.
constexpr bool IsBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
}

// The text without blanks at either end.
std::string_view TrimBlanksAndControls(std::string_view text);

// Fields separated by runs of blanks; blanks at either end give no field, so no field is
// ever empty.
std::vector<std::string_view> SplitAtBlankRuns(std::string_view text);
// The same fields one at a time: the field at or after `pos`, with `pos` moved past it;
// empty when no field is left.
std::string_view NextBlankRunField(std::string_view text, std::size_t& pos);

// Fields separated by every single `separator`; two in a row give an empty field, and an
// empty text is one empty field.
std::vector<std::string_view> SplitAtEach(std::string_view text, char separator = ' ');

// Letter case of the ASCII letters only: every other byte, UTF-8 included, stays as it is,
// whatever the process locale says.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);
constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, AsciiLower, AsciiLower);
}
// Every other byte compares by its code as an unsigned character: a plain char is signed on
// most platforms, which would put UTF-8 letters ("É") before every ASCII character.
constexpr unsigned char AsciiLowerCode(char c) { return static_cast<unsigned char>(AsciiLower(c)); }
constexpr bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::lexicographical_compare(a, b, {}, AsciiLowerCode, AsciiLowerCode);
}

// The nearest whole number; a value exactly halfway goes to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Infinities and NaN come back as they are.
double RoundHalfToEven(double x);

// One character of UTF-8 text. Only shortest-form sequences of code points up to U+10FFFF
// that are not surrogates are valid; any other byte, and the lead byte of a cut or broken
// sequence, is one invalid character of length 1 read as U+FFFD.
struct Utf8Char {
    char32_t CodePoint = 0;
    std::size_t Length = 0;
    bool Valid = false;
};
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The character starting at text[pos]; pos must be below text.size().
Utf8Char DecodeUtf8(std::string_view text, std::size_t pos);
// Whether every character of the text is valid, by the rules of DecodeUtf8.
bool IsValidUtf8(std::string_view text);
// Appends a code point up to U+10FFFF in its shortest UTF-8 form.
void AppendUtf8(std::string& out, char32_t codePoint);
// Characters counted and cut by character, not by byte; invalid bytes count one each.
std::size_t Utf8Length(std::string_view text);
std::string_view Utf8Substr(std::string_view text, std::size_t first, std::size_t count);
// The character at a 0-based position, or nothing past the end.
std::optional<char32_t> Utf8CharAt(std::string_view text, std::size_t index);
// The text cut into its characters, each as its bytes.
std::vector<std::string_view> SplitUtf8Chars(std::string_view text);

}  // namespace tessaro

namespace tessaro {

// The text fit to show on one line: control characters (C0, DEL, C1), the line and
// paragraph separators, the bidirectional marks and overrides and bytes that are no valid
// UTF-8 are left out. For names, notes, units and paths, which end up in fixed-width tables,
// the chart legend, CSV captions and single log lines.
std::string PrintableOnly(std::string_view text);

}  // namespace tessaro
