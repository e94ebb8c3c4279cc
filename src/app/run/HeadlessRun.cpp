#include "run/HeadlessRun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <cmath>
#include <exception>
#include <functional>
#include <thread>

#include "engine/Clock.h"
#include "engine/EngineTimer.h"
#include "mfc/AlicatMFCThread.h"
#include "mqtt/MqttPublishing.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/ExitCodes.h"
#include "run/RunEnd.h"
#include "run/RunStart.h"
#include "run/StopSignals.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

std::uint32_t FailedPasses(const TDeviceInfo& device) {
    if (device.ThreadMFC != nullptr) return device.ThreadMFC->GUIIn.FailedPasses;
    if (device.ThreadPump != nullptr) return device.ThreadPump->GUIIn.FailedPasses;
    return 0;
}

std::string Minutes(std::chrono::milliseconds duration) {
    return FormatGeneral(std::round(static_cast<double>(duration.count()) / 6000.0) / 10.0) + " min";
}

// The run's tick once a second of the program's monotonic clock: a thread sleeps on the
// clock until each second and has the tick run on the thread of `context`, waiting until it
// has run. Seconds count from the start, so the ticks do not drift; a tick that outlasts its
// second lets the seconds it covered pass without a tick of their own.
class TClockTicks {
public:
    TClockTicks(QObject& context, std::chrono::milliseconds interval, std::function<void()> tick)
        : thread_([this, &context, interval, tick = std::move(tick)] {
              std::chrono::milliseconds next = MonotonicNow() + interval;
              for (;;) {
                  CurrentClock().Sleep(std::max(next - MonotonicNow(), std::chrono::milliseconds(0)), stop_);
                  if (stop_) break;
                  QMetaObject::invokeMethod(&context, tick, Qt::BlockingQueuedConnection);
                  const std::chrono::milliseconds now = MonotonicNow();
                  while (next <= now) next += interval;
              }
              ended_ = true;
          }) {}
    // A tick on its way is served (and finds the run ending) while the thread ends.
    ~TClockTicks() {
        stop_ = true;
        while (!ended_) {
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        thread_.join();
    }
    TClockTicks(const TClockTicks&) = delete;
    TClockTicks& operator=(const TClockTicks&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace

void THeadlessConsole::AppendLogLine(const std::string& line) { out_ << line << std::endl; }

void THeadlessConsole::ShowNotice(const std::string& text) { err_ << text << std::endl; }

THeadlessRun::THeadlessRun(TEngine& engine, std::ostream& err, THeadlessSettings settings, TRunDeviceFinder finder)
    : engine_(engine), err_(err), settings_(std::move(settings)), finder_(std::move(finder)) {}

THeadlessRun::~THeadlessRun() = default;

std::optional<int> THeadlessRun::Begin() {
    const TRunStart start = StartRunFile(engine_, settings_.RunFile, finder_, settings_.ResumeInterruptedRun,
                                         [this](const TRunFile& run) { StartPublishing(run); });
    if (start.ExitCode != kExitOk) {
        err_ << (start.ExitCode == kExitDataError ? "The run file is not valid:" : "The run cannot start:") << '\n';
        for (const std::string& problem : start.Problems) err_ << problem << '\n';
        err_.flush();
        ending_ = true;
        return start.ExitCode;
    }
    giveUpAfter_s_ = start.GiveUpAfter_s;
    ports_ = start.StartedPorts;
    started_ = lastProgress_ = MonotonicNow();
    for (const TDeviceInfo& device : DevicesLocal())
        if (device.IsConfigured()) lastAnswer_[device.COMPort] = started_;
    return std::nullopt;
}

std::optional<int> THeadlessRun::AfterTick() {
    if (ending_) return std::nullopt;
    if (MonotonicNow() - lastProgress_ >= kProgressInterval) ReportProgress();
    if (const std::optional<std::string> silent = DeviceGivenUp()) {
        End(*silent + " has not answered for more than " + FormatGeneral(*giveUpAfter_s_) +
            " s: every other device is stopped and the run ends");
        return kExitTempFail;
    }
    if (DurationPassed())
        return End("The run's duration of " + FormatGeneral(*settings_.Duration_min) + " min has passed");
    if (EveryProgramEnded()) return End("Every program has ended");
    return std::nullopt;
}

int THeadlessRun::StopForSignal(int signal) {
    if (ending_) return kExitOk;
    return End(SignalName(signal) + " received: every flow is stopped and the run ends");
}

int THeadlessRun::End(const std::string& why) {
    ending_ = true;
    const TRunEnd end = EndRunWithStopAll(engine_, why, [this] { publishing_.reset(); });
    if (!end.Unconfirmed.empty()) {
        err_ << "No confirmation of the stop from:";
        for (const std::string& name : end.Unconfirmed) err_ << ' ' << name;
        err_ << std::endl;
    }
    return end.ExitCode;
}

std::optional<std::string> THeadlessRun::DeviceGivenUp() {
    const std::chrono::milliseconds now = MonotonicNow();
    std::optional<std::string> silent;
    for (const TDeviceInfo& device : DevicesLocal()) {
        if (!device.IsConfigured()) continue;
        if (FailedPasses(device) == 0) {
            lastAnswer_[device.COMPort] = now;
            continue;
        }
        const auto last = lastAnswer_.try_emplace(device.COMPort, now).first->second;
        if (giveUpAfter_s_ && !silent && now - last > std::chrono::duration<double>(*giveUpAfter_s_))
            silent = DeviceCaption(device.NameRole, device.COMPort);
    }
    return silent;
}

bool THeadlessRun::EveryProgramEnded() const {
    for (const std::string& port : ports_) {
        TDeviceInfo device;
        if (FindDevice(port, device) && device.IsConfigured() && device.ControlMode == dcmSegment && !device.Run.Ended)
            return false;
    }
    return true;
}

bool THeadlessRun::DurationPassed() const {
    return settings_.Duration_min &&
           MonotonicNow() - started_ >= std::chrono::duration<double, std::ratio<60>>(*settings_.Duration_min);
}

void THeadlessRun::StartPublishing(const TRunFile& run) {
    std::optional<std::string> address = settings_.MqttAddress;
    if (!address && run.Mqtt) address = run.Mqtt->Host + ":" + std::to_string(run.Mqtt->Port);
    if (!address) return;
    // The run file's "mqtt" rig already defaults to its "rig".
    const std::string rig = settings_.Rig.value_or(run.Mqtt ? run.Mqtt->Rig : run.Rig);
    std::string error;
    const std::optional<TMqttSettings> mqtt = ParseMqttAddress(*address, rig, error);
    if (!mqtt) {
        err_ << "Not publishing to MQTT: " << error << std::endl;
        return;
    }
    publishing_ = StartMqttPublishing(engine_, *mqtt);
}

void THeadlessRun::ReportProgress() {
    lastProgress_ = MonotonicNow();
    std::string line = "Progress after " + Minutes(lastProgress_ - started_) + ":";
    for (const TChartLegendEntry& entry : engine_.ChartLegend())
        line += " " + entry.Planned + "; " + entry.Achieved + ".";
    engine_.MM(line);
}

int RunHeadless(const THeadlessSettings& settings, TEngineSettings engineSettings, std::ostream& out,
                std::ostream& err) {
    THeadlessConsole console(out, err);
    TEngine engine(console, std::move(engineSettings));
    THeadlessRun run(engine, err, settings, SystemRunDeviceFinder());
    int exitCode = kExitSoftware;
    QEventLoop loop;
    const auto finish = [&](int code) {
        exitCode = code;
        loop.exit();
    };
    // Nothing thrown may leave a slot into Qt's event loop: it ends the run as an internal
    // error, with every device stopped as well as it still can be.
    const auto guarded = [&](const auto& step) {
        try {
            step();
        } catch (const std::exception& error) {
            err << "Internal error: " << error.what() << std::endl;
            if (!run.Ending()) {
                try {
                    EndRunWithStopAll(engine, std::string("Internal error: ") + error.what());
                } catch (const std::exception&) {
                }
            }
            finish(kExitSoftware);
        }
    };
    bool begun = false;
    guarded([&] {
        engine.FormCreate();
        // A run that did not end cleanly had its devices stopped by the start-up: say so.
        if (const TInterruptedRunCheck& check = engine.StopInterruptedRun(); !check.Report.empty())
            err << check.ReportText() << std::endl;
        if (const std::optional<int> code = run.Begin())
            exitCode = *code;
        else
            begun = true;
    });
    if (!begun) return exitCode;

    TEngineTimer ticks(engine);
    TStopSignals stopSignals([&](int signal) {
        if (run.Ending()) return;
        guarded([&] { finish(run.StopForSignal(signal)); });
    });
    if (!stopSignals.Installed()) err << "Stop signals are not handled: " << stopSignals.Error() << std::endl;
    const TClockTicks clockTicks(loop, std::chrono::milliseconds(TEngineTimer::kIntervalMs), [&] {
        if (run.Ending()) return;
        guarded([&] {
            ticks.Tick();
            if (const std::optional<int> code = run.AfterTick()) finish(*code);
        });
    });
    loop.exec();
    return exitCode;
}

}  // namespace tessaro
