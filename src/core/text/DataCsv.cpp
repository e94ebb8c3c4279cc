#include "text/DataCsv.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr std::string_view kNeedsQuotes = ",\"\r\n";
constexpr std::string_view kRowEnd = "\r\n";
constexpr std::string_view kNumberPattern = "0.0#####";
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;

}  // namespace

std::string CsvField(std::string_view text) {
    if (text.find_first_of(kNeedsQuotes) == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string CsvRow(const std::vector<std::string>& fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) row += ',';
        row += CsvField(fields[i]);
    }
    row += kRowEnd;
    return row;
}

std::string IsoLocalTimestamp(const TLocalDateTime& time, int utcOffset_s) {
    const char sign = utcOffset_s < 0 ? '-' : '+';
    const int offset_min = std::abs(utcOffset_s) / kSecondsPerMinute;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.Year, time.Month, time.Day,
                  time.Hour, time.Minute, time.Second, sign, offset_min / kMinutesPerHour,
                  offset_min % kMinutesPerHour);
    return text;
}

std::vector<std::string> DataCsvColumnNames(const std::vector<TCsvDeviceColumns>& devices) {
    std::vector<std::string> names = {"time", "elapsed min"};
    for (const TCsvDeviceColumns& device : devices) {
        const std::string unit = device.Unit.empty() ? std::string() : " " + device.Unit;
        names.push_back(device.Device + " planned %");
        names.push_back(device.Device + " planned" + unit);
        names.push_back(device.Device + " achieved" + unit);
    }
    return names;
}

std::string CsvNumber(double value) {
    if (!std::isfinite(value) || value < kCsvLowestValue) return {};
    return FormatPattern(value, kNumberPattern, '.');
}

std::vector<std::string> DataCsvFields(const TCsvRowStamp& stamp, std::span<const TCsvDeviceValues> values) {
    std::vector<std::string> fields;
    fields.reserve(2 + 3 * values.size());
    fields.push_back(IsoLocalTimestamp(stamp.Time, stamp.UtcOffset_s));
    fields.push_back(CsvNumber(stamp.Elapsed_min));
    for (const TCsvDeviceValues& device : values) {
        fields.push_back(CsvNumber(device.Planned_pct));
        fields.push_back(CsvNumber(device.Planned));
        fields.push_back(CsvNumber(device.Achieved));
    }
    return fields;
}

}  // namespace tessaro
