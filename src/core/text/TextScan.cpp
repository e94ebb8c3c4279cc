#include "text/TextScan.h"

#include <algorithm>
#include <cmath>

namespace tessaro {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

constexpr Utf8Char kInvalidByte{kReplacementCharacter, 1, false};

// Length and payload bits of a lead byte, and the range its second byte must fall in:
// the narrowed ranges after E0, ED, F0 and F4 are what shut out overlong forms,
// surrogates and code points above U+10FFFF.
struct LeadByte {
    std::size_t Length = 0;
    char32_t Bits = 0;
    unsigned char MinSecond = 0x80;
    unsigned char MaxSecond = 0xBF;
};

std::optional<LeadByte> ReadLeadByte(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return LeadByte{2, lead & 0x1Fu};
    if (lead >= 0xE0 && lead <= 0xEF) {
        LeadByte read{3, lead & 0x0Fu};
        if (lead == 0xE0) read.MinSecond = 0xA0;
        if (lead == 0xED) read.MaxSecond = 0x9F;
        return read;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        LeadByte read{4, lead & 0x07u};
        if (lead == 0xF0) read.MinSecond = 0x90;
        if (lead == 0xF4) read.MaxSecond = 0x8F;
        return read;
    }
    return std::nullopt;
}

// Byte position after `count` characters from `pos`, or the end of the text.
std::size_t SkipChars(std::string_view text, std::size_t pos, std::size_t count) {
    for (std::size_t i = 0; i < count && pos < text.size(); ++i) pos += DecodeUtf8(text, pos).Length;
    return pos;
}

}  // namespace

std::string_view TrimBlanksAndControls(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view NextBlankRunField(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlankOrControl(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsBlankOrControl(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

std::vector<std::string_view> SplitAtBlankRuns(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    for (std::string_view field = NextBlankRunField(text, pos); !field.empty(); field = NextBlankRunField(text, pos))
        fields.push_back(field);
    return fields;
}

std::vector<std::string_view> SplitAtEach(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), AsciiLower);
    return lower;
}

std::string AsciiUpperCase(std::string_view text) {
    std::string upper(text);
    std::ranges::transform(upper, upper.begin(), AsciiUpper);
    return upper;
}

double RoundHalfToEven(double x) {
    const double whole = std::floor(x);
    const double fraction = x - whole;  // NaN for infinities and NaN: neither test holds
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) return whole + 1.0;
    if (fraction >= 0) return whole;
    return x;
}

Utf8Char DecodeUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return {lead, 1, true};
    const std::optional<LeadByte> read = ReadLeadByte(lead);
    if (!read || pos + read->Length > text.size()) return kInvalidByte;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < read->MinSecond || second > read->MaxSecond) return kInvalidByte;
    char32_t codePoint = read->Bits;
    for (std::size_t i = 1; i < read->Length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(byte)) return kInvalidByte;
        codePoint = (codePoint << 6) | (byte & 0x3Fu);
    }
    return {codePoint, read->Length, true};
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char read = DecodeUtf8(text, pos);
        if (!read.Valid) return false;
        pos += read.Length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        out += byte(codePoint);
    } else if (codePoint < 0x800) {
        out += byte(0xC0 | (codePoint >> 6));
        out += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += byte(0xE0 | (codePoint >> 12));
        out += byte(0x80 | ((codePoint >> 6) & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    } else {
        out += byte(0xF0 | (codePoint >> 18));
        out += byte(0x80 | ((codePoint >> 12) & 0x3F));
        out += byte(0x80 | ((codePoint >> 6) & 0x3F));
        out += byte(0x80 | (codePoint & 0x3F));
    }
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) pos += DecodeUtf8(text, pos).Length;
    return count;
}

std::string_view Utf8Substr(std::string_view text, std::size_t first, std::size_t count) {
    const std::size_t start = SkipChars(text, 0, first);
    return text.substr(start, SkipChars(text, start, count) - start);
}

std::optional<char32_t> Utf8CharAt(std::string_view text, std::size_t index) {
    const std::size_t pos = SkipChars(text, 0, index);
    if (pos >= text.size()) return std::nullopt;
    return DecodeUtf8(text, pos).CodePoint;
}

std::vector<std::string_view> SplitUtf8Chars(std::string_view text) {
    std::vector<std::string_view> chars;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = DecodeUtf8(text, pos).Length;
        chars.push_back(text.substr(pos, length));
        pos += length;
    }
    return chars;
}

}  // namespace tessaro

namespace tessaro {

namespace {

// Marks that reorder the text around them: a name could show another name, or a log line
// read backwards.
constexpr bool IsDirectionMark(char32_t code) {
    return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

constexpr bool IsControlOrDirectionMark(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029 || IsDirectionMark(code);
}

}  // namespace

std::string PrintableOnly(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeUtf8(text, pos);
        const char32_t code = c.CodePoint;
        if (c.Valid && !IsControlOrDirectionMark(code)) kept.append(text.substr(pos, c.Length));
        pos += c.Length;
    }
    return kept;
}

}  // namespace tessaro
