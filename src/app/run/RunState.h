#pragma once
// The run's state file: while programs run, a small JSON file in the data folder says which
// devices run which program, where each program stands (program time, holds, cycle) and when
// it was written, so that a start after a crash or a power cut can stop those devices first
// and, if the operator wants, let the programs continue where they were. It is written
// atomically, so a crash never leaves half a file; a clean end removes it.

#include <QDateTime>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "registry/ColorNames.h"
#include "segments/ProgramRun.h"
#include "segments/ProgramText.h"

namespace tessaro {

// Declared here without the registry's header: the window's headers include this one, and
// the window's meta-object compiler cannot read the registry's names with "µ" in them.
enum tDeviceType : std::uint8_t;
struct TDeviceInfo;

inline constexpr const char* kRunStateFileName = "Tessaro run state.json";
// What the file's "format" key holds; a JSON file without it is not one of ours.
inline constexpr const char* kRunStateFormat = "Tessaro run state";
inline constexpr int kRunStateVersion = 1;
// The tick writes the file at most this often while programs run.
inline constexpr std::chrono::milliseconds kRunStateInterval{10000};
// A state file larger than this is no state file of this program.
inline constexpr std::uintmax_t kRunStateMaximumBytes = 1 << 20;

// One device that runs a program: what is needed to configure it again and to go on with
// its program.
struct TRunStateDevice {
    std::string Port;
    tDeviceType Kind{};  // dtMFCA
    std::string Name;
    std::string Serial;
    TRtColor Color = 0xFF000000;  // black
    std::int32_t FluidID = -1;
    // The operator's flow unit (flow controllers).
    std::string UnitName;
    bool UnitIsGrams = true;
    double UnitTemperatureC = 0;
    double UnitPressureBar = 0;
    // Pumps.
    double SyringeSize_µL = 0;
    double FluidTemperatureC = 0;
    // The program and its run settings.
    TProgramText Program;
    TSegProgTermination End = TSegProgTermination::tspttZero;
    int Repeat = 1;
    double HoldbackBand_pct = 0;
    double LongestHold_s = 60;
    double AlarmBand_pct = 5;
    double AlarmDelay_s = 30;
    // Where the program stood at the write: its program time, the pauses it had (a holdback
    // in progress counts as ended), whether the operator held it and for how long so far.
    double StartedDays = 0;  // local date-time of the program's start, as FlowStartTime
    double ProgramTime_min = 0;
    double Paused_min = 0;
    std::vector<TStandStill> StandStills;
    bool Held = false;
    double HeldFor_min = 0;
    int Cycle = 1;
    bool Ended = false;

    bool operator==(const TRunStateDevice&) const = default;
};

struct TRunState {
    QDateTime Written;  // the wall-clock time of the write
    std::vector<TRunStateDevice> Devices;
};

// A configured device runs a program while it is in segment mode; one that has passed its
// end still gives its end setpoint and is named too.
bool RunsProgram(const TDeviceInfo& device);
// Whether any program has not reached its end yet: while one has, the file is kept.
bool AnyProgramRunning(const std::vector<TDeviceInfo>& devices);
// The devices of `devices` that run a program, as they stand now (the current clock).
TRunState RunStateNow(const std::vector<TDeviceInfo>& devices);
TRunStateDevice RunStateDeviceOf(const TDeviceInfo& device);

// The file's text, and back. `problems` collects every fault found, each with its key's
// path ("devices[1].kind: unknown kind \"MFC-X\""); a device with a fault is left out, the
// others are kept. False when the text is no state file at all (not JSON, another format, a
// newer version); `problems` then says why.
std::string RunStateJson(const TRunState& state);
bool ParseRunState(std::string_view text, TRunState& state, std::vector<std::string>& problems);

// The kind as the file names it ("MFC-A", "Pump", "MFC"), and back.
std::string RunStateKindName(tDeviceType kind);
bool RunStateKindOfName(std::string_view name, tDeviceType& kind);

// Writes the file atomically (see WriteFileAtomically for `toDisk`); false with the
// system's reason in `error`.
bool WriteRunStateFile(const std::filesystem::path& path, const TRunState& state, std::string& error,
                       bool toDisk = true);

}  // namespace tessaro
