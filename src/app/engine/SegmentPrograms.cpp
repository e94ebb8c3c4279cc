// The segment programs of the devices: editing through the segment table, program files
// and the merged listing of the selected devices.

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <tuple>

#include "engine/Clock.h"
#include "engine/Engine.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgramFile.h"
#include "text/MessageBatch.h"
#include "text/Messages.h"
#include "text/NumberFormat.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

QString PathText(const std::filesystem::path& path) { return QString::fromStdU16String(path.u16string()); }

// A file name may hold line breaks and direction marks; what the operator reads does not.
std::string ShownPath(const QString& path) { return PrintableOnly(path.toStdString()); }

std::string Quoted(const QString& path) { return "\"" + ShownPath(path) + "\""; }

bool FindPortDevice(const std::optional<std::string>& port, TDeviceInfo& device) {
    return port && FindDevice(*port, device);
}

// Reads at most kMaxSegmentProgramFileBytes of the file; a larger file is refused before
// anything is parsed. False with the reason shown.
bool ReadProgramFile(const QString& path, std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage("Reading the segment program file " + Quoted(path) +
                    " failed: " + file.errorString().toStdString());
        return false;
    }
    const auto tooLarge = [&path] {
        ShowMessage("The file " + Quoted(path) + " is larger than 1 MB and is no segment program; it was not loaded.");
        return false;
    };
    if (file.size() > static_cast<qint64>(kMaxSegmentProgramFileBytes)) return tooLarge();
    // Bounded also for files whose size is not known beforehand (pipes, devices).
    const QByteArray read = file.read(static_cast<qint64>(kMaxSegmentProgramFileBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        ShowMessage("Reading the segment program file " + Quoted(path) +
                    " failed: " + file.errorString().toStdString());
        return false;
    }
    if (read.size() > static_cast<qsizetype>(kMaxSegmentProgramFileBytes)) return tooLarge();
    bytes.assign(read.constData(), static_cast<size_t>(read.size()));
    return true;
}

// Written under a temporary name and renamed over the target once complete.
bool WriteProgramFile(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(bytes.data(), static_cast<qint64>(bytes.size())) == qint64(bytes.size()) &&
                         file.commit();
    if (!written) {
        ShowMessage("Writing the segment program file " + Quoted(path) +
                    " failed: " + file.errorString().toStdString());
        file.cancelWriting();
    }
    return written;
}

}  // namespace

bool TEngine::SegmentEntryAccepted(const TSegmentEntry& entry) const {
    for (const auto& [caption, value, range] :
         {std::tuple{"Start time, " + timeUnitSymbol_, entry.StartTime, kSegmentStartTimeRange},
          std::tuple{std::string("Segment flow, %"), entry.Flow_pct, kSegmentFlowRange}}) {
        if (NumberInRange(FormatGeneral(value), range)) continue;
        ShowMessage(RefusedFieldMessage(caption, range, settings_.DecimalSeparator));
        return false;
    }
    return true;
}

TSegmentTableEdit TEngine::ApplySegment(const std::optional<std::string>& port, TSegmentTable table,
                                        const TSegmentEntry& entry, int terminationItem) {
    TSegmentTableEdit edit{std::move(table), false};
    if (!SegmentEntryAccepted(entry)) return edit;
    ApplySegmentToTable(edit.Table, entry, timeFactor_);
    TDeviceInfo device;
    if (!FindPortDevice(port, device)) {
        ShowMessage("Could not get assigned device.");
        return edit;
    }
    device.SegmentProgram = TableToProgramText(edit.Table);
    device.SegmentProgramTermination = TerminationOfItem(terminationItem);
    if (!StoreDevice(device)) {
        ShowMessage("Saving device segment program failed");
        return edit;
    }
    edit.Stored = true;
    window_.ShowDevice(device);
    return edit;
}

TSegmentTableEdit TEngine::DeleteSegment(const std::optional<std::string>& port, TSegmentTable table, int row) {
    TSegmentTableEdit edit{std::move(table), false};
    if (row < 0 || row >= static_cast<int>(edit.Table.size())) return edit;
    edit.Table.erase(edit.Table.begin() + row);
    TDeviceInfo device;
    if (!FindPortDevice(port, device)) {
        ShowMessage("Error");
        return edit;
    }
    device.SegmentProgram = TableToProgramText(edit.Table);
    // Stored before the device is shown, so that the merged listing shown with it already
    // holds the edit.
    edit.Stored = StoreDevice(device);
    window_.ShowDevice(device);
    if (!edit.Stored) ShowMessage("Saving device segment program failed");
    return edit;
}

bool TEngine::SaveSegmentProgram(const std::optional<std::string>& port, const TChooseFile& chooseFile) {
    TDeviceInfo device;
    if (!FindPortDevice(port, device)) return false;
    const TFileDialogRequest request{
        kSegmentProgramFileFilter, SegmentProgramsFolder(),
        DefaultSegmentProgramFileName(ToLocalDateTime(LocalNow()), device.COMPort, DeviceTypeName(device.DevType))};
    const std::optional<std::filesystem::path> chosen = chooseFile(request);
    if (!chosen) return false;

    const QString path = QString::fromStdString(WithTxtExtension(PathText(*chosen).toStdString()));
    if (!WriteProgramFile(path, SegmentProgramFileBytes(device.SegmentProgram))) return false;
    MM("Segment program of " + device.COMPort + " saved to " + ShownPath(path));
    return true;
}

