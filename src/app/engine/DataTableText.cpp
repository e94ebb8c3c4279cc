#include "engine/DataTableText.h"

#include "text/TextScan.h"

#include <cstdio>

#include "engine/DeviceSetup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr int kCellWidth = 15;
constexpr int kTimeWidth = 20;
constexpr const char* kCellEnd = " | ";
constexpr const char* kCellPattern = "0.0#####";
constexpr double kLowestReading = -9999;

std::string Separator(std::size_t deviceCount) {
    std::string line = "---------------------+-";
    for (std::size_t i = 0; i < deviceCount; ++i) line += "----------------+-";
    return line;
}

template <typename CellText>
std::string HeaderLine(const char* title, const std::vector<TDeviceInfo>& devices, CellText cellText) {
    std::string line = title;
    for (const TDeviceInfo& device : devices) line += RightAligned(cellText(device), kCellWidth, false) + kCellEnd;
    return line;
}

std::string ConfiguredOnly(const TDeviceInfo& device, const std::string& text) {
    return device.IsConfigured() ? text : std::string("Undefined");
}

}  // namespace

std::string DataLineTimePrefix(const TLocalDateTime& now) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.Year, now.Month, now.Day, now.Hour,
                  now.Minute, now.Second);
    return RightAligned(text, kTimeWidth, false) + kCellEnd;
}

void AppendDataCell(std::string& line, double value, char decimalSeparator) {
    if (value < kLowestReading)
        line += RightAligned("?", kCellWidth, false);
    else
        line += RightAligned(FormatPattern(value, kCellPattern, decimalSeparator), kCellWidth, false);
    line += kCellEnd;
}

std::vector<std::string> DataTableHeaderBlock(const std::vector<TDeviceInfo>& devices) {
    std::vector<std::string> block;
    block.push_back(Separator(devices.size()));
    block.push_back(HeaderLine("-             Device | ", devices,
                               [](const TDeviceInfo& device) { return DeviceTypeName(device.DevType); }));
    block.push_back(HeaderLine("-               Unit | ", devices, [](const TDeviceInfo& device) {
        return ConfiguredOnly(device, device.FlowUnitUser.Name);
    }));
    block.push_back(HeaderLine("-                Gas | ", devices, [](const TDeviceInfo& device) {
        return ConfiguredOnly(device, device.FlowUnitUser.GasName);
    }));
    block.push_back(block.front());
    return block;
}

namespace {

std::string FileNameStamp(const TLocalDateTime& now) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d_%02d", now.Year, now.Month, now.Day, now.Hour, now.Minute);
    return stamp;
}

}  // namespace

std::string LogFileName(const TLocalDateTime& now, const std::string& suffix) {
    return FileNameStamp(now) + " log " + suffix + ".txt";
}

bool IsLogFileName(std::string_view name) {
    // "yyyy-mm-dd hh_mm log <suffix>.txt"
    constexpr std::string_view shape = "0000-00-00 00_00 log ";
    constexpr std::string_view ending = ".txt";
    if (name.size() < shape.size() + ending.size() || !name.ends_with(ending)) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == '0' ? !digit : name[i] != shape[i]) return false;
    }
    return true;
}

std::string ScreenLogFileName(const TLocalDateTime& now) { return FileNameStamp(now) + " screen log.txt"; }

std::string DataCsvFileName(const TLocalDateTime& now, int serial) {
    const std::string counted = serial > 1 ? " " + std::to_string(serial) : std::string();
    return FileNameStamp(now) + " data" + counted + ".csv";
}

std::string DataTableExportFileName(const TLocalDateTime& now) { return FileNameStamp(now) + " data table.csv"; }

std::vector<TCsvDeviceColumns> DataCsvDeviceColumns(const std::vector<TDeviceInfo>& devices) {
    std::vector<TCsvDeviceColumns> columns;
    for (const TDeviceInfo& device : devices)
        columns.push_back({DeviceCaption(device.NameRole, device.COMPort),
                           device.IsConfigured() ? device.FlowUnitUser.Name : std::string()});
    return columns;
}

bool IsBlankText(const std::string& text) { return TrimBlanksAndControls(text).empty(); }

}  // namespace tessaro
