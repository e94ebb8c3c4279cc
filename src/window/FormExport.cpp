// The data table exported as comma-separated values.

#include <QFileDialog>

#include "Form.h"
#include "text/Messages.h"

namespace tessaro {

namespace {

QString PathText(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

}  // namespace

void TGUIF::SetExportCsvFileDialog(TChooseFile choose) { exportCsvFile_ = std::move(choose); }

void TGUIF::ExportDataTableAsCsv1Click() {
    const TFileDialogRequest request = engine_->DataTableCsvDialog();
    std::optional<std::filesystem::path> chosen;
    if (exportCsvFile_) {
        chosen = exportCsvFile_(request);
    } else {
        const QString path = QFileDialog::getSaveFileName(
            this, "Export Data Table as CSV", PathText(request.Folder / std::filesystem::path(request.FileName)),
            "CSV files (*.csv)");
        if (!path.isEmpty()) chosen = std::filesystem::path(path.toStdU16String());
    }
    if (!chosen) return;
    std::string error;
    if (!engine_->ExportDataTableCsv(*chosen, error))
        ShowMessage("The data table could not be exported to " + chosen->string() + ": " + error);
}

}  // namespace tessaro
