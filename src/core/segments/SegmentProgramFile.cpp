#include "segments/SegmentProgramFile.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "segments/SegmentProgram.h"

namespace tessaro {

namespace {

// Windows-1252 at 0x80..0x9F; the five holes of the code page keep their C1 code points.
constexpr std::array<char32_t, 32> kWindows1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        const char32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
        if (c < smallest || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kWindows1252High[b - 0x80] : char32_t(b));
    }
    return out;
}

// An unpaired surrogate and an odd last byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const auto unit = [&](size_t i) -> char16_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? char32_t(0xFFFD) : char32_t(u));
    }
    if (i < bytes.size()) AppendUtf8(out, 0xFFFD);
    return out;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

bool IsBlankOrBreak(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string TrimmedProgramText(std::string_view text) {
    while (!text.empty() && IsBlankOrBreak(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrBreak(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string SegmentProgramFileBytes(std::string_view program) {
    std::string bytes;
    const std::string trimmed = TrimmedProgramText(program);
    for (std::string_view line : SplitProgramLines(trimmed)) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

std::optional<std::string> DecodeSegmentProgramFile(std::string_view bytes) {
    std::string text;
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        text = std::string(bytes.substr(3));
    else if (StartsWith(bytes, "\xFF\xFE"))
        text = Utf16ToUtf8(bytes.substr(2), false);
    else if (StartsWith(bytes, "\xFE\xFF"))
        text = Utf16ToUtf8(bytes.substr(2), true);
    else if (IsValidUtf8(bytes))
        text = std::string(bytes);
    else
        text = Windows1252ToUtf8(bytes);
    if (text.find('\0') != std::string::npos) return std::nullopt;
    return text;
}

std::string DefaultSegmentProgramFileName(const TLocalDateTime& now, std::string_view port,
                                          std::string_view deviceTypeName) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d", now.Year, now.Month, now.Day, now.Hour, now.Minute);
    return std::string(stamp) + " " + std::string(port) + " " + std::string(deviceTypeName) + ".txt";
}

std::string WithTxtExtension(std::string_view fileName) {
    std::string ending(fileName.substr(fileName.size() >= 4 ? fileName.size() - 4 : 0));
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (ending == ".txt") return std::string(fileName);
    return std::string(fileName) + ".txt";
}

}  // namespace tessaro
