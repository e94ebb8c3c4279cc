// The data table, its log files and the time unit of the display.

#include <cstring>
#include <system_error>
#include <type_traits>
#include <unordered_map>

#include "engine/AtomicFile.h"
#include "engine/Clock.h"
#include "engine/DataTableText.h"
#include "engine/Engine.h"
#include "engine/HeapRelease.h"
#include "registry/Brinvale_DeviceInfo.h"

#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr const char* kAutoSuffix = "auto";
constexpr const char* kLineEnd = "\r\n";
// Lines are gathered into blocks of about this size before they are written.
constexpr std::size_t kWriteBlock = 1 << 20;

struct TTimeUnit {
    const char* Word;
    double Factor;
    const char* Symbol;
};
constexpr TTimeUnit kTimeUnits[] = {{"MINUTE", 1, "m"}, {"HOUR", 60, "h"}, {"DAY", 1440, "d"}};

// A data line's numbers as one record: the stamp, then each device's values, as they lie in
// memory (the record never leaves the process).
static_assert(std::is_trivially_copyable_v<TCsvRowStamp> && std::is_trivially_copyable_v<TCsvDeviceValues>);

std::string CsvRowRecord(const TCsvRowStamp& stamp, const std::vector<TCsvDeviceValues>& values) {
    std::string record(sizeof stamp + values.size() * sizeof(TCsvDeviceValues), '\0');
    std::memcpy(record.data(), &stamp, sizeof stamp);
    if (!values.empty())
        std::memcpy(record.data() + sizeof stamp, values.data(), values.size() * sizeof(TCsvDeviceValues));
    return record;
}

void ReadCsvRowRecord(std::string_view record, TCsvRowStamp& stamp, std::vector<TCsvDeviceValues>& values) {
    std::memcpy(&stamp, record.data(), sizeof stamp);
    values.resize((record.size() - sizeof stamp) / sizeof(TCsvDeviceValues));
    if (!values.empty())
        std::memcpy(values.data(), record.data() + sizeof stamp, values.size() * sizeof(TCsvDeviceValues));
}

}  // namespace

std::size_t TEngine::DataTableMemoryBytes() const {
    std::size_t bytes = dataTable_.MemoryBytes();
    for (const TCsvSession& session : csvSessions_) bytes += session.Rows.MemoryBytes();
    return bytes;
}

void TEngine::DataTableColumns() {
    AppendTableLines(DataTableHeaderBlock(DevicesLocal()));
    BeginCsvSession();
}

void TEngine::ClearDataTable() {
    dataTable_.Clear();
    tableHasContent_ = false;
    csvSessions_.clear();
    csvFile_ = TAppendedFile();
    // The next "auto" file starts a new table and does not hold the old one's lines.
    autoLogFile_.Restart();
    DataHeaderPending = true;
    window_.DataTableCleared();
}

void TEngine::FlowDataSave(bool ForceSave, const std::string& Suffix) {
    const std::chrono::milliseconds now = MonotonicNow();
    if (!ForceSave) {
        if (!tableHasContent_) return;
        if (lastLogSave_ && !(*lastLogSave_ + LogSaveInterval < now)) return;
    }

    std::string error;
    const std::filesystem::path path = SaveLogFile(Suffix, error);
    if (!error.empty()) {
        if (!saveFailureTold_) MM("Writing the log file failed: " + PrintableOnly(path.string()) + ": " + error);
        saveFailureTold_ = true;
        return;
    }
    saveFailureTold_ = false;
    lastLogSave_ = now;
    // The once-a-minute save is the run's calm point: what the minute's ticks freed goes back
    // to the system here, so that a week's run does not keep it resident.
    ReleaseFreeHeapPages();
}

std::filesystem::path TEngine::SaveLogFile(const std::string& suffix, std::string& error) {
    // The folder may have gone since start-up; a failure to create it shows in the write.
    std::error_code ignored;
    std::filesystem::create_directories(LogsFolder(), ignored);
    const std::filesystem::path path = LogsFolder() / LogFileName(ToLocalDateTime(LocalNow()), suffix);
    error.clear();
    if (!WriteLogFile(path, suffix, error) && error.empty()) error = "unknown reason";
    return path;
}

bool TEngine::WriteLogFile(const std::filesystem::path& path, const std::string& suffix, std::string& error) {
    if (suffix != kAutoSuffix) return WriteLogFile(path, error);
    // The periodic file grows with the table: only the lines it lacks are written.
    std::string removalProblem;
    const bool written = autoLogFile_.Save(path, dataTable_, error, removalProblem);
    if (!removalProblem.empty()) MM(removalProblem);
    return written;
}

bool TEngine::WriteLogFile(const std::filesystem::path& path, std::string& error) const {
    return WriteFileAtomically(
        path,
        [this](const TByteWriter& write) {
            std::string block;
            block.reserve(kWriteBlock + 1024);
            const bool written = dataTable_.ForEach([&](std::string_view line) {
                block += line;
                block += kLineEnd;
                if (block.size() < kWriteBlock) return true;
                const bool taken = write(block);
                block.clear();
                return taken;
            });
            return written && write(block);
        },
        error);
}

bool TEngine::SaveAtClose() {
    const std::string suffix = "OnClose";
    std::string error;
    const std::filesystem::path path = SaveLogFile(suffix, error);
    if (error.empty()) return true;

    // The table's last lines exist nowhere else: the failure is told whatever was told
    // before, and the table goes to the first fallback folder that takes it.
    std::string problem = "Writing the log file failed: " + PrintableOnly(path.string()) + ": " + error + ".";
    for (const std::filesystem::path& folder : settings_.FallbackFolders) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        const std::filesystem::path fallback = folder / path.filename();
        std::string fallbackError;
        if (WriteLogFile(fallback, fallbackError)) {
            ReportProblem(problem + " The data table was written to " + PrintableOnly(fallback.string()) + " instead.");
            return false;
        }
        problem += " Writing it to " + PrintableOnly(fallback.string()) + " failed too: " + fallbackError + ".";
    }
    ReportProblem(problem + " The data table's lines since the last log file are lost.");
    return false;
}

void TEngine::BeginCsvSession() {
    const std::vector<TCsvDeviceColumns> devices = DataCsvDeviceColumns(DevicesLocal());
    TCsvSession& session = csvSessions_.emplace_back();
    session.Rows = TPackedRecords(settings_.TableBlockLines);
    session.ColumnNames = DataCsvColumnNames(devices);
    session.DeviceCount = devices.size();
    if (!settings_.ContinuousCsv) return;

    // A session of the same minute as an earlier one gets a file of its own.
    const TLocalDateTime now = ToLocalDateTime(LocalNow());
    std::filesystem::path path = LogsFolder() / DataCsvFileName(now);
    std::error_code ignored;
    for (int serial = 2; std::filesystem::exists(path, ignored) || path == csvFile_.Path(); ++serial)
        path = LogsFolder() / DataCsvFileName(now, serial);
    csvFile_ = TAppendedFile(path, CsvRow(session.ColumnNames));
}

void TEngine::RecordCsvRow(const TCsvRowStamp& stamp, const std::vector<TCsvDeviceValues>& values) {
    // A line made before any header (DataTableColumns not called) starts a session here.
    if (csvSessions_.empty()) BeginCsvSession();
    TCsvSession& session = csvSessions_.back();
    // The registry holds the session's devices until the next header; should it not, the
    // row is filled up or cut to the session's columns.
    std::vector<TCsvDeviceValues> row(values.begin(), values.end());
    row.resize(session.DeviceCount, TCsvDeviceValues{});
    session.Rows.Append(CsvRowRecord(stamp, row));
    if (!settings_.ContinuousCsv) return;
    AppendCsvFileRow(CsvRow(DataCsvFields(stamp, row)));
}

void TEngine::AppendCsvFileRow(const std::string& row) {
    std::string error;
    if (csvFile_.Append(row, error)) {
        csvFailureTold_ = false;
        return;
    }
    if (csvFailureTold_) return;
    csvFailureTold_ = true;
    MM("Writing the CSV file failed: " + PrintableOnly(csvFile_.Path().string()) + ": " + error);
}

bool TEngine::ExportDataTableCsv(const std::filesystem::path& path, std::string& error) {
    error.clear();
    if (!WriteTableCsv(path, error)) {
        if (error.empty()) error = "unknown reason";
        MM("Exporting the data table failed: " + PrintableOnly(path.string()) + ": " + error);
        return false;
    }
    MM("The data table was exported to " + PrintableOnly(path.string()));
    return true;
}

TFileDialogRequest TEngine::DataTableCsvDialog() const {
    return {"CSV files (*.csv)|*.csv", LogsFolder(), DataTableExportFileName(ToLocalDateTime(LocalNow()))};
}

bool TEngine::WriteTableCsv(const std::filesystem::path& path, std::string& error) const {
    // The columns of every session, in the order they first appear; per session, where
    // each of its columns goes.
    std::vector<std::string> columns;
    std::unordered_map<std::string, std::size_t> columnIndex;
    std::vector<std::vector<std::size_t>> placements;
    for (const TCsvSession& session : csvSessions_) {
        std::vector<std::size_t>& placement = placements.emplace_back();
        for (const std::string& name : session.ColumnNames) {
            const auto [found, added] = columnIndex.try_emplace(name, columns.size());
            if (added) columns.push_back(name);
            placement.push_back(found->second);
        }
    }
    if (columns.empty()) columns = DataCsvColumnNames({});

    return WriteFileAtomically(
        path,
        [&](const TByteWriter& write) {
            std::string block = CsvRow(columns);
            std::vector<std::string> fields;
            TCsvRowStamp stamp;
            std::vector<TCsvDeviceValues> values;
            for (std::size_t s = 0; s < csvSessions_.size(); ++s) {
                const bool written = csvSessions_[s].Rows.ForEach([&](std::string_view record) {
                    ReadCsvRowRecord(record, stamp, values);
                    const std::vector<std::string> own = DataCsvFields(stamp, values);
                    fields.assign(columns.size(), std::string());
                    for (std::size_t i = 0; i < own.size(); ++i) fields[placements[s][i]] = own[i];
                    block += CsvRow(fields);
                    if (block.size() < kWriteBlock) return true;
                    const bool taken = write(block);
                    block.clear();
                    return taken;
                });
                if (!written) return false;
            }
            return write(block);
        },
        error);
}

void TEngine::SetTimeUnit(const std::string& aUnit, const std::optional<std::string>& focusedPort) {
    for (const TTimeUnit& unit : kTimeUnits) {
        if (aUnit != unit.Word) continue;
        timeFactor_ = unit.Factor;
        timeUnitSymbol_ = unit.Symbol;
    }
    // An unknown word keeps the unit; the window still refreshes its captions and axis.
    window_.TimeUnitChanged(timeUnitSymbol_, timeFactor_);
    TDeviceInfo device;
    if (focusedPort && FindDevice(*focusedPort, device)) window_.ShowDevice(device);
}

void TEngine::Autoscrolltolastline1Click() {
    autoScroll_ = !autoScroll_;
    window_.SetAutoScrollChecked(autoScroll_);
    window_.MemoSegmentsUpdate();
}

}  // namespace tessaro
