#include "protocol/ReplyText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace tessaro {

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned bytes map to the C1 controls, as the
// system conversion does. Every other byte is its own code point.
constexpr std::array<char32_t, 32> kCp1252Upper = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
                                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
                                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
                                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kReplacementChar = 0xFFFD;

char32_t ByteToCodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252Upper[byte - 0x80];
    return byte;
}

std::optional<unsigned char> CodePointToByte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (std::size_t i = 0; i < kCp1252Upper.size(); ++i)
        if (kCp1252Upper[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct DecodedChar {
    char32_t CodePoint;
    std::size_t Length;
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// One character at `pos` (pos < text.size()). A byte that does not start a valid,
// shortest-form sequence is one character of its own.
DecodedChar DecodeAt(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t cp = 0;
    unsigned char minSecond = 0x80, maxSecond = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) minSecond = 0xA0;
        if (lead == 0xED) maxSecond = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) minSecond = 0x90;
        if (lead == 0xF4) maxSecond = 0x8F;
    } else {
        return {kReplacementChar, 1};
    }
    if (pos + length > text.size()) return {kReplacementChar, 1};
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < minSecond || second > maxSecond) return {kReplacementChar, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(byte)) return {kReplacementChar, 1};
        cp = (cp << 6) | (byte & 0x3F);
    }
    return {cp, length};
}

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string AnsiBytesToText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(text, ByteToCodePoint(static_cast<unsigned char>(c)));
    return text;
}

std::string TextToAnsiBytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const DecodedChar ch = DecodeAt(text, pos);
        pos += ch.Length;
        bytes += static_cast<char>(CodePointToByte(ch.CodePoint).value_or('?'));
    }
    return bytes;
}

std::string_view TrimControlChars(std::string_view text) {
    // Multi-byte UTF-8 sequences consist of bytes >= 0x80 only, so trimming bytes of
    // value 32 or below trims exactly the characters of code 32 or below.
    while (!text.empty() && IsControlOrBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsControlOrBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string ByteOrdinals(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        out += std::to_string(static_cast<unsigned char>(c));
        out += ' ';
    }
    return out;
}

std::string FormatSecondsMillis(std::int64_t milliseconds) {
    if (milliseconds < 0) milliseconds = 0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld:%03lld", static_cast<long long>(milliseconds / 1000),
                  static_cast<long long>(milliseconds % 1000));
    return buffer;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) pos += DecodeAt(text, pos).Length;
    return count;
}

std::string_view Utf8Substr(std::string_view text, std::size_t first, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < first && pos < text.size(); ++i) pos += DecodeAt(text, pos).Length;
    std::size_t end = pos;
    for (std::size_t i = 0; i < count && end < text.size(); ++i) end += DecodeAt(text, end).Length;
    return text.substr(pos, end - pos);
}

std::optional<char32_t> Utf8CharAt(std::string_view text, std::size_t index) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < index && pos < text.size(); ++i) pos += DecodeAt(text, pos).Length;
    if (pos >= text.size()) return std::nullopt;
    return DecodeAt(text, pos).CodePoint;
}

std::optional<double> ParseDotNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> ParseDecimalInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace tessaro
