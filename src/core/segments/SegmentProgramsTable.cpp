// The merged listing: the programs of several devices side by side, one line per distinct
// segment time.

#include <algorithm>
#include <cmath>
#include <map>

#include "segments/SegmentProgram.h"
#include "text/Errors.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kTimeWidth = 8;
constexpr int kDurationWidth = 15;
constexpr int kDeviceHeaderWidth = 14;
constexpr int kSetpointWidth = 8;
constexpr int kTypeWidth = 5;
constexpr const char* kCellEnd = " | ";
constexpr const char* kEmptyCell = "               | ";  // 14 blanks and the cell end
constexpr const char* kDurationIndent = "         ";
constexpr int kBannerBaseWidth = 28;
constexpr int kBannerDeviceWidth = 17;

struct TListedDevice {
    std::string Port;
    std::string TypeName;
    std::string Program;
};

struct TListedSegment {
    size_t Column = 0;
    double Setpoint = 0;
    std::string aType;
};

// "port|type name|program"; the program is everything after the second bar.
TListedDevice ParseDeviceEntry(const std::string& entry) {
    TListedDevice device;
    const size_t first = entry.find('|');
    device.Port = entry.substr(0, first);
    if (first == std::string::npos) return device;
    const size_t second = entry.find('|', first + 1);
    device.TypeName = entry.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second != std::string::npos) device.Program = entry.substr(second + 1);
    return device;
}

bool ParseFactor(std::string text, char decimalSeparator, double& factor) {
    if (decimalSeparator != '.')
        for (char& c : text) {
            if (c == '.') return false;  // a point is no separator in this locale
            if (c == decimalSeparator) c = '.';
        }
    try {
        factor = StrToFloatDot(text);
    } catch (const ConversionError&) {
        return false;
    }
    return true;
}

// The column of a port: the first device whose port is the same, trimmed and in any case.
size_t ColumnOf(const std::vector<TListedDevice>& devices, const std::string& port) {
    const std::string_view wanted = TrimBlanksAndControls(port);
    for (size_t k = 0; k < devices.size(); ++k)
        if (EqualIgnoringAsciiCase(TrimBlanksAndControls(devices[k].Port), wanted)) return k;
    return devices.size();
}

// Segment times in whole seconds, halves to the even second.
double WholeSeconds(double minutes) { return RoundHalfToEven(minutes * 60); }

std::string DeviceCell(const TListedSegment& segment, char decimalSeparator) {
    return RightAligned(FormatGeneral(segment.Setpoint, decimalSeparator), kSetpointWidth, false) + " " +
           RightAligned(segment.aType, kTypeWidth, false) + kCellEnd;
}

}  // namespace

std::string SegmentProgramsBanner(int deviceCount) {
    const int width = kBannerBaseWidth + kBannerDeviceWidth * std::max(0, deviceCount);
    return std::string(" Segment programs ") + kLineEnd + std::string(static_cast<size_t>(width), '=') + kLineEnd;
}

std::string FormatSegmentProgramsTable(const std::vector<std::string>& lines, char decimalSeparator) {
    if (lines.size() < 3) return "No segment programs to format";
    if (lines[0].empty()) return "Time unit name not provided";
    double factor = 0;
    if (!ParseFactor(lines[1], decimalSeparator, factor) || !(factor > 0) || !std::isfinite(factor))
        return "Time conversion factor not provided";

    std::vector<TListedDevice> devices;
    for (size_t i = 2; i < lines.size(); ++i) devices.push_back(ParseDeviceEntry(lines[i]));

    std::string header = RightAligned("Time," + lines[0], kTimeWidth, false) + kCellEnd +
                         RightAligned("Time", kDurationWidth, false) + kCellEnd;
    std::string rule = "---------+-----------------+-";
    // Rows by time in whole seconds; a row's entries in the order added, that is by device.
    std::map<double, std::vector<TListedSegment>> rows;
    for (size_t k = 0; k < devices.size(); ++k) {
        const TListedDevice& device = devices[k];
        header += RightAligned(device.Port + " " + device.TypeName, kDeviceHeaderWidth, false) + kCellEnd;
        rule += "Setpoint--Type-+-";
        const size_t column = ColumnOf(devices, device.Port);
        for (std::string_view line : SplitProgramLines(device.Program)) {
            // An empty line does not read, as everywhere else a program is read.
            const TSegment segment = ReadSegment(0, line.empty() ? std::string_view(" ") : line);
            if (segment.Index == kSegmentNotFoundIndex) break;
            rows[WholeSeconds(segment.Time)].push_back({column, segment.Setpoint, segment.aType});
        }
    }

    std::string table = header + kLineEnd + rule + kLineEnd;
    for (const auto& [seconds, entries] : rows) {
        const double minutes = seconds / 60;
        table += RightAligned(FormatPattern(minutes / factor, "0.000", decimalSeparator), kTimeWidth, false);
        table += kCellEnd;
        table += RightAligned(kDurationIndent + DurationToText(DurationStyle::Compact, minutes, decimalSeparator),
                              kDurationWidth, false);
        table += kCellEnd;
        for (size_t column = 0; column < devices.size(); ++column) {
            // Two segments of one device in the same second: the later one is shown.
            const TListedSegment* shown = nullptr;
            for (const TListedSegment& entry : entries)
                if (entry.Column == column) shown = &entry;
            table += shown != nullptr ? DeviceCell(*shown, decimalSeparator) : std::string(kEmptyCell);
        }
        table += kLineEnd;
    }
    return table;
}

}  // namespace tessaro
