#include "segments/SegmentProgramFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "segments/SegmentProgram.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

// Windows-1252 at 0x80..0x9F; the five holes of the code page keep their C1 code points.
constexpr std::array<char32_t, 32> kWindows1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

// Characters that cannot stand in a file name on every system: path separators among them.
bool IsUnsafeInFileName(char c) {
    return (IsBlankOrControl(c) && c != ' ') || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
}

// A port may be named by its device path ("/dev/pts/3", \\.\COM10); in the offered
// file name such characters become "_", so that the name stays one name in the folder.
std::string FileNamePart(std::string_view text) {
    std::string part(text);
    std::replace_if(part.begin(), part.end(), IsUnsafeInFileName, '_');
    return part;
}

}  // namespace

std::string SegmentProgramFileBytes(std::string_view program) {
    std::string bytes;
    for (std::string_view line : SplitProgramLines(TrimBlanksAndControls(program))) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

std::optional<std::string> DecodeSegmentProgramFile(std::string_view bytes) {
    std::string text;
    // A mark before bytes that are no UTF-8 is not believed: they are read as the 8-bit
    // code page, which a save then writes as UTF-8 that reads back the same.
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        text = IsValidUtf8(bytes.substr(3)) ? std::string(bytes.substr(3)) : Windows1252ToUtf8(bytes.substr(3));
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
    return std::string(stamp) + " " + FileNamePart(port) + " " + FileNamePart(deviceTypeName) + ".txt";
}

std::string WithTxtExtension(std::string_view fileName) {
    const std::string_view ending = fileName.substr(fileName.size() >= 4 ? fileName.size() - 4 : 0);
    if (EqualIgnoringAsciiCase(ending, ".txt")) return std::string(fileName);
    return std::string(fileName) + ".txt";
}

}  // namespace tessaro
