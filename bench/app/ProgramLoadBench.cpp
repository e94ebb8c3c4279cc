// Loading a segment program file of 4,000 and 16,000 lines into a device, headless: the
// file read, decoded, trimmed and checked, the device stored, and the program turned into
// the rows of the segment table. The per-line cost tells whether the load stays linear.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Engine.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/SegmentProgram.h"

namespace tessaro {
namespace {

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "app_program_load_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Lines of varying width: whole and fractional times, both types, every other one a note.
std::string ProgramOfLines(int lines) {
    std::string program;
    for (int i = 1; i <= lines; ++i)
        program += std::to_string(i) + ".5 " + std::to_string(i % 101) +
                   (i % 2 ? " Ramp" : " Step note_" + std::to_string(i)) + "\r\n";
    return program;
}

void BM_LoadProgramFile(benchmark::State& state) {
    Application();
    InitializeModules();
    const int lines = static_cast<int>(state.range(0));
    QTemporaryDir folder;
    TEngineSettings settings;
    settings.DataFolder = std::filesystem::path(folder.path().toStdString());
    settings.Sleeps = false;
    TNullWindowPort window;
    TEngine engine(window, settings);
    const std::filesystem::path file = settings.DataFolder / "long.txt";
    std::ofstream(file, std::ios::binary) << ProgramOfLines(lines);
    const std::string port = DevicesLocal().front().COMPort;
    const TChooseFile chooseFile = [&file](const TFileDialogRequest&) { return std::optional(file); };

    TSegmentTable table;
    for (auto _ : state) {
        TDeviceInfo device;
        FindDevice(port, device);
        device.SegmentProgram.clear();
        StoreDevice(device);
        engine.LoadSegmentProgram(port, chooseFile);
        FindDevice(port, device);
        ProgramTextToTable(device.SegmentProgram, table);
    }
    if (static_cast<int>(table.size()) != lines) state.SkipWithError("the program was not loaded");
    // Seconds per million lines, that is microseconds per line.
    state.counters["us_per_line"] =
        benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    DevicesLocal().clear();
}
BENCHMARK(BM_LoadProgramFile)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
