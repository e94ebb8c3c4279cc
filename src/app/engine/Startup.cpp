#include "engine/Startup.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryFile>

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

bool IsWritableFolder(const std::filesystem::path& folder) {
    std::error_code failed;
    if (!std::filesystem::is_directory(folder, failed)) return false;
    QTemporaryFile probe(QString::fromStdU16String((folder / "write-probe-XXXXXX").u16string()));
    return probe.open();
}

std::filesystem::path ChooseDataFolder(const std::filesystem::path& programFolder,
                                       const std::filesystem::path& perUserFolder) {
    return IsWritableFolder(programFolder) ? programFolder : perUserFolder;
}

std::filesystem::path DefaultDataFolder() {
    QString perUser = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    std::filesystem::path folder = perUser.isEmpty()
                                       ? PathOf(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                                       : PathOf(perUser) / kDataFolderName;
    return ChooseDataFolder(PathOf(QCoreApplication::applicationDirPath()), folder);
}

}  // namespace tessaro
