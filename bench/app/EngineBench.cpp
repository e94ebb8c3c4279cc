// The engine tick with six configured devices (workers that are never started, whose
// window-side records are filled here as their exchanges would), on a fake clock with the
// tick's sleeps switched off: at start and after seven simulated days of data lines, with
// and without the continuous CSV file; the log file of a week's table; the memory a week's
// table takes; the bytes a week of recording hands to the system against the CSV file's
// size; an on-screen log line at start and after a week of them; the once-a-minute saving
// tick at 1, 7 and 30 days; the tick by the length of the devices' programs. Every file
// goes to temporary folders removed at the end.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ResidentMemory.h"
#include "clock/Clock.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using bench::ResidentMegabytes;

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

// Large blocks (a week's vectors) are mapped apart from the heap's arena.
double HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// Bytes this process has handed to write calls so far (whatever reaches the disk later).
double WrittenBytes() {
    std::ifstream io("/proc/self/io");
    std::string key;
    while (io >> key) {
        if (key == "wchar:") {
            double bytes = 0;
            io >> bytes;
            return bytes;
        }
        io.ignore(1 << 10, '\n');
    }
    return 0;
}

double FileBytes(const fs::path& path) {
    std::error_code failed;
    const auto size = fs::file_size(path, failed);
    return failed ? 0 : static_cast<double>(size);
}

// What a simulated week handed to the system, and what its files hold at the end.
struct TWeekWrites {
    double Written = 0;          // every write call of the week
    double ScreenLogGrowth = 0;  // of which the on-screen log files
    double ScreenLogWrites = 0;  // the write calls these took
    double PeriodicLog = 0;      // and the once-a-minute log file
    double CsvFile = 0;          // the CSV file's final size
};

