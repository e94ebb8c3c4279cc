// The data table, its log files and the time unit of the display.

#include <system_error>

#include "engine/AtomicFile.h"
#include "engine/Clock.h"
#include "engine/DataTableText.h"
#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"

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

}  // namespace

void TEngine::DataTableColumns() { AppendTableLines(DataTableHeaderBlock(DevicesLocal())); }

void TEngine::ClearDataTable() {
    dataTable_.clear();
    tableHasContent_ = false;
    // The next "auto" file starts a new table and does not hold the old one's lines.
    previousAutoFile_.reset();
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
        if (!saveFailureTold_) MM("Writing the log file failed: " + path.string() + ": " + error);
        saveFailureTold_ = true;
        return;
    }
    saveFailureTold_ = false;
    lastLogSave_ = now;
    if (Suffix == kAutoSuffix) ForgetPreviousAutoFile(path);
}

std::filesystem::path TEngine::SaveLogFile(const std::string& suffix, std::string& error) {
    // The folder may have gone since start-up; a failure to create it shows in the write.
    std::error_code ignored;
    std::filesystem::create_directories(LogsFolder(), ignored);
    const std::filesystem::path path = LogsFolder() / LogFileName(ToLocalDateTime(LocalNow()), suffix);
    error.clear();
    if (!WriteLogFile(path, error) && error.empty()) error = "unknown reason";
    return path;
}

bool TEngine::WriteLogFile(const std::filesystem::path& path, std::string& error) const {
    return WriteFileAtomically(
        path,
        [this](const TByteWriter& write) {
            std::string block;
            block.reserve(kWriteBlock + 1024);
            for (const std::string& line : dataTable_) {
                block += line;
                block += kLineEnd;
                if (block.size() >= kWriteBlock) {
                    if (!write(block)) return false;
                    block.clear();
                }
            }
            return write(block);
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
    std::string problem = "Writing the log file failed: " + path.string() + ": " + error + ".";
    for (const std::filesystem::path& folder : settings_.FallbackFolders) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        const std::filesystem::path fallback = folder / path.filename();
        std::string fallbackError;
        if (WriteLogFile(fallback, fallbackError)) {
            ReportProblem(problem + " The data table was written to " + fallback.string() + " instead.");
            return false;
        }
        problem += " Writing it to " + fallback.string() + " failed too: " + fallbackError + ".";
    }
    ReportProblem(problem + " The data table's lines since the last log file are lost.");
    return false;
}

void TEngine::ForgetPreviousAutoFile(const std::filesystem::path& written) {
    // Every line of the previous "auto" file of this table is in the one just written.
    if (previousAutoFile_ && *previousAutoFile_ != written) {
        std::error_code failed;
        std::filesystem::remove(*previousAutoFile_, failed);
        if (failed)
            MM("Removing the previous log file failed: " + previousAutoFile_->string() + ": " + failed.message());
    }
    previousAutoFile_ = written;
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
