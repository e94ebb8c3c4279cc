#include "engine/CsvRecording.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "engine/Clock.h"
#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr const char* kCsvNumber = "0.######";

std::string DeviceCaption(const TDeviceInfo& device) {
    const std::string port(TrimBlanksAndControls(device.COMPort));
    return device.NameRole.empty() ? port : device.NameRole + " " + port;
}

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) row += ',';
        row += CsvField(fields[i]);
    }
    return row + "\r\n";
}

std::string CsvNumber(std::optional<double> value) {
    return value ? FormatPattern(*value, kCsvNumber, '.') : std::string();
}

std::string IsoLocalTimeStamp(const QDateTime& local) {
    const int offset_min = local.offsetFromUtc() / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset_min < 0 ? '-' : '+', std::abs(offset_min) / 60,
                  std::abs(offset_min) % 60);
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toStdString() + zone;
}

std::string CsvFileName(const TLocalDateTime& now, int session) {
    char name[80];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d %02d_%02d data", now.Year, now.Month, now.Day, now.Hour,
                  now.Minute);
    std::string text = name;
    if (session > 1) text += " " + std::to_string(session);
    return text + ".csv";
}

void TEngine::StartCsvSession() {
    std::error_code ignored;
    std::filesystem::create_directories(LogsFolder(), ignored);
    const TLocalDateTime now = ToLocalDateTime(LocalNow());
    int session = 1;
    do csvPath_ = LogsFolder() / CsvFileName(now, session++);
    while (std::filesystem::exists(csvPath_, ignored));
    csvFile_.close();
    csvFile_.clear();

    std::vector<std::string> header{"Time", "Elapsed min"};
    for (const TDeviceInfo& device : DevicesLocal()) {
        const std::string caption = DeviceCaption(device);
        header.push_back(caption + " planned %");
        header.push_back(caption + " achieved" +
                         (device.IsConfigured() ? " " + device.FlowUnitUser.Name : std::string()));
    }
    WriteCsv(CsvRow(header));
}

void TEngine::AppendCsvRow(const std::vector<double>& cells) {
    if (csvPath_.empty()) return;
    std::vector<std::string> row{IsoLocalTimeStamp(LocalNow()), CsvNumber(GraphMinutes(MonotonicNow()))};
    const std::vector<TDeviceInfo>& devices = DevicesLocal();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const TDeviceInfo& device = devices[i];
        if (!device.IsConfigured()) {
            row.insert(row.end(), {"", ""});
            continue;
        }
        std::optional<double> achieved;
        if (device.DevType == dtPump)
            achieved = ChartLegendValues(device).Achieved;
        else if (i < cells.size() && cells[i] != NoReading)
            achieved = cells[i];
        row.push_back(CsvNumber(PlannedSetpoint_pct(device)));
        row.push_back(CsvNumber(achieved));
    }
    WriteCsv(CsvRow(row));
}

void TEngine::WriteCsv(const std::string& text) {
    // Opened again for a line after a failure: the disk may have room again.
    if (!csvFile_.is_open()) csvFile_.open(csvPath_, std::ios::binary | std::ios::app);
    csvFile_.clear();
    csvFile_ << text;
    csvFile_.flush();
    if (csvFile_.good()) {
        csvFailureTold_ = false;
        return;
    }
    csvFile_.close();
    if (csvFailureTold_) return;
    csvFailureTold_ = true;
    MM("Writing the CSV file failed: " + csvPath_.string());
}

}  // namespace tessaro
