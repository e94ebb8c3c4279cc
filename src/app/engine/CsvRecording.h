#pragma once
// The data table as comma-separated values: one file per table session in "Logs", a header
// row, then one row per data line, appended as each line is made. Numbers always use "."
// and time stamps are ISO 8601 local time with the offset, whatever the operator's settings.

#include <QDateTime>

#include <optional>
#include <string>
#include <vector>

#include "text/LocalDateTime.h"

namespace tessaro {

// A field as RFC 4180 writes it: quoted when it holds a comma, a quote, CR or LF, quotes doubled.
std::string CsvField(const std::string& text);
// The fields joined by commas, ended by CR LF.
std::string CsvRow(const std::vector<std::string>& fields);
// Up to six decimals with "."; empty for no value.
std::string CsvNumber(std::optional<double> value);
// "2026-12-10T21:45:50+01:00".
std::string IsoLocalTimeStamp(const QDateTime& local);
// "2026-12-10 21_45 data.csv"; a later session of the same minute gets " 2", " 3", … before ".csv".
std::string CsvFileName(const TLocalDateTime& now, int session = 1);

}  // namespace tessaro
