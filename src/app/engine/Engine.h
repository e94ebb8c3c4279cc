#pragma once
// The run engine and everything that runs on its clock: the one-second tick that hands
// setpoints to the workers and collects achieved flows, the run commands, the data table
// and its log files, start-up and shutdown. No widgets: it talks to the window through
// TWindowPort, so the whole program can run headless under a QCoreApplication with a fake
// clock. Window thread only.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/WindowPort.h"

namespace tessaro {

struct TEngineSettings {
    // Where "Logs" and "Segment Programs" live.
    std::filesystem::path DataFolder;
    // The separator of numbers the operator reads (log lines, data table).
    char DecimalSeparator = '.';
    // The short sleeps of the tick (10 ms per handled device, the 30 ms rule); benchmarks
    // switch them off.
    bool Sleeps = true;
    // How long shutdown waits for workers that still have to confirm their stop.
    std::chrono::milliseconds ShutdownBound{30000};
};

class TEngine {
public:
    TEngine(TWindowPort& window, TEngineSettings settings);

    // The tick, every 1000 ms.
    void TimerEngineTimer();

    // Run control, over the selected rows of the device list.
    void ButtonSegmentProgramStartClick();
    void ButtonSegmentProgramStopClick();
    void ButtonApplyFlowClick();
    void RtDoubleEditDirectControlDesiredFlowValueChanged(double value);
    void Resetsoftware1Click();

    // Recording.
    void DataTableColumns();
    void FlowDataSave(bool ForceSave, const std::string& Suffix);
    void SetTimeUnit(const std::string& aUnit);
    void Autoscrolltolastline1Click();
    // The device search empties the table (after saving it) and asks for a new header.
    void ClearDataTable();

    // Start-up (the steps that draw nothing) and shutdown.
    void FormCreate();
    void FormClose();
    bool TerminateThreads();
    void RequestThreadsStop();
    int ActiveThreadCount() const;

    // The on-screen log: the local time stamp and `text` as one line.
    void MM(const std::string& text);

    // Read by the window.
    const std::vector<std::string>& DataTable() const { return dataTable_; }
    double TimeFactor() const { return timeFactor_; }
    const std::string& TimeUnitSymbol() const { return timeUnitSymbol_; }
    bool AutoScroll() const { return autoScroll_; }
    // Minutes on the graph's time axis for the monotonic instant `at` (0 before the first
    // start).
    double GraphMinutes(std::chrono::milliseconds at) const;
    const TEngineSettings& Settings() const { return settings_; }

    // Set by the device search and by every configuration of a device.
    bool DataHeaderPending = true;

private:
    TWindowPort& window_;
    TEngineSettings settings_;
    std::vector<std::string> dataTable_;
    double timeFactor_ = 1;
    std::string timeUnitSymbol_ = "m";
    bool autoScroll_ = false;
    // Durations are measured on the monotonic clock; wall-clock time is only shown.
    std::optional<std::chrono::milliseconds> graphStart_;
    std::optional<std::chrono::milliseconds> lastDataLine_;
    std::optional<std::chrono::milliseconds> lastLogSave_;
};

}  // namespace tessaro