bool TEngine::LoadSegmentProgram(const std::optional<std::string>& port, const TChooseFile& chooseFile) {
    TDeviceInfo device;
    if (!FindPortDevice(port, device)) return false;
    const std::optional<std::filesystem::path> chosen =
        chooseFile({kSegmentProgramFileFilter, SegmentProgramsFolder(), std::string()});
    if (!chosen) return false;

    const QString path = PathText(*chosen);
    std::string bytes;
    if (!ReadProgramFile(path, bytes)) return false;
    const std::optional<std::string> text = DecodeSegmentProgramFile(bytes);
    if (!text) {
        ShowMessage("The file " + Quoted(path) + " is not a text file; it was not loaded.");
        return false;
    }
    const std::string program(TrimBlanksAndControls(*text));
    std::vector<std::string> problems;
    const bool valid = ValidateSegmentProgram(program, settings_.DecimalSeparator,
                                              [&problems](const std::string& problem) { problems.push_back(problem); });
    ShowMessages(problems);
    if (!valid) {
        MM("Invalid segment program");
        return false;
    }
    device.SegmentProgram = program;
    if (!StoreDevice(device)) {
        MM("Saving device configuration failed");
        return false;
    }
    MM("Segment program of " + device.COMPort + " loaded from " + ShownPath(path));
    window_.ShowDevice(device);
    return true;
}

bool TEngine::LoadRunProgram(const std::string& port, const std::string& program, const TProgramOptions& options) {
    TDeviceInfo device;
    if (!FindDevice(port, device)) return false;
    device.SegmentProgram = program;
    TakeProgramOptions(device, options);
    if (!StoreDevice(device)) {
        MM("Saving device configuration failed");
        return false;
    }
    MM("Segment program of " + device.COMPort + " loaded from the run file (" + std::to_string(SegmentCount(program)) +
       " segments)");
    window_.ShowDevice(device);
    return true;
}

std::string TEngine::MergedSegmentListing(const std::vector<std::string>& ports) const {
    std::vector<std::string> lines{timeUnitSymbol_, FormatGeneral(timeFactor_, settings_.DecimalSeparator)};
    for (const std::string& port : ports)
        if (const int index = DeviceIndex(port); index >= 0) {
            const TDeviceInfo& device = DevicesLocal()[static_cast<std::size_t>(index)];
            lines.push_back(device.COMPort + "|" + DeviceTypeName(device.DevType) + "|" +
                            ListedRunProgram(device.SegmentProgram, device.RunRules()));
        }
    const int devices = static_cast<int>(lines.size()) - 2;
    return SegmentProgramsBanner(devices) + FormatSegmentProgramsTable(lines, settings_.DecimalSeparator) + "\r\n";
}

TEngine::TSegmentListingInputs TEngine::SegmentListingInputs(const std::vector<std::string>& ports) const {
    TSegmentListingInputs inputs{ports, {}, timeUnitSymbol_, timeFactor_};
    for (const std::string& port : ports) {
        TListedProgram& listed = inputs.Programs.emplace_back();
        if (const int index = DeviceIndex(port); index >= 0) {
            const TDeviceInfo& device = DevicesLocal()[static_cast<std::size_t>(index)];
            listed = {device.COMPort, DeviceTypeName(device.DevType), device.SegmentProgram.Version(),
                      device.RunRules()};
        }
    }
    return inputs;
}

bool TEngine::SegmentListingInputsUnchanged(const std::vector<std::string>& ports) const {
    if (!listingInputs_) return false;
    const TSegmentListingInputs& inputs = *listingInputs_;
    if (inputs.Ports != ports || inputs.UnitSymbol != timeUnitSymbol_ || inputs.Factor != timeFactor_) return false;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const TListedProgram& listed = inputs.Programs[i];
        const int index = DeviceIndex(ports[i]);
        if (index < 0) {
            if (!listed.COMPort.empty()) return false;
            continue;
        }
        const TDeviceInfo& device = DevicesLocal()[static_cast<std::size_t>(index)];
        if (device.COMPort != listed.COMPort || DeviceTypeName(device.DevType) != listed.TypeName ||
            device.SegmentProgram.Version() != listed.ProgramVersion || device.RunRules().End != listed.Rules.End ||
            device.RunRules().Repeat != listed.Rules.Repeat)
            return false;
    }
    return true;
}

const TSegmentListing& TEngine::SegmentListing(const std::vector<std::string>& ports) {
    if (SegmentListingInputsUnchanged(ports)) return listing_;
    listingInputs_ = SegmentListingInputs(ports);
    std::string text = ports.empty() ? std::string() : MergedSegmentListing(ports);
    if (text != listing_.Text) {
        listing_.Text = std::move(text);
        ++listing_.Revision;
    }
    return listing_;
}

}  // namespace tessaro