// Five flow controllers in their programs with a fresh status every tick, and a pump in its
// program.
class SixDevices {
public:
    // With `programControl` every program repeats three times, the controllers hold back and
    // raise alarms (their readings wander far from their setpoints), and the first one is held.
    // `pumpInSegment` off: the pump gets a direct setpoint, which writes no planning lines to
    // the on-screen log (a month of them would take gigabytes of screen log file).
    // `program` is every device's segment program.
    explicit SixDevices(bool continuousCsv = true, bool programControl = false, bool pumpInSegment = true,
                        const std::string& program = kTwoWeekRamp)
        : scopedClock_(clock_) {
        InitializeModules();
        std::vector<TDeviceInfo>& devices = DevicesLocal();
        devices.clear();
        for (int i = 0; i < kControllers; ++i) {
            TDeviceInfo device = NewFoundDevice("COM" + std::to_string(10 + i), NextFlowControllerKind(devices), "1");
            device.FlowUnitUser = FlowUnitMlnAir().Clone();
            device.SegmentProgram = program;
            device.ThreadMFC = new TMFCThread;
            if (programControl) {
                device.ProgramRepeat = 3;
                device.HoldbackBand_pct = 2;
                device.LongestHold_s = 5;
                device.AlarmBand_pct = 5;
                device.AlarmDelay_s = 3;
            }
            devices.push_back(device);
        }
        TDeviceInfo pump = NewFoundDevice("COM20", dtPump, "2");
        pump.MaxFlow_µlpm = 312.5;
        pump.SegmentProgram = program;
        pump.ThreadPump = new TPSD4Thread;
        devices.push_back(pump);

        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.Sleeps = false;
        settings.ContinuousCsv = continuousCsv;
        engine_ = std::make_unique<TEngine>(window_, settings);
        engine_->FormCreate();
        std::vector<std::string> ports;
        for (const TDeviceInfo& device : devices) ports.push_back(device.COMPort);
        engine_->ButtonSegmentProgramStartClick(ports);
        if (programControl) engine_->HoldPrograms({ports.front()});
        if (!pumpInSegment) {
            TDeviceInfo& pumpEntry = devices.back();
            pumpEntry.ControlMode = dcmDirect;
            pumpEntry.Setpoint_pct = 50;
        }
        start_ = MonotonicNow();
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

    // A week of ticks, every file written where the engine puts it: the on-screen log in a
    // file a day, the once-a-minute log file appended, the session's CSV file line by line.
    void RunAWeek() {
        Tick();
        const double writtenBefore = WrittenBytes();
        const std::uint64_t screenLogBefore = engine_->ScreenLogBytesWritten();
        const std::uint64_t screenLogWritesBefore = engine_->ScreenLogWrites();
        const std::uint64_t periodicBefore = engine_->PeriodicLogBytesWritten();
        const auto end = MonotonicNow() + kWeek;
        while (MonotonicNow() < end) Tick();
        week_.Written = WrittenBytes() - writtenBefore;
        week_.ScreenLogGrowth = static_cast<double>(engine_->ScreenLogBytesWritten() - screenLogBefore);
        week_.ScreenLogWrites = static_cast<double>(engine_->ScreenLogWrites() - screenLogWritesBefore);
        week_.PeriodicLog = static_cast<double>(engine_->PeriodicLogBytesWritten() - periodicBefore);
        week_.CsvFile = FileBytes(engine_->DataCsvFile());
        engine_->FlowDataSave(true, "Week");
    }

    // Every program as far as `programTime` into its run.
    void MoveProgramsOn(std::chrono::minutes programTime) {
        for (TDeviceInfo& device : DevicesLocal()) device.FlowStartMonotonic -= programTime;
    }

    // Ticks until the run is `age` old, with the log folder as it is.
    void RunUntil(std::chrono::milliseconds age) {
        while (MonotonicNow() - start_ < age) Tick();
    }

    TEngine& Engine() { return *engine_; }
    const TWeekWrites& Week() const { return week_; }

private:
    TFakeClock clock_;
    TScopedClock scopedClock_;
    QTemporaryDir folder_;
    TNullWindowPort window_;
    std::unique_ptr<TEngine> engine_;
    TWeekWrites week_;
    std::chrono::milliseconds start_{0};
};

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "app_engine_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Kept to the end of the program, whose exit removes them with their folders.
SixDevices& WeekOld() {
    static const std::unique_ptr<SixDevices> devices = [] {
        auto built = std::make_unique<SixDevices>();
        built->RunAWeek();
        return built;
    }();
    return *devices;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One iteration is one simulated minute of ticks. The tick in which the periodic log file
// is written is timed apart (its CPU and wall time, and the bytes the file took), once a
// minute.
void TimeTicks(benchmark::State& state, SixDevices& devices) {
    double tickSeconds = 0;
    double saveSeconds = 0;
    double saveWallSeconds = 0;
    std::int64_t ticks = 0;
    std::int64_t saves = 0;
    const std::uint64_t savedBytesBefore = devices.Engine().PeriodicLogBytesWritten();
    for (auto _ : state) {
        double minute = 0;
        for (int i = 0; i < 60; ++i) {
            const auto saved = devices.Engine().LastLogSaveTime();
            const double start = ThreadCpuSeconds();
            const double wallStart = WallSeconds();
            devices.Tick();
            const double spent = ThreadCpuSeconds() - start;
            minute += spent;
            if (devices.Engine().LastLogSaveTime() != saved) {
                saveSeconds += spent;
                saveWallSeconds += WallSeconds() - wallStart;
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
    state.counters["saving_tick_wall_ms"] = saves > 0 ? saveWallSeconds / static_cast<double>(saves) * 1e3 : 0;
    const double savedBytes = static_cast<double>(devices.Engine().PeriodicLogBytesWritten() - savedBytesBefore);
    state.counters["KB_per_save"] = saves > 0 ? savedBytes / static_cast<double>(saves) / 1e3 : 0;
    state.counters["table_lines"] = static_cast<double>(devices.Engine().DataTable().Size());
}

void BM_TickAtStart(benchmark::State& state) {
    Application();
    SixDevices devices;
    TimeTicks(state, devices);
}
BENCHMARK(BM_TickAtStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// The same with repeat, holdback, alarms and a held program at work.
void BM_TickWithProgramControl(benchmark::State& state) {
    Application();
    SixDevices devices(true, true);
    TimeTicks(state, devices);
}
BENCHMARK(BM_TickWithProgramControl)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// A program of `lines` lines, one a minute, steps and ramps in turn.
std::string ProgramOfLines(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += std::to_string(i) + " " + std::to_string(i * 7 % 101) + (i % 2 ? " Ramp" : " Step") + "\r\n";
    return text;
}

// The tick with every device in the middle of a program of 10, 1,000 and 16,000 lines. The
// first tick reads the six programs (as the first after any change of a program does): it is
// given on its own, and the others are timed.
void BM_TickByProgramLength(benchmark::State& state) {
    Application();
    const int lines = static_cast<int>(state.range(0));
    SixDevices devices(true, false, true, ProgramOfLines(lines));
    devices.MoveProgramsOn(std::chrono::minutes(lines / 2));
    const double start = ThreadCpuSeconds();
    devices.Tick();
    const double firstTick = ThreadCpuSeconds() - start;
    TimeTicks(state, devices);
    state.counters["first_tick_ms"] = firstTick * 1e3;
}
BENCHMARK(BM_TickByProgramLength)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(16000)
    ->ArgName("lines")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// One on-screen log line (the time stamp, the line handed to the window, the line appended
// and flushed to the screen log file).
void TimeScreenLogLines(benchmark::State& state, TEngine& engine) {
    const std::string text = "         Setpoint, % : 42.5";
    for (auto _ : state) engine.MM(text);
}

void BM_ScreenLogLineAtStart(benchmark::State& state) {
    Application();
    SixDevices devices;
    TimeScreenLogLines(state, devices.Engine());
    state.counters["screen_log_MB"] = FileBytes(devices.Engine().ScreenLogFile()) / 1e6;
}
BENCHMARK(BM_ScreenLogLineAtStart)->Iterations(200000)->Unit(benchmark::kMicrosecond);

// Besides the resident size: the heap the week added, and how much of it the table takes
// (its lines and the numbers kept per line for the CSV export), in all and per day of
// lines, against the bytes of the lines themselves.
void BM_MemoryAfterAWeek(benchmark::State& state) {
    Application();
    const double before = ResidentMegabytes();
    const double heapBefore = HeapBytesInUse();
    for (auto _ : state) {
        WeekOld();
    }
    state.counters["rss_MB"] = ResidentMegabytes();
    state.counters["rss_before_week_MB"] = before;
    const TEngine& engine = WeekOld().Engine();
    const double days = std::chrono::duration<double, std::ratio<86400>>(kWeek).count();
    state.counters["table_lines"] = static_cast<double>(engine.DataTable().Size());
    state.counters["heap_growth_MB"] = (HeapBytesInUse() - heapBefore) / 1e6;
    state.counters["table_MB"] = static_cast<double>(engine.DataTableMemoryBytes()) / 1e6;
    state.counters["table_KB_per_day"] = static_cast<double>(engine.DataTableMemoryBytes()) / days / 1e3;
    state.counters["table_text_KB_per_day"] = static_cast<double>(engine.DataTable().RecordBytes()) / days / 1e3;
}
BENCHMARK(BM_MemoryAfterAWeek)->Iterations(1)->Unit(benchmark::kSecond);

// The tick after a week with the CSV file on, kept for the comparison with it off.
double gTickAfterAWeekWithCsv_us = 0;

void BM_TickAfterAWeek(benchmark::State& state) {
    Application();
    TimeTicks(state, WeekOld());
    gTickAfterAWeekWithCsv_us = state.counters["tick_us"];
}
BENCHMARK(BM_TickAfterAWeek)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

// The week's write calls: the on-screen log files (in bytes and write calls; at most one a
// tick), the once-a-minute log file, and the CSV file, which is written once. For comparison
// with BM_SavingTickAtAge's periodic_log_GB_so_far: what the once-a-minute log file would
// write if each save wrote the whole table as it stands, computed from the final table, which
// grows evenly.
void BM_WeekOfRecordingWrites(benchmark::State& state) {
    Application();
    SixDevices& devices = WeekOld();
    for (auto _ : state) benchmark::DoNotOptimize(devices.Week().Written);
    const TWeekWrites& week = devices.Week();
    const double csvWritten = week.Written - week.ScreenLogGrowth - week.PeriodicLog;
    double tableBytes = 0;
    tableBytes +=
        static_cast<double>(devices.Engine().DataTable().RecordBytes() + 2 * devices.Engine().DataTable().Size());
    const double saves = static_cast<double>(std::chrono::duration_cast<std::chrono::minutes>(kWeek).count());
    const double ticks = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(kWeek).count()) /
                         static_cast<double>(kTickStep.count());
    state.counters["written_MB"] = week.Written / 1e6;
    state.counters["screen_log_MB"] = week.ScreenLogGrowth / 1e6;
    state.counters["screen_log_writes_per_tick"] = week.ScreenLogWrites / ticks;
    state.counters["periodic_log_MB"] = week.PeriodicLog / 1e6;
    state.counters["csv_written_MB"] = csvWritten / 1e6;
    state.counters["csv_file_MB"] = week.CsvFile / 1e6;
    state.counters["csv_written_per_file_byte"] = week.CsvFile > 0 ? csvWritten / week.CsvFile : 0;
    state.counters["whole_table_saves_GB_computed"] = tableBytes * (saves + 1) / 2 / 1e9;
}
BENCHMARK(BM_WeekOfRecordingWrites)->Iterations(1);

// The week's lines went on growing the screen log file under its second name.
void BM_ScreenLogLineAfterAWeek(benchmark::State& state) {
    Application();
    TimeScreenLogLines(state, WeekOld().Engine());
    state.counters["week_screen_log_MB"] = WeekOld().Week().ScreenLogGrowth / 1e6;
}
BENCHMARK(BM_ScreenLogLineAfterAWeek)->Iterations(200000)->Unit(benchmark::kMicrosecond);

void BM_FlowDataSaveOfAWeek(benchmark::State& state) {
    Application();
    SixDevices& devices = WeekOld();
    std::size_t bytes = 0;
    bytes += devices.Engine().DataTable().RecordBytes() + 2 * devices.Engine().DataTable().Size();
    for (auto _ : state) devices.Engine().FlowDataSave(true, "Bench");
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_FlowDataSaveOfAWeek)->Iterations(5)->Unit(benchmark::kMillisecond);

// Last: it builds a second week-old engine, which takes the registry over from the first.
void BM_TickAfterAWeekWithoutCsv(benchmark::State& state) {
    Application();
    const double before = ResidentMegabytes();
    static const std::unique_ptr<SixDevices> devices = [] {
        auto built = std::make_unique<SixDevices>(false);
        built->RunAWeek();
        return built;
    }();
    state.counters["week_rss_growth_MB"] = ResidentMegabytes() - before;
    TimeTicks(state, *devices);
    if (gTickAfterAWeekWithCsv_us > 0)
        state.counters["with_csv_per_without"] = gTickAfterAWeekWithCsv_us / state.counters["tick_us"];
}
BENCHMARK(BM_TickAfterAWeekWithoutCsv)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

// The saving tick of a run 1, 7 and 30 days old, with the log folder writable all along (the
// pump on a direct setpoint, see SixDevices): the CPU and wall time of the tick that writes
// the periodic log file, the bytes each save writes, and all the periodic files have written
// since the start. Runs after the week-old engines and takes the registry over from them;
// the ages must come in ascending order.
void BM_SavingTickAtAge(benchmark::State& state) {
    Application();
    static const std::unique_ptr<SixDevices> devices = std::make_unique<SixDevices>(true, false, false);
    const double cpuBefore = ThreadCpuSeconds();
    devices->RunUntil(std::chrono::hours(24 * state.range(0)));
    state.counters["days_simulated_cpu_s"] = ThreadCpuSeconds() - cpuBefore;
    TimeTicks(state, *devices);
    state.counters["periodic_log_GB_so_far"] = static_cast<double>(devices->Engine().PeriodicLogBytesWritten()) / 1e9;
    double tableBytes = 0;
    tableBytes +=
        static_cast<double>(devices->Engine().DataTable().RecordBytes() + 2 * devices->Engine().DataTable().Size());
    state.counters["table_MB"] = tableBytes / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["max_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1e3;
}
BENCHMARK(BM_SavingTickAtAge)
    ->Arg(1)
    ->Arg(7)
    ->Arg(30)
    ->ArgName("days")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaro
