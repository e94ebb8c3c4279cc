// The data table exported as comma-separated values.

#include "Form.h"
#include "text/Messages.h"

namespace tessaro {

void TGUIF::SetExportCsvFileDialog(TChooseFile choose) { exportCsvFile_ = std::move(choose); }

void TGUIF::ExportDataTableAsCsv1Click() {
    const TFileDialogRequest request = engine_->DataTableCsvDialog();
    const std::optional<std::filesystem::path> chosen =
        exportCsvFile_ ? exportCsvFile_(request) : ChooseSaveFile(request, "Export Data Table as CSV");
    if (!chosen) return;
    std::string error;
    if (!engine_->ExportDataTableCsv(*chosen, error))
        ShowMessage("The data table could not be exported to " + chosen->string() + ": " + error);
}

}  // namespace tessaro
