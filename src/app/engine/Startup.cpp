#include "engine/Startup.h"

#include <QStandardPaths>

#include "gases/GasMixtures.h"
#include "mfc/AlicatMFC.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Interface.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "serial/SerialPort.h"
#include "units/GasFlowUnitConversions.h"

namespace tessaro {

namespace {

constexpr const char* kDataFolderName = "Tessaro";

std::filesystem::path PathOf(const QString& text) { return std::filesystem::path(text.toStdU16String()); }

}  // namespace

void InitializeModules() {
    BuildGasList();
    FlowUnitGrams();
    FlowUnitMlnAir();
    FlowUnitMicrolitres();
    qCInfo(lcSerialPort) << "Initialization";
    qCInfo(lcPSD4) << "Initialization";
    InitializePumpThreadModule();
    qCInfo(lcMFC) << "Initialization";
    InitializeMFCThreadModule();
    InitializeDeviceInfo();
}

std::vector<std::filesystem::path> DefaultFallbackFolders() {
    std::vector<std::filesystem::path> folders;
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!perUser.isEmpty()) folders.push_back(PathOf(perUser));
    folders.push_back(PathOf(QStandardPaths::writableLocation(QStandardPaths::TempLocation)));
    return folders;
}

std::filesystem::path ChooseDataFolder(const std::optional<std::filesystem::path>& chosen,
                                       const std::filesystem::path& documentsFolder,
                                       const std::filesystem::path& appDataFolder) {
    if (chosen && !chosen->empty()) return *chosen;
    if (documentsFolder.empty()) return appDataFolder;
    return documentsFolder / kDataFolderName;
}

std::filesystem::path DefaultDataFolder(const std::optional<std::filesystem::path>& chosen) {
    std::optional<std::filesystem::path> absolute;
    if (chosen && !chosen->empty()) {
        std::error_code failed;
        const std::filesystem::path full = std::filesystem::absolute(*chosen, failed);
        absolute = failed ? *chosen : full.lexically_normal();
    }
    return ChooseDataFolder(absolute, PathOf(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)),
                            PathOf(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
}

}  // namespace tessaro
