// How long the chart takes to redraw five devices with a week of points at one a second
// each, how long the program takes from module start-up to its window shown, and what an
// on-screen log line costs the window at start and after a week of lines.

#include <benchmark/benchmark.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "Form.h"
#include "ResidentMemory.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using bench::ResidentMegabytes;

constexpr int kDevices = 5;
constexpr int kPointsPerDevice = 600000;  // about a week at one reading a second

QApplication& Application() {
    static int argc = 1;
    static char name[] = "window_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

TEngineSettings Settings(const QTemporaryDir& folder) {
    TEngineSettings settings;
    settings.DataFolder = std::filesystem::path(folder.path().toStdString());
    settings.Sleeps = false;
    return settings;
}

// A window whose chart holds five running devices with a week of achieved flows each.
class FullChart {
public:
    FullChart() {
        Application();
        InitializeModules();
        std::vector<TDeviceInfo> devices;
        for (int d = 0; d < kDevices; ++d) {
            TDeviceInfo device = DemoDevices()[0];
            device.COMPort = "COM" + std::to_string(10 + d);
            device.DevType = static_cast<tDeviceType>(d);
            device.ControlMode = dcmSegment;
            device.Color = 0xFF000000u | (0x3355AAu * static_cast<unsigned>(d + 1) & 0xFFFFFFu);
            devices.push_back(device);
        }
        DevicesLocal() = devices;
        form_ = std::make_unique<TGUIF>(Settings(folder_));
        form_->resize(1600, 1000);
        form_->show();
        (void)QTest::qWaitForWindowExposed(form_.get());
        for (int d = 0; d < kDevices; ++d)
            for (int i = 0; i < kPointsPerDevice; ++i) {
                const double minutes = i / 60.0;
                const double flow = 50 + 40 * std::sin(minutes / 90 + d) + 3 * std::sin(i * 12.9898 + d);
                form_->FlowSerie(devices[static_cast<size_t>(d)], minutes, flow, false);
            }
        QCoreApplication::processEvents();
    }
    ~FullChart() {
        form_.reset();
        DevicesLocal().clear();
    }

    QCustomPlot& Chart() { return *form_->findChild<QCustomPlot*>("RtGraph2DMain"); }

private:
    QTemporaryDir folder_;
    std::unique_ptr<TGUIF> form_;
};

void BM_ReplotFiveDevicesOfAWeekEach(benchmark::State& state) {
    FullChart chart;
    QCustomPlot& plot = chart.Chart();
    for (auto _ : state) plot.replot(QCustomPlot::rpImmediateRefresh);
    state.counters["points"] = static_cast<double>(kDevices) * kPointsPerDevice;
}
BENCHMARK(BM_ReplotFiveDevicesOfAWeekEach)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_StartUpToWindowShown(benchmark::State& state) {
    Application();
    QTemporaryDir folder;
    for (auto _ : state) {
        InitializeModules();
        TGUIF form(Settings(folder));
        form.resize(1600, 1000);
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
        QCoreApplication::processEvents();
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpToWindowShown)->Unit(benchmark::kMillisecond)->Iterations(10);

// With a pump configured the engine logs nine planning lines per tick: about five million
// lines in a week.
constexpr long kLogLinesPerWeek = 5'000'000;

// A shown window whose log view has taken `lines` lines before the timing starts.
class LoggedWindow {
public:
    explicit LoggedWindow(long lines) {
        Application();
        InitializeModules();
        form_ = std::make_unique<TGUIF>(Settings(folder_));
        form_->resize(1366, 768);
        form_->show();
        (void)QTest::qWaitForWindowExposed(form_.get());
        QCoreApplication::processEvents();
        residentAtStart_ = ResidentMegabytes();
        for (long i = 0; i < lines; ++i) Append(i);
        QCoreApplication::processEvents();
    }
    void Append(long i) { form_->AppendLogLine("12:00:00:000          Setpoint, % : " + std::to_string(i % 1000)); }
    double ResidentGrowth() const { return ResidentMegabytes() - residentAtStart_; }
    int ViewLines() const { return form_->findChild<QPlainTextEdit*>("MemoMain")->blockCount(); }

private:
    QTemporaryDir folder_;
    std::unique_ptr<TGUIF> form_;
    double residentAtStart_ = 0;
};

void TimeLogLines(benchmark::State& state, LoggedWindow& window) {
    long i = 0;
    for (auto _ : state) window.Append(i++);
    QCoreApplication::processEvents();
    state.counters["view_lines"] = window.ViewLines();
    state.counters["rss_growth_MB"] = window.ResidentGrowth();
}

void BM_LogViewLineAtStart(benchmark::State& state) {
    LoggedWindow window(0);
    TimeLogLines(state, window);
}
BENCHMARK(BM_LogViewLineAtStart)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// The view keeps its last 20,000 lines: from here on each line also drops the oldest one.
void BM_LogViewLineOnceFull(benchmark::State& state) {
    LoggedWindow window(20'000);
    TimeLogLines(state, window);
}
BENCHMARK(BM_LogViewLineOnceFull)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void BM_LogViewLineAfterAWeek(benchmark::State& state) {
    LoggedWindow window(kLogLinesPerWeek);
    TimeLogLines(state, window);
}
BENCHMARK(BM_LogViewLineAfterAWeek)->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaro
