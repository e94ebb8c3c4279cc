#pragma once
// The fixed-width texts of the data table and the names of its log files: a first column of
// 23 characters (the time), then one column of 18 characters per device, each ending in
// " | " or, on separator lines, "+-".

#include <string>
#include <string_view>
#include <vector>

#include "text/DataCsv.h"
#include "text/LocalDateTime.h"

namespace tessaro {

struct TDeviceInfo;

// " 2026-02-04 10:15:03 | ": the time right-aligned to 20, then " | ".
std::string DataLineTimePrefix(const TLocalDateTime& now);
// One device's cell, 15 wide plus " | ": "?" for a value below -9999, else the value with
// at least one and at most six decimals.
void AppendDataCell(std::string& line, double value, char decimalSeparator);
// The five lines of the column header block for `devices`, in their order.
std::vector<std::string> DataTableHeaderBlock(const std::vector<TDeviceInfo>& devices);
// "2026-02-04 10_16 log auto.txt".
std::string LogFileName(const TLocalDateTime& now, const std::string& suffix);
// The file of the on-screen log: "yyyy-mm-dd hh_nn screen log.txt".
std::string ScreenLogFileName(const TLocalDateTime& now);
// Whether `name` is a log file's name as LogFileName makes it, for any time and suffix.
bool IsLogFileName(std::string_view name);
// The CSV file of a log session: "yyyy-mm-dd hh_nn data.csv", or with " 2", " 3"… before
// the extension for the `serial`th session of the same minute (from 2 on).
std::string DataCsvFileName(const TLocalDateTime& now, int serial = 1);
// The name an export of the table is offered under: "yyyy-mm-dd hh_nn data table.csv".
std::string DataTableExportFileName(const TLocalDateTime& now);
// The CSV columns of `devices`, in their order: each named by its name and port, its
// achieved flow in the unit of the table's header (none for a device not configured).
std::vector<TCsvDeviceColumns> DataCsvDeviceColumns(const std::vector<TDeviceInfo>& devices);
// True when `text` holds nothing but blanks, line ends and other control characters.
bool IsBlankText(const std::string& text);

}  // namespace tessaro
