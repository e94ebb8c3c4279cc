#pragma once
// The data table as comma-separated values: one header row, then one row per data line.
// Fields are quoted as spreadsheets expect (a field holding a comma, a quote, CR or LF is
// put in quotes, its quotes doubled), rows end in CR LF, numbers always use '.', and time
// stamps are local time with the offset from UTC ("2026-12-10T21:45:50+01:00").

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/LocalDateTime.h"

namespace tessaro {

// A field as it goes into a row.
std::string CsvField(std::string_view text);
// The fields, quoted where needed, separated by commas and ended by CR LF.
std::string CsvRow(const std::vector<std::string>& fields);

// "2026-12-10T21:45:50+01:00" for a local time `utcOffset_s` seconds ahead of UTC.
std::string IsoLocalTimestamp(const TLocalDateTime& time, int utcOffset_s);

// A device's two columns: `Device` names it as the operator knows it ("A COM3"), `Unit` is
// the unit of its achieved flow (empty when it has none).
struct TCsvDeviceColumns {
    std::string Device;
    std::string Unit;
};
// "time", "elapsed min", then per device "<device> planned %", "<device> planned <unit>" and
// "<device> achieved <unit>".
std::vector<std::string> DataCsvColumnNames(const std::vector<TCsvDeviceColumns>& devices);

// Any value below this has no reading and gives an empty field.
inline constexpr double kCsvLowestValue = -9999;

// What one data line holds for one device.
struct TCsvDeviceValues {
    double Planned_pct = kCsvLowestValue - 1;
    // The planned flow in the device's unit: empty while its full scale is unknown.
    double Planned = kCsvLowestValue - 1;
    double Achieved = kCsvLowestValue - 1;
};
// What one data line holds besides the devices' values.
struct TCsvRowStamp {
    TLocalDateTime Time;
    int UtcOffset_s = 0;
    double Elapsed_min = 0;
};
// A number as a field: "." decimals, at least one and at most six; empty without a reading
// (and for anything that is not a finite number).
std::string CsvNumber(double value);
// The fields of a data line, in the order of DataCsvColumnNames.
std::vector<std::string> DataCsvFields(const TCsvRowStamp& stamp, std::span<const TCsvDeviceValues> values);

}  // namespace tessaro
