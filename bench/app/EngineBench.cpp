// The engine tick with six configured devices (workers that are never started, whose
// window-side records are filled here as their exchanges would), on a fake clock with the
// tick's sleeps switched off: at start and after seven simulated days of data lines; the
// log file of a week's table; the memory a week's table takes.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "clock/Clock.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kControllers = 5;
constexpr auto kWeek = std::chrono::hours(24 * 7);
// Slightly more than a second per tick, as the window's timer gives: every third tick
// writes a data line.
constexpr auto kTickStep = 1001ms;
// Every device is still in its program after a week, so the tick does the same work at the
// start and at the end.
constexpr const char* kTwoWeekRamp = "0 10 Step\r\n20160 90 Ramp";

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes / 1024;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// Five flow controllers in their programs with a fresh status every tick, and a pump in its
// program.
class SixDevices {
public:
    SixDevices() : scopedClock_(clock_) {
        InitializeModules();
        std::vector<TDeviceInfo>& devices = DevicesLocal();
        devices.clear();
        for (int i = 0; i < kControllers; ++i) {
            TDeviceInfo device = NewFoundDevice("COM" + std::to_string(10 + i), NextFlowControllerKind(devices), "1");
            device.FlowUnitUser = FlowUnitMlnAir().Clone();
            device.SegmentProgram = kTwoWeekRamp;
            device.ThreadMFC = new TMFCThread;
            devices.push_back(device);
        }
        TDeviceInfo pump = NewFoundDevice("COM20", dtPump, "2");
        pump.MaxFlow_µlpm = 312.5;
        pump.SegmentProgram = kTwoWeekRamp;
        pump.ThreadPump = new TPSD4Thread;
        devices.push_back(pump);

        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
        engine_->FormCreate();
        std::vector<std::string> ports;
        for (const TDeviceInfo& device : devices) ports.push_back(device.COMPort);
        engine_->ButtonSegmentProgramStartClick(ports);
    }
    ~SixDevices() {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    // One tick, after the workers have handed over a fresh status.
    void Tick() {
        for (TDeviceInfo& device : DevicesLocal()) {
            if (device.ThreadMFC == nullptr) continue;
            TThreadData& report = device.ThreadMFC->GUIIn;
            ++report.StatusSequence;
            report.DeviceStatus.FlowRate_mass = static_cast<double>(report.StatusSequence % 64000);
            report.DeviceStatus.MaxFlowgpm = 1.145;
        }
        engine_->TimerEngineTimer();
        clock_.Advance(kTickStep);
    }

    // A week of ticks; the log files are kept from being written meanwhile by a file where
    // the folder should be, so the week takes no disk traffic.
    void RunAWeek() {
        fs::remove_all(engine_->LogsFolder());
        { std::ofstream(engine_->LogsFolder()) << "blocked"; }
        const auto end = MonotonicNow() + kWeek;
        while (MonotonicNow() < end) Tick();
        fs::remove(engine_->LogsFolder());
        engine_->FlowDataSave(true, "Week");
    }

    TEngine& Engine() { return *engine_; }

private:
    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    TNullWindowPort window_;
    std::unique_ptr<TEngine> engine_;
};

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "app_engine_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

SixDevices& WeekOld() {
    static SixDevices* devices = [] {
        auto* built = new SixDevices;
        built->RunAWeek();
        return built;
    }();
    return *devices;
}

// One iteration is one simulated minute of ticks. The tick in which the periodic log file
// is written is timed apart: it writes the whole table, once a minute.
void TimeTicks(benchmark::State& state, SixDevices& devices) {
    double tickSeconds = 0;
    double saveSeconds = 0;
    std::int64_t ticks = 0;
    std::int64_t saves = 0;
    for (auto _ : state) {
        double minute = 0;
        for (int i = 0; i < 60; ++i) {
            const auto saved = devices.Engine().LastLogSaveTime();
            const double start = ThreadCpuSeconds();
            devices.Tick();
            const double spent = ThreadCpuSeconds() - start;
            minute += spent;
            if (devices.Engine().LastLogSaveTime() != saved) {
                saveSeconds += spent;
                ++saves;
            } else {
                tickSeconds += spent;
                ++ticks;
            }
        }
        state.SetIterationTime(minute);
    }
    state.counters["tick_us"] = ticks > 0 ? tickSeconds / static_cast<double>(ticks) * 1e6 : 0;
    state.counters["saving_tick_ms"] = saves > 0 ? saveSeconds / static_cast<double>(saves) * 1e3 : 0;
    state.counters["table_lines"] = static_cast<double>(devices.Engine().DataTable().size());
}

void BM_TickAtStart(benchmark::State& state) {
    Application();
    SixDevices devices;
    TimeTicks(state, devices);
}
BENCHMARK(BM_TickAtStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_MemoryAfterAWeek(benchmark::State& state) {
    Application();
    const double before = ResidentMegabytes();
    for (auto _ : state) {
        WeekOld();
    }
    state.counters["rss_MB"] = ResidentMegabytes();
    state.counters["rss_before_week_MB"] = before;
    state.counters["table_lines"] = static_cast<double>(WeekOld().Engine().DataTable().size());
}
BENCHMARK(BM_MemoryAfterAWeek)->Iterations(1)->Unit(benchmark::kSecond);

void BM_TickAfterAWeek(benchmark::State& state) {
    Application();
    TimeTicks(state, WeekOld());
}
BENCHMARK(BM_TickAfterAWeek)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_FlowDataSaveOfAWeek(benchmark::State& state) {
    Application();
    SixDevices& devices = WeekOld();
    std::size_t bytes = 0;
    for (const std::string& line : devices.Engine().DataTable()) bytes += line.size() + 2;
    for (auto _ : state) devices.Engine().FlowDataSave(true, "Bench");
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_FlowDataSaveOfAWeek)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
