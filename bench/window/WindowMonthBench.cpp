// The shown window of a run 1, 7 and 30 days old, with five flow controllers and a pump in
// their programs (workers that are never started, whose window-side records are filled here
// as their exchanges would be), on a fake clock with the tick's sleeps switched off.
//
// The run's age is reached in bulk: every third second is a real engine tick (the data line,
// the CSV row, the pump's planning lines in the log view, the chart's points); the two
// seconds between get each device's chart point as the tick would have given it; the views
// take an hour's lines at once and the events the ticks post are handled once an hour. Per age:
// resident memory (with the heap's bytes in use and those it holds free), the window tick
// (engine tick plus the views' updates it causes), a chart replot with every device's curves
// in view, the planned curve of a 16,000-line program drawn and replotted, and the saving
// tick (the tick that writes the once-a-minute log file).
// The ages must come in ascending order: one window grows older from row to row.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <string>

#include "FlowCurve.h"
#include "Form.h"
#include "ResidentMemory.h"
#include "clock/Clock.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using bench::ResidentMegabytes;
using namespace std::chrono_literals;

constexpr int kControllers = 5;
constexpr auto kSecond = 1000ms;
constexpr int kSecondsPerTick = 3;
// Every device is still in its program after a month: the tick does the same work at every age.
constexpr const char* kTwoMonthRamp = "0 10 Step\r\n86400 90 Ramp";
constexpr int kLongProgramSegments = 16000;

QApplication& Application() {
    static int argc = 1;
    static char name[] = "window_month_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Steps and ramps of varying setpoints, one segment a minute.
std::string LongProgram() {
    std::string program;
    for (int i = 1; i <= kLongProgramSegments; ++i)
        program += std::to_string(i) + " " + std::to_string((i * 37) % 101) + (i % 2 ? " Ramp" : " Step") + "\r\n";
    return program;
}

class MonthOldWindow {
public:
    MonthOldWindow() : scopedClock_(clock_) {
        Application();
        InitializeModules();
        std::vector<TDeviceInfo>& devices = DevicesLocal();
        devices.clear();
        for (int i = 0; i < kControllers; ++i) {
            TDeviceInfo device = NewFoundDevice("COM" + std::to_string(10 + i), NextFlowControllerKind(devices), "1");
            device.FlowUnitUser = FlowUnitMlnAir().Clone();
            device.SegmentProgram = kTwoMonthRamp;
            device.Color = 0xFF000000u | ((0x3355AAu * static_cast<unsigned>(i + 1)) & 0xFFFFFFu);
            device.ThreadMFC = new TMFCThread;
            devices.push_back(device);
        }
        TDeviceInfo pump = NewFoundDevice("COM20", dtPump, "2");
        pump.MaxFlow_µlpm = 312.5;
        pump.SegmentProgram = kTwoMonthRamp;
        pump.ThreadPump = new TPSD4Thread;
        devices.push_back(pump);

        TEngineSettings settings;
        settings.DataFolder = std::filesystem::path(folder_.path().toStdString());
        settings.Sleeps = false;
        form_ = std::make_unique<TGUIF>(settings);
        form_->resize(1600, 1000);
        form_->show();
        (void)QTest::qWaitForWindowExposed(form_.get());
        std::vector<std::string> ports;
        for (const TDeviceInfo& device : devices) ports.push_back(device.COMPort);
        form_->Engine().ButtonSegmentProgramStartClick(ports);
        auto* list = form_->findChild<QTreeWidget*>("ListViewDevices");
        for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setSelected(true);
        QCoreApplication::processEvents();
        start_ = MonotonicNow();
        residentAtStart_ = ResidentMegabytes();
    }
    // The workers never ran: they leave the registry before the window, which then has no
    // worker to stop.
    ~MonthOldWindow() {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
        form_.reset();
    }

    // One real tick after the workers handed over a fresh status; the clock moves by `step`.
    void Tick(std::chrono::milliseconds step = kSecond) {
        for (TDeviceInfo& device : DevicesLocal()) {
            if (device.ThreadMFC == nullptr) continue;
            TThreadData& report = device.ThreadMFC->GUIIn;
            ++report.StatusSequence;
            const double wave = std::sin(static_cast<double>(report.StatusSequence) / 5400.0);
            report.DeviceStatus.FlowRate_mass = 32000 + 16000 * wave + static_cast<double>(report.StatusSequence % 97);
            report.DeviceStatus.MaxFlowgpm = 1.145;
        }
        form_->Engine().TimerEngineTimer();
        clock_.Advance(step);
    }

    // Until the run is `age` old, a simulated hour at a time: one real tick every third
    // second, the chart points of the seconds between as the ticks would have added them. The
    // views take each hour's lines in one insertion, as they take a tick's (of which they
    // keep the last lines only), and the events the ticks posted are handled once an hour.
    void AgeTo(std::chrono::milliseconds age) {
        while (MonotonicNow() - start_ < age) {
            form_->TickBegins();
            for (auto hour = MonotonicNow() + std::chrono::hours(1);
                 MonotonicNow() < hour && MonotonicNow() - start_ < age;) {
                Tick();
                for (int s = 1; s < kSecondsPerTick; ++s) {
                    const double x_min = form_->Engine().GraphMinutes(MonotonicNow());
                    for (const TDeviceInfo& device : DevicesLocal())
                        form_->FlowSerie(device, x_min, 50 + 40 * std::sin(x_min / 90) + (s % 7), false);
                    clock_.Advance(kSecond);
                }
            }
            form_->TickEnded();
            QCoreApplication::processEvents();
        }
    }

    QCustomPlot& Chart() { return *form_->findChild<QCustomPlot*>("RtGraph2DMain"); }
    TGUIF& Form() { return *form_; }
    int ViewLines(const char* name) const { return form_->findChild<QPlainTextEdit*>(name)->blockCount(); }
    double ResidentGrowth() const { return ResidentMegabytes() - residentAtStart_; }
    // What the chart's curves hold of their points.
    double ChartMegabytes() const {
        std::size_t bytes = 0;
        for (const TDeviceInfo& device : DevicesLocal())
            for (QCPGraph* curve : {form_->PlannedCurve(device.COMPort), form_->AchievedCurve(device.COMPort)})
                if (const auto* flow = qobject_cast<const TFlowCurve*>(curve)) bytes += flow->PointBytes();
        return static_cast<double>(bytes) / (1024.0 * 1024.0);
    }

private:
    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    std::unique_ptr<TGUIF> form_;
    std::chrono::milliseconds start_{0};
    double residentAtStart_ = 0;
};

MonthOldWindow& Window() {
    static const std::unique_ptr<MonthOldWindow> window = std::make_unique<MonthOldWindow>();
    return *window;
}

double Milliseconds(double seconds, std::int64_t count) {
    return count > 0 ? seconds / static_cast<double>(count) * 1e3 : 0;
}

// A full redraw of the chart as it stands, every curve in view: the mean of `count`.
double ReplotMilliseconds(QCustomPlot& chart, int count) {
    chart.rescaleAxes();
    const double start = ThreadCpuSeconds();
    for (int i = 0; i < count; ++i) chart.replot(QCustomPlot::rpImmediateRefresh);
    return Milliseconds(ThreadCpuSeconds() - start, count);
}

// The first controller given a 16,000-line program: showing it (the planned curve filled
// once), then window ticks that each handle their events and redraw the chart.
struct TLongProgramCosts {
    double Show_ms = 0;
    double TickAndReplot_ms = 0;
};
TLongProgramCosts LongProgramCosts(MonthOldWindow& window, int ticks) {
    TLongProgramCosts costs;
    const std::string kept = DevicesLocal().front().SegmentProgram;
    DevicesLocal().front().SegmentProgram = LongProgram();
    double start = ThreadCpuSeconds();
    window.Form().ShowDevice(DevicesLocal().front());
    QCoreApplication::processEvents();
    costs.Show_ms = Milliseconds(ThreadCpuSeconds() - start, 1);
    start = ThreadCpuSeconds();
    for (int i = 0; i < ticks; ++i) {
        window.Tick();
        QCoreApplication::processEvents();
        window.Chart().replot(QCustomPlot::rpImmediateRefresh);
    }
    costs.TickAndReplot_ms = Milliseconds(ThreadCpuSeconds() - start, ticks);
    DevicesLocal().front().SegmentProgram = kept;
    window.Form().ShowDevice(DevicesLocal().front());
    QCoreApplication::processEvents();
    return costs;
}

// One iteration: a simulated minute of window ticks, each with the events it posted handled.
// The tick that writes the periodic log file is counted apart. After the timing: resident
// memory, the chart's replot and the long program's costs at this age.
void BM_WindowAtAge(benchmark::State& state) {
    MonthOldWindow& window = Window();
    const double cpuBefore = ThreadCpuSeconds();
    window.AgeTo(std::chrono::hours(24 * state.range(0)));
    state.counters["aging_cpu_s"] = ThreadCpuSeconds() - cpuBefore;

    double tickSeconds = 0, saveSeconds = 0, worstTick = 0;
    std::int64_t ticks = 0, saves = 0;
    for (auto _ : state) {
        double minute = 0;
        for (int i = 0; i < 60; ++i) {
            const auto saved = window.Form().Engine().LastLogSaveTime();
            const double start = ThreadCpuSeconds();
            window.Tick();
            QCoreApplication::processEvents();
            const double spent = ThreadCpuSeconds() - start;
            minute += spent;
            if (window.Form().Engine().LastLogSaveTime() != saved) {
                saveSeconds += spent;
                ++saves;
            } else {
                tickSeconds += spent;
                worstTick = std::max(worstTick, spent);
                ++ticks;
            }
        }
        state.SetIterationTime(minute);
    }
    state.counters["window_tick_ms"] = Milliseconds(tickSeconds, ticks);
    state.counters["worst_tick_ms"] = worstTick * 1e3;
    state.counters["saving_tick_ms"] = Milliseconds(saveSeconds, saves);
    state.counters["rss_MB"] = ResidentMegabytes();
    state.counters["rss_growth_MB"] = window.ResidentGrowth();
    state.counters["heap_in_use_MB"] = bench::HeapInUseMegabytes();
    state.counters["heap_free_MB"] = bench::HeapFreeMegabytes();
    state.counters["table_lines"] = static_cast<double>(window.Form().Engine().DataTable().Size());
    state.counters["data_view_lines"] = window.ViewLines("MemoData");
    state.counters["log_view_lines"] = window.ViewLines("MemoMain");
    state.counters["chart_MB"] = window.ChartMegabytes();
    state.counters["chart_points_per_device"] = static_cast<double>(window.Form().AchievedCurve("COM10")->dataCount());
    state.counters["replot_ms"] = ReplotMilliseconds(window.Chart(), 10);
    const TLongProgramCosts longProgram = LongProgramCosts(window, 20);
    state.counters["long_program_show_ms"] = longProgram.Show_ms;
    state.counters["long_program_tick_replot_ms"] = longProgram.TickAndReplot_ms;
}
BENCHMARK(BM_WindowAtAge)
    ->Arg(1)
    ->Arg(7)
    ->Arg(30)
    ->ArgName("days")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
