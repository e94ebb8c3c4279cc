// The headless program at work: the two demo devices configured (their simulated workers
// running) and in their segment programs, the engine ticking on its one-second timer on the
// system clock, sleeps as in the program. Measures the CPU the whole process takes per
// second of real time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>

#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

constexpr int kRunSeconds = 30;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_HeadlessTwoDemoDevices(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "app_headless_bench";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // Diagnostic channels are off unless switched on, as in the program.
    QLoggingCategory::setFilterRules("*.debug=false\n*.info=false");

    InitializeModules();
    QTemporaryDir folder;
    TEngineSettings settings;
    settings.DataFolder = std::filesystem::path(folder.path().toStdString());
    TNullWindowPort window;
    TEngine engine(window, settings);
    TEngineTimer timer(engine);
    engine.FormCreate();
    for (TDeviceInfo& device : DevicesLocal()) device.StartThread();
    engine.ButtonSegmentProgramStartClick({"COMX", "COMY"});
    timer.Start();

    for (auto _ : state) {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        QTimer::singleShot(kRunSeconds * 1000, &app, &QCoreApplication::quit);
        QCoreApplication::exec();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        state.counters["cpu_pct_of_a_core"] = (ProcessCpuSeconds() - cpuStart) / wall * 100;
    }
    state.counters["table_lines"] = static_cast<double>(engine.DataTable().Size());

    timer.Stop();
    engine.FormClose();
    DevicesLocal().clear();
}
BENCHMARK(BM_HeadlessTwoDemoDevices)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace tessaro
