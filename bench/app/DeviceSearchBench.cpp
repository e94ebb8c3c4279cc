// Wall time of "Search Devices" over pseudo-terminals: 1 and 8 silent ports (each costs the
// probes' time-outs, about 7 s; probed at once, eight should cost about as much as one) and
// the three instruments tessaro-sim starts by default. Every run also checks that the log
// holds one block per port, in port order.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "SimulatedPorts.h"
#include "discovery/DeviceSearch.h"
#include "discovery/OperationWindow.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "engine/WindowPort.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/Messages.h"

namespace tessaro {
namespace {

class LogWindow : public TNullWindowPort {
public:
    void AppendLogLine(const std::string& line) override { Log.push_back(line); }
    std::vector<std::string> Log;
};

// The ports named by "Scanning port: " lines, in log order.
std::vector<std::string> ScannedPorts(const std::vector<std::string>& log) {
    const std::string mark = "Scanning port: ";
    std::vector<std::string> ports;
    for (const std::string& line : log)
        if (const auto at = line.find(mark); at != std::string::npos) ports.push_back(line.substr(at + mark.size()));
    return ports;
}

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "search_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

void Search(benchmark::State& state, int silentPorts, bool defaultInstruments) {
    Application();
    QLoggingCategory::setFilterRules("*.debug=false\n*.info=false\n*.warning=false");
    SetMessageSink([](const std::string&) {});
    test::SimulatedPorts simulated;
    std::vector<std::string> ports;
    for (int i = 0; i < silentPorts; ++i) {
        ports.push_back("silent-" + std::to_string(i));
        simulated.AddSilent(ports.back());
    }
    if (defaultInstruments) {
        simulated.AddMfc("sim-mfc1", "100001", 8, 1.0);
        simulated.AddMfc("sim-mfc2", "100002", 0, 5.0);
        simulated.AddPump("sim-pump1");
        ports.insert(ports.end(), {"sim-mfc1", "sim-mfc2", "sim-pump1"});
    }
    QTemporaryDir folder;
    double totalSeconds = 0;
    bool ordered = true;
    for (auto _ : state) {
        InitializeModules();
        LogWindow window;
        TNullOperationWindow operations;
        TEngineSettings settings;
        settings.DataFolder = folder.path().toStdString();
        TEngine engine(window, settings);
        TDeviceSearch search(engine, window, operations, nullptr);
        search.SetPortLister([ports] { return ports; });

        const auto start = std::chrono::steady_clock::now();
        search.Searchdevices1Click();
        totalSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ordered = ordered && ScannedPorts(window.Log) == ports;
        if (defaultInstruments && DevicesLocal().size() != 3) state.SkipWithError("not all three instruments found");
        DevicesLocal().clear();
    }
    state.counters["search_s"] = totalSeconds / static_cast<double>(state.iterations());
    state.counters["blocks_in_port_order"] = ordered ? 1 : 0;
    if (!ordered) state.SkipWithError("log blocks out of port order");
}

void BM_SearchOneSilentPort(benchmark::State& state) { Search(state, 1, false); }
void BM_SearchEightSilentPorts(benchmark::State& state) { Search(state, 8, false); }
void BM_SearchSimulatorDefaults(benchmark::State& state) { Search(state, 0, true); }

BENCHMARK(BM_SearchOneSilentPort)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchEightSilentPorts)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchSimulatorDefaults)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessaro
