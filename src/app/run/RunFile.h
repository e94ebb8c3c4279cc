#pragma once
// The run file: one JSON file that says, for every device of a run, what the Configure and
// "Design segments" pages say (port or serial number, kind, name, colour, gas or fluid, flow
// unit, syringe, program and its run settings), so a run can be repeated exactly, from the
// window's File menu or without a window. Reading checks the whole file and reports every
// problem at once; applying finds every device before it configures any.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/DeviceSearch.h"
#include "engine/SegmentFiles.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "registry/ColorNames.h"
#include "segments/SegmentProgram.h"

namespace tessaro {

class TEngine;

// Values of "kind".
inline constexpr const char* kRunKindFlowController = "flow controller";  // Kestra and demo controllers
inline constexpr const char* kRunKindPump = "pump";
// Values of "end".
inline constexpr const char* kRunEndZero = "zero";
inline constexpr const char* kRunEndKeep = "keep";

// A flow unit: a mass unit ("g/min") has no reference conditions; a volumetric one has both.
struct TRunUnit {
    std::string Name = "g/min";
    std::optional<double> TemperatureC;
    std::optional<double> PressureBar;
    bool IsMass() const { return !TemperatureC && !PressureBar; }
    bool operator==(const TRunUnit&) const = default;
};

struct TRunDevice {
    // Exactly one of the two names the device: its port as the port list shows it, or the
    // serial number its probe reports (then it is found by a search).
    std::string Port;
    std::string Serial;
    bool IsPump = false;  // "kind"
    std::string Name;
    TRtColor Color = kBlack;
    std::string Fluid;  // a short name of the gas table ("gas" or "fluid")
    TRunUnit Unit;      // flow controllers
    // The program text, from "program" or read from "program_file"; empty: none.
    std::string Program;
    int Repeat = 1;
    TSegProgTermination End = TSegProgTermination::tspttZero;
    double HoldbackBand_pct = 0;
    double LongestHold_s = 60;
    double AlarmBand_pct = 5;
    double AlarmDelay_s = 30;
    // Pumps.
    double Syringe_µL = 0;
    double FluidTemperatureC = 20;
    bool operator==(const TRunDevice&) const = default;
};

// Where the run's state is published (read and checked here; the publisher uses it).
struct TRunMqtt {
    std::string Host;
    int Port = 1883;
    std::string Rig;
    bool operator==(const TRunMqtt&) const = default;
};

struct TRunFile {
    std::string Rig;
    std::vector<TRunDevice> Devices;
    // A device that has not answered for this long ends the run; none: never.
    std::optional<double> GiveUpAfter_s;
    std::optional<TRunMqtt> Mqtt;
    bool operator==(const TRunFile&) const = default;
};

// The run, or every problem found, each as "<file>: <key path>: <what was expected>".
struct TRunFileRead {
    std::optional<TRunFile> Run;
    std::vector<std::string> Problems;
};

// Reads and checks the whole file. A key the reader does not know is a problem too, so a
// mistyped key is never silently passed over.
TRunFileRead ReadRunFile(const std::filesystem::path& path);
// The same for the file's bytes; `path` names the file in the problems and is the folder
// "program_file" is relative to.
TRunFileRead ParseRunFile(const std::string& bytes, const std::filesystem::path& path);

// The run as a JSON document (programs inline); ParseRunFile reads it back unchanged.
std::string RunFileText(const TRunFile& run);
// Written atomically; false, with the system's reason in `error`, when it was not.
bool WriteRunFile(const std::filesystem::path& path, const TRunFile& run, std::string& error);

// What `tessaro --list-gases` prints: per line a short name of the gas table, a tab and its
// long name.
std::string GasListText();

// How the devices of a run are found: a port the registry lacks is probed; a device named by
// its serial number is looked for among the registry's devices and then in a search of the
// ports. Tests hand in their own probe and search.
struct TRunDeviceFinder {
    std::function<TPortProbe(const std::string& port)> Probe;
    // Every instrument answering on the system's ports, as the device search probes them.
    std::function<std::vector<TPortProbe>()> Search;
};
// ProbePort, and a search that probes every port `ports` lists (and the registry lacks) at
// once.
TRunDeviceFinder ProbingRunDeviceFinder(TPortLister ports);
// The same over the system's ports (ListComPorts).
TRunDeviceFinder SystemRunDeviceFinder();

// Finds every device of the run first; when one cannot be found or does not answer as its
// kind, nothing is configured and the problems come back. Then configures each device as
// "Apply" on the Configure tab does and loads its program and run settings. Nothing starts:
// every device is idle. An empty result: the run is ready to start.
std::vector<std::string> ApplyRunFile(TEngine& engine, const TRunFile& run, const TRunDeviceFinder& finder);

// The configured devices as a run file would name them, by port, with their programs.
TRunFile RunFileFromEngine(const TEngine& engine);

// File → "Open run file…" and "Save run file…" of the window, and what their dialogs open
// with (the data folder, JSON files).
TFileDialogRequest RunFileDialog(const TEngine& engine);
// Reads the file and applies it; the problems are told in the on-screen log too. `Rows`: the
// device list afterwards (a device the file found joins it).
struct TRunFileOpened {
    bool Applied = false;
    std::vector<std::string> Problems;
    std::vector<TDeviceRowTexts> Rows;
};
TRunFileOpened OpenRunFile(TEngine& engine, const std::filesystem::path& path, const TRunDeviceFinder& finder);
// Writes RunFileFromEngine; the outcome goes to the on-screen log. False, with the reason in
// `error`, when the file was not written.
bool SaveRunFile(TEngine& engine, const std::filesystem::path& path, std::string& error);

// The ports of the run's devices once applied, in the file's order (for starting them).
std::vector<std::string> RunPorts(const TRunFile& run);

}  // namespace tessaro
