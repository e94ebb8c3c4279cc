#pragma once
// Module initialisation before any window exists, and the choice of the data folder.

#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// In this order: the gas table, the standard flow units, the diagnostic channels of the
// serial port, the pump, the pump worker, the flow controller and its worker (each sends
// "Initialization"), then the device registry with the two demo devices. The window
// module's own initialisation follows.
void InitializeModules();

// The folder that holds "Segment Programs" and "Logs": the program's own folder when files
// can be created in it, otherwise `perUserFolder` (an installed program usually cannot
// write beside its executable).
std::filesystem::path ChooseDataFolder(const std::filesystem::path& programFolder,
                                       const std::filesystem::path& perUserFolder);
// ChooseDataFolder for this program: its executable's folder, else "Tessaro" in the user's
// documents folder (or the application data folder where there is none). Needs the
// application object.
std::filesystem::path DefaultDataFolder();
// Where the data table goes at close when the log folder refuses it: the per-user data
// folder, then the temporary folder.
std::vector<std::filesystem::path> DefaultFallbackFolders();
// True when a file can be created in `folder` (checked by creating and removing one).
bool IsWritableFolder(const std::filesystem::path& folder);

}  // namespace tessaro
