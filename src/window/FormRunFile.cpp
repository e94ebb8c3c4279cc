// File → "Open run file…" and "Save run file…".

#include "Form.h"
#include "run/RunFile.h"
#include "text/Messages.h"

namespace tessaro {

namespace {

std::string ProblemsText(const std::string& heading, const std::vector<std::string>& problems) {
    std::string text = heading;
    for (const std::string& problem : problems) text += "\n" + problem;
    return text;
}

}  // namespace

void TGUIF::SetRunFileDialogs(TChooseFile save, TChooseFile open) {
    saveRunFile_ = std::move(save);
    openRunFile_ = std::move(open);
}

void TGUIF::SetRunDeviceFinder(TRunDeviceFinder finder) {
    runDeviceFinder_ = std::make_shared<const TRunDeviceFinder>(std::move(finder));
}

void TGUIF::OpenRunFile1Click() {
    const TFileDialogRequest request = RunFileDialog(*engine_);
    const std::optional<std::filesystem::path> chosen =
        openRunFile_ ? openRunFile_(request) : ChooseOpenFile(request, "Open Run File");
    if (!chosen) return;
    const std::optional<TRunFileOpened> opened = OpenRunFile(
        *engine_, *chosen, runDeviceFinder_ ? *runDeviceFinder_ : SystemRunDeviceFinder(), *this, TimerEngine);
    if (!opened) return;
    ShowDeviceRows(opened->Rows);
    if (!opened->Problems.empty())
        ShowMessage(ProblemsText("Problems of the run file " + chosen->string() + ":", opened->Problems));
}

void TGUIF::SaveRunFile1Click() {
    const TFileDialogRequest request = RunFileDialog(*engine_);
    const std::optional<std::filesystem::path> chosen =
        saveRunFile_ ? saveRunFile_(request) : ChooseSaveFile(request, "Save Run File");
    if (!chosen) return;
    std::string error;
    if (!SaveRunFile(*engine_, *chosen, error))
        ShowMessage("The run file could not be saved to " + chosen->string() + ": " + error);
}

}  // namespace tessaro
