#pragma once
// What the segment program pages exchange with the engine: the file dialogs, behind plain
// functions so that tests can answer them, and the result of a table edit.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "segments/SegmentProgram.h"

namespace tessaro {

// What a file dialog is opened with: the filter ("Text files (*.txt)|*.TXT": description,
// bar, pattern), the folder it starts in and the name it offers (empty for opening).
struct TFileDialogRequest {
    std::string Filter;
    std::filesystem::path Folder;
    std::string FileName;
};
// Shows a dialog and returns the chosen path, none when the operator cancelled.
using TChooseFile = std::function<std::optional<std::filesystem::path>(const TFileDialogRequest&)>;

// A segment table after an edit, and whether the device's program now holds it. When it
// was not stored (no device, or the device left the registry) the page shows this table;
// when it was, the device has been shown again from its record.
struct TSegmentTableEdit {
    TSegmentTable Table;
    bool Stored = false;
};

}  // namespace tessaro
