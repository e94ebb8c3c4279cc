#include "DeviceTestSupport.h"

#include <QLoggingCategory>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace tessaro::test {

namespace {

std::mutex& CaptureMutex() {
    static std::mutex mutex;
    return mutex;
}

std::multimap<std::string, std::string>& CapturedLines() {
    static std::multimap<std::string, std::string> lines;
    return lines;
}

}  // namespace

std::unique_ptr<sim::SimulatedInstrument> StartFixedReply(std::string reply, int delayMs) {
    return StartScripted([reply](std::string_view) { return reply; }, delayMs);
}

std::unique_ptr<sim::SimulatedInstrument> StartScripted(ScriptedModel::Script script, int delayMs) {
    sim::SimInstrumentOptions options;
    options.ReplyDelayMs = delayMs;
    return std::make_unique<sim::SimulatedInstrument>(std::make_unique<ScriptedModel>(std::move(script)), options);
}

void UseQuickTiming(TSerialPort& port, std::uint32_t pollMs, std::uint32_t timeoutMs) {
    port.fWindowsReadLoopTimeoutMS = pollMs;
    port.fReadoutTimeoutMS = timeoutMs;
}

void UseContinuousPolling(TSerialPort& port) { port.fWindowsReadLoopTimeoutMS = 0; }

DiagnosticCapture::DiagnosticCapture() {
    {
        std::lock_guard lock(CaptureMutex());
        CapturedLines().clear();
    }
    // The program's channels say only warnings unless switched on; Qt's own stay as they are.
    QLoggingCategory::setFilterRules("*=true\nqt.*=false");
    previous_ = qInstallMessageHandler(&DiagnosticCapture::Handler);
}

DiagnosticCapture::~DiagnosticCapture() {
    qInstallMessageHandler(previous_);
    QLoggingCategory::setFilterRules(QString());
}

void DiagnosticCapture::Handler(QtMsgType, const QMessageLogContext& context, const QString& message) {
    std::lock_guard lock(CaptureMutex());
    CapturedLines().emplace(context.category ? context.category : "", message.toStdString());
}

std::vector<std::string> DiagnosticCapture::Lines(const std::string& channel) const {
    std::lock_guard lock(CaptureMutex());
    std::vector<std::string> lines;
    const auto [first, last] = CapturedLines().equal_range(channel);
    for (auto it = first; it != last; ++it) lines.push_back(it->second);
    return lines;
}

bool DiagnosticCapture::Contains(const std::string& channel, const std::string& part) const {
    for (const std::string& line : Lines(channel))
        if (line.find(part) != std::string::npos) return true;
    return false;
}

MessageCapture::MessageCapture() {
    previous_ = SetMessageSink([this](const std::string& text) {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    });
}

MessageCapture::~MessageCapture() { SetMessageSink(std::move(previous_)); }

std::vector<std::string> MessageCapture::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaro-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace tessaro::test
