#pragma once
// Shared pieces of the device tests: instruments on pseudo-terminals with scripted
// replies, collectors for the diagnostic channels and operator messages, and a
// temporary directory.

#include <QtGlobal>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clock/Clock.h"
#include "serial/SerialPort.h"
#include "sim/InstrumentModel.h"
#include "sim/SimulatedInstrument.h"
#include "text/Messages.h"

namespace tessaro::test {

// An instrument whose every answer is decided by the test.
class ScriptedModel : public sim::InstrumentModel {
public:
    using Script = std::function<std::optional<std::string>(std::string_view line)>;
    explicit ScriptedModel(Script script) : script_(std::move(script)) {}
    std::optional<std::string> Answer(std::string_view line, double) override { return script_(line); }
    std::string Describe() const override { return "scripted instrument"; }

private:
    Script script_;
};

// The same reply to every command.
std::unique_ptr<sim::SimulatedInstrument> StartFixedReply(std::string reply, int delayMs = 5);
std::unique_ptr<sim::SimulatedInstrument> StartScripted(ScriptedModel::Script script, int delayMs = 5);

// Poll interval and reply time-out short enough for quick tests.
void UseQuickTiming(TSerialPort& port, std::uint32_t pollMs = 20, std::uint32_t timeoutMs = 150);

// For an answering instrument while a fake clock is installed: the port looks for reply
// bytes without pausing, so a reply is read as soon as it arrives in real time whatever
// the fake clock does. Only for instruments that answer: the time-out runs on the fake
// clock, which nothing moves during such an exchange.
void UseContinuousPolling(TSerialPort& port);

// A fake clock, installed while it lives, that moves itself on through every Sleep: the
// one thread under test runs through its pauses and time-outs at once, and the test reads
// how much program time they took.
class SelfAdvancingClock {
public:
    SelfAdvancingClock() { Clock.SetAdvanceOnSleep(true); }
    std::chrono::milliseconds Elapsed() const { return Clock.Monotonic(); }

    TFakeClock Clock;

private:
    TScopedClock installed_{Clock};
};

// Switches every diagnostic channel on and collects its lines while it lives.
class DiagnosticCapture {
public:
    DiagnosticCapture();
    ~DiagnosticCapture();
    std::vector<std::string> Lines(const std::string& channel) const;
    bool Contains(const std::string& channel, const std::string& part) const;

private:
    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    QtMessageHandler previous_;
};

// Collects operator messages while it lives.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    std::vector<std::string> Messages() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    MessageSink previous_;
};

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace tessaro::test
