// The data table, its log files and the time unit of the display.

#include <QSaveFile>
#include <QString>
#include <system_error>

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

QString PathText(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

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

    // The folder may have gone since start-up; a failure to create it shows in the write.
    std::error_code ignored;
    std::filesystem::create_directories(LogsFolder(), ignored);
    const std::filesystem::path path = LogsFolder() / LogFileName(ToLocalDateTime(LocalNow()), Suffix);
    std::string error;
    if (!WriteLogFile(path, error)) {
        if (!saveFailureTold_) MM("Writing the log file failed: " + path.string() + ": " + error);
        saveFailureTold_ = true;
        return;
    }
    saveFailureTold_ = false;
    lastLogSave_ = now;
    if (Suffix == kAutoSuffix) ForgetPreviousAutoFile(path);
}

bool TEngine::WriteLogFile(const std::filesystem::path& path, std::string& error) const {
    // Written under a temporary name and renamed over the target once complete, so a crash
    // or a full disk never leaves a torn file behind.
    QSaveFile file(PathText(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString().toStdString();
        return false;
    }
    std::string block;
    block.reserve(kWriteBlock + 1024);
    auto flush = [&] {
        const bool written = file.write(block.data(), static_cast<qint64>(block.size())) == qint64(block.size());
        block.clear();
        return written;
    };
    bool written = true;
    for (const std::string& line : dataTable_) {
        block += line;
        block += kLineEnd;
        if (block.size() >= kWriteBlock && !(written = flush())) break;
    }
    if (written) written = flush();
    if (!written) {
        error = file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString().toStdString();
        return false;
    }
    return true;
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
