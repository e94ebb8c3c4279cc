// Loading a program file of 16,000 segments through the table's context menu, as the
// operator does: reading and checking the file, storing it, filling the segment table,
// drawing the planned curve and writing the merged listing. And the listing alone, which
// the engine tick made again every second until it was rebuilt only on a change; and the
// tick with a long program listed.

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <memory>

#include "Form.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

constexpr int kSegments = 16000;

QApplication& Application() {
    static int argc = 1;
    static char name[] = "segment_files_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

std::string LongProgram() {
    std::string program;
    for (int i = 1; i <= kSegments; ++i)
        program += std::to_string(i) + ".5 " + std::to_string(i % 101) +
                   (i % 2 ? " Ramp" : " Step note_" + std::to_string(i)) + "\r\n";
    return program;
}

class LoadedWindow {
public:
    LoadedWindow() {
        Application();
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = std::filesystem::path(folder_.path().toStdString());
        settings.Sleeps = false;
        form_ = std::make_unique<TGUIF>(settings);
        file_ = settings.DataFolder / "long.txt";
        std::ofstream(file_, std::ios::binary) << LongProgram();
        form_->SetSegmentFileDialogs(nullptr, [this](const TFileDialogRequest&) { return std::optional(file_); });
        auto* list = form_->findChild<QTreeWidget*>("ListViewDevices");
        list->setCurrentItem(list->topLevelItem(0));
        form_->resize(1200, 900);
        form_->show();
        QCoreApplication::processEvents();
    }
    ~LoadedWindow() {
        form_.reset();
        DevicesLocal().clear();
    }

    TGUIF& Form() { return *form_; }
    std::string Port() const { return DevicesLocal()[0].COMPort; }

private:
    QTemporaryDir folder_;
    std::filesystem::path file_;
    std::unique_ptr<TGUIF> form_;
};

void BM_LoadSixteenThousandSegments(benchmark::State& state) {
    LoadedWindow window;
    auto* load = window.Form().findChild<QAction*>("LoadSegmentProgram2");
    for (auto _ : state) {
        TDeviceInfo device;
        FindDevice(window.Port(), device);
        device.SegmentProgram.clear();
        StoreDevice(device);
        load->trigger();
        QCoreApplication::processEvents();
    }
    TDeviceInfo device;
    FindDevice(window.Port(), device);
    if (SegmentCount(device.SegmentProgram) != kSegments) state.SkipWithError("the program was not loaded");
}
BENCHMARK(BM_LoadSixteenThousandSegments)->Unit(benchmark::kMillisecond);

// The same without drawing the planned curve: the file read, decoded, checked and stored
// by the engine, the segment table filled and the merged listing written into its view.
void BM_LoadFillAndListSixteenThousandSegments(benchmark::State& state) {
    LoadedWindow window;
    TNullWindowPort headless;
    TEngine engine(headless, window.Form().Engine().Settings());
    const std::filesystem::path file = window.Form().Engine().Settings().DataFolder / "long.txt";
    auto* devices = window.Form().findChild<QTreeWidget*>("ListViewDevices");
    // Selecting a row redraws the planned curves of the selection; the rows are selected
    // here for the listing only.
    const QSignalBlocker quiet(devices);
    for (auto _ : state) {
        devices->topLevelItem(1)->setSelected(false);
        window.Form().MemoSegmentsUpdate();  // the listing view starts empty
        TDeviceInfo device;
        FindDevice(window.Port(), device);
        device.SegmentProgram.clear();
        StoreDevice(device);
        engine.LoadSegmentProgram(window.Port(), [&file](const TFileDialogRequest&) { return std::optional(file); });
        FindDevice(window.Port(), device);
        window.Form().FillSegmentTable(device.SegmentProgram);
        devices->topLevelItem(1)->setSelected(true);
        window.Form().MemoSegmentsUpdate();
        QCoreApplication::processEvents();
    }
    TDeviceInfo device;
    FindDevice(window.Port(), device);
    if (SegmentCount(device.SegmentProgram) != kSegments) state.SkipWithError("the program was not loaded");
}
BENCHMARK(BM_LoadFillAndListSixteenThousandSegments)->Unit(benchmark::kMillisecond);

void BM_ListingOfSixteenThousandSegments(benchmark::State& state) {
    LoadedWindow window;
    window.Form().findChild<QAction*>("LoadSegmentProgram2")->trigger();
    const std::vector<std::string> ports = {window.Port(), DevicesLocal()[1].COMPort};
    for (auto _ : state) benchmark::DoNotOptimize(window.Form().Engine().MergedSegmentListing(ports));
}
BENCHMARK(BM_ListingOfSixteenThousandSegments)->Unit(benchmark::kMillisecond);

// The engine tick while the listing view shows a program of 53,000 segments beside a
// second device: nothing changes between the ticks, so the listing is not made again.
void BM_TickWithFiftyThreeThousandSegmentsListed(benchmark::State& state) {
    LoadedWindow window;
    std::string program;
    for (int i = 1; i <= 53000; ++i) program += std::to_string(i) + " " + std::to_string(i % 101) + " Ramp\r\n";
    TDeviceInfo device;
    FindDevice(window.Port(), device);
    device.SegmentProgram = program;
    StoreDevice(device);
    auto* devices = window.Form().findChild<QTreeWidget*>("ListViewDevices");
    devices->topLevelItem(0)->setSelected(true);
    devices->topLevelItem(1)->setSelected(true);
    window.Form().findChild<QAction*>("ShowSegmentProgramTable1")->trigger();
    window.Form().Engine().TimerEngineTimer();  // the first tick lists the programs
    QCoreApplication::processEvents();
    for (auto _ : state) window.Form().Engine().TimerEngineTimer();
    state.counters["listing_MB"] =
        static_cast<double>(window.Form().Engine().SegmentListing(window.Form().SelectedPorts()).Text.size()) / 1e6;
}
BENCHMARK(BM_TickWithFiftyThreeThousandSegmentsListed)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
