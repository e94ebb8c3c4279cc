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
        const Utf8Char ch = DecodeUtf8(text, pos);
        pos += ch.Length;
        bytes += static_cast<char>(CodePointToByte(ch.CodePoint).value_or('?'));
    }
    return bytes;
}

std::string PrintableBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += '<';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
            out += '>';
        }
    }
    return out;
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

std::optional<std::string_view> ReplyLine(std::string_view bytes) {
    const std::size_t end = bytes.find(kReplyEnd);
    if (end == std::string_view::npos) return std::nullopt;
    return bytes.substr(0, end);
}

}  // namespace tessaro
