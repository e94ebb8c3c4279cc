#pragma once
// `tessaro --run FILE --headless`: a run without a window under a QCoreApplication. It
// starts every program of the run file at once, records as the window does, writes the
// on-screen log (a progress line a minute among it) to standard output and every alarm and
// problem to standard error, and ends with "Stop all flows" once every program has ended,
// the --duration has passed, a device has not answered for longer than the file's
// give_up_after_s, or a stop signal came.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/WindowPort.h"
#include "run/RunFile.h"

namespace tessaro {

// The window of a headless run: the on-screen log goes to `out` line by line, notices
// (alarms and problems) to `err`.
class THeadlessConsole : public TNullWindowPort {
public:
    THeadlessConsole(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void AppendLogLine(const std::string& line) override;
    void ShowNotice(const std::string& text) override;

private:
    std::ostream& out_;
    std::ostream& err_;
};

struct THeadlessSettings {
    std::filesystem::path RunFile;
    std::optional<double> Duration_min;
    // --resume, for the safe restart: the interrupted run's programs go on.
    bool ResumeInterruptedRun = false;
    // --mqtt HOST[:PORT] and --rig NAME; without --mqtt the run file's "mqtt" object, if any.
    std::optional<std::string> MqttAddress;
    std::optional<std::string> Rig;
};

inline constexpr std::chrono::minutes kProgressInterval{1};

// The decisions of one headless run, made between the engine's ticks; RunHeadless drives it
// on the event loop, tests drive it on a fake clock.
class TMqttPublishing;

class THeadlessRun {
public:
    THeadlessRun(TEngine& engine, std::ostream& err, THeadlessSettings settings, TRunDeviceFinder finder);
    ~THeadlessRun();

    // Reads the run file, finds and configures its devices and starts every program. The
    // exit code when the run could not start (the reasons on standard error).
    std::optional<int> Begin();
    // After each engine tick: a progress line once a minute, and the end of the run when it
    // is due. The exit code once the run has ended.
    std::optional<int> AfterTick();
    // SIGTERM, SIGINT or SIGHUP: the run ends at once. The exit code.
    int StopForSignal(int signal);
    // Whether the run has ended (or is ending): later ticks and signals change nothing.
    bool Ending() const { return ending_; }

private:
    int End(const std::string& why);
    // The device that has not answered for longer than the run file allows, if any.
    std::optional<std::string> DeviceGivenUp();
    bool EveryProgramEnded() const;
    bool DurationPassed() const;
    void ReportProgress();
    // Publishing is never needed for the run: settings it cannot use are told and the run goes on.
    void StartPublishing(const TRunFile& run);

    TEngine& engine_;
    std::ostream& err_;
    THeadlessSettings settings_;
    TRunDeviceFinder finder_;
    std::optional<double> giveUpAfter_s_;
    std::vector<std::string> ports_;  // the devices whose programs run
    std::chrono::milliseconds started_{0};
    std::chrono::milliseconds lastProgress_{0};
    std::map<std::string, std::chrono::milliseconds> lastAnswer_;  // by port, monotonic
    bool ending_ = false;
    std::unique_ptr<TMqttPublishing> publishing_;
};

// The whole run on the event loop, with the engine's one-second tick and the stop signals;
// needs a QCoreApplication. Returns the exit code.
int RunHeadless(const THeadlessSettings& settings, TEngineSettings engineSettings, std::ostream& out,
                std::ostream& err);

}  // namespace tessaro
