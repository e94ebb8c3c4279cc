#pragma once
// Module initialisation before any window exists, and the choice of the data folder.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

// In this order: the gas table, the standard flow units, the diagnostic channels of the
// serial port, the pump, the pump worker, the flow controller and its worker (each sends
// "Initialization"), then the device registry with the two demo devices. The window
// module's own initialisation follows.
void InitializeModules();

// The folder that holds "Segment Programs" and "Logs": the one the operator chose when there
// is one, otherwise "Tessaro" in the user's documents folder, or the application data folder
// where the system has no documents folder (empty). Never the program's own folder: a
// rebuild deletes the build tree and everything in it.
std::filesystem::path ChooseDataFolder(const std::optional<std::filesystem::path>& chosen,
                                       const std::filesystem::path& documentsFolder,
                                       const std::filesystem::path& appDataFolder);
// ChooseDataFolder for this program, with the system's folders. A chosen folder given
// relative to the working folder is made absolute. Needs the application object.
std::filesystem::path DefaultDataFolder(const std::optional<std::filesystem::path>& chosen = std::nullopt);
// Where the data table goes at close when the log folder refuses it: the per-user data
// folder, then the temporary folder.
std::vector<std::filesystem::path> DefaultFallbackFolders();

}  // namespace tessaro
