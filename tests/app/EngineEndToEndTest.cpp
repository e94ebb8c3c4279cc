// The engine with real workers against a simulated flow controller on a pseudo-terminal,
// driven by its timer; the workers' waits, the controller's replies and its flow's lag, and
// the close's bound run on simulated time.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <charconv>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"
#include "sim/SimulatedPump.h"
#include "sim/SimulatedTime.h"
#include "text/Messages.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNitrogen = 8;
constexpr double kNitrogenMolarMass = 28.0134;

// The controller's cell of a data line, when it holds a number.
std::optional<double> CellValue(const std::string& line) {
    if (line.size() < 38 || !line.starts_with(" ")) return std::nullopt;
    std::string_view cell(line.data() + 23, 15);
    cell.remove_prefix(std::min(cell.find_first_not_of(' '), cell.size()));
    double value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc() || end != cell.data() + cell.size()) return std::nullopt;
    return value;
}

class EngineEndToEndTest : public ::testing::Test {
protected:
    EngineEndToEndTest()
        : controller_(std::make_unique<sim::SimulatedMfc>(sim::SimMfcConfig{}), sim::SimInstrumentOptions{}) {
        InitializeModules();
        TDeviceInfo device = NewFoundDevice(controller_.PortName(), dtMFCA, "100001");
        device.NameRole = "Nitrogen";
        device.FluidID = kNitrogen;
        // Millilitres per minute of nitrogen at 25 ºC and 1.01325 bar.
        device.FlowUnitUser = FlowUnitMlnAir().Clone();
        device.FlowUnitUser.GasName = "N2";
        device.FlowUnitUser.GasMolarMass = kNitrogenMolarMass;
        device.ControlMode = dcmIdle;
        device.SegmentProgram = "0 40 Step\r\n60 40 Step";
        DevicesLocal() = {device};

        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.ShutdownBound = 3s;
        engine_ = std::make_unique<TEngine>(window_, settings);
        timer_ = std::make_unique<TEngineTimer>(*engine_);
        // Simulated time runs ahead of real time: the engine ticks often enough in real time
        // to take in what the worker brings without waiting.
        timer_->TimerEngine().setInterval(20);
    }
    ~EngineEndToEndTest() override {
        timer_.reset();
        for (TDeviceInfo& device : DevicesLocal()) delete device.ThreadMFC;
        DevicesLocal().clear();
    }

    TDeviceInfo& Device() { return DevicesLocal()[0]; }
    double SetpointCounts() {
        double counts = -1;
        controller_.WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    }
    std::optional<double> LastReading() const {
        const std::vector<std::string>& table = engine_->DataTable().All();
        return table.empty() ? std::nullopt : CellValue(table.back());
    }

    sim::SimulatedTime time_;  // first in, last out: every wait runs on it
    sim::SimulatedInstrument controller_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
    std::unique_ptr<TEngineTimer> timer_;
};

TEST_F(EngineEndToEndTest, ProgramReachesTheControllerAndItsFlowComesBackInTheUsersUnit) {
    engine_->FormCreate();
    ASSERT_TRUE(Device().StartThread());
    timer_->Start();

    engine_->ButtonSegmentProgramStartClick({controller_.PortName()});
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts() == 0.4 * 64000; }));

    // 40 % of the controller's 1 slpm of nitrogen is 400 ml/min.
    ASSERT_TRUE(test::ServeUntil([&] {
        const std::optional<double> reading = LastReading();
        return reading && std::abs(*reading - 400) < 4;
    })) << (engine_->DataTable().All().empty() ? "no data line" : engine_->DataTable().All().back());
    EXPECT_EQ(engine_->DataTable().All()[2].substr(23), "         ml/min | ");

    engine_->ButtonSegmentProgramStopClick({controller_.PortName()});
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts() == 0; }));

    const auto closing = time_.Elapsed();
    engine_->FormClose();
    EXPECT_LT(time_.Elapsed() - closing, engine_->Settings().ShutdownBound);
    EXPECT_EQ(Device().ThreadMFC, nullptr);
    EXPECT_TRUE(messages_.messages.empty());
    bool closeFile = false;
    for (const auto& entry : fs::directory_iterator(engine_->LogsFolder()))
        closeFile = closeFile || entry.path().filename().string().ends_with(" log OnClose.txt");
    EXPECT_TRUE(closeFile);
}

TEST_F(EngineEndToEndTest, CloseEndsAfterTheBoundWhenTheControllerFallsSilent) {
    ASSERT_TRUE(Device().StartThread());
    timer_->Start();
    engine_->ButtonApplyFlowClick({controller_.PortName()});
    ASSERT_TRUE(test::ServeUntil([&] { return LastReading().has_value(); }));

    controller_.SetFault(sim::SimFault::Silent);
    const auto closing = time_.Elapsed();
    engine_->FormClose();
    const auto took = time_.Elapsed() - closing;

    EXPECT_GE(took, engine_->Settings().ShutdownBound);
    // Abandoned, the worker leaves after the exchange it is in.
    EXPECT_LT(took, engine_->Settings().ShutdownBound + 5s);
    EXPECT_EQ(Device().ThreadMFC, nullptr);
    EXPECT_TRUE(messages_.messages.empty());
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_TRUE(window_.Notices[0].starts_with(kEmergencyText)) << window_.Notices[0];
}

// A message box that nobody clicks for `open`: the message is shown on the window thread in
// a nested event loop, as a modal box is, while a worker that raised it waits.
class UnclickedMessageBoxes {
public:
    explicit UnclickedMessageBoxes(std::chrono::milliseconds open)
        : previous_(SetMessageSink([this, open](const std::string& text) {
              QCoreApplication* app = QCoreApplication::instance();
              const auto present = [this, open, text] {
                  shown_.push_back(text);
                  QEventLoop box;
                  QTimer::singleShot(open, &box, &QEventLoop::quit);
                  box.exec();
              };
              if (QThread::currentThread() == app->thread())
                  present();
              else
                  QMetaObject::invokeMethod(app, present, Qt::BlockingQueuedConnection);
          })) {}
    ~UnclickedMessageBoxes() { SetMessageSink(std::move(previous_)); }

    // Window thread only.
    const std::vector<std::string>& Shown() const { return shown_; }

private:
    std::vector<std::string> shown_;
    MessageSink previous_;
};

// The pump falls silent the moment the close begins.
class PumpSilencingWindow : public test::RecordingWindowPort {
public:
    explicit PumpSilencingWindow(sim::SimulatedInstrument& pump) : pump_(pump) {}
    void BeginShutdownWait(const std::string& caption, const std::string& panelText) override {
        pump_.SetFault(sim::SimFault::Silent);
        RecordingWindowPort::BeginShutdownWait(caption, panelText);
    }

private:
    sim::SimulatedInstrument& pump_;
};

TEST(EngineCloseTest, APumpFallingSilentDuringTheCloseRaisesNoBoxAndTheCloseEndsWithinItsBound) {
    InitializeModules();
    sim::SimulatedTime time;  // the pump's motions, the worker's pauses and the close's bound
    sim::SimPumpConfig config;
    config.InitSeconds = 0.3;
    sim::SimulatedInstrument pump(std::make_unique<sim::SimulatedPump>(config), sim::SimInstrumentOptions{});
    TDeviceInfo device = NewFoundDevice(pump.PortName(), dtPump, "12345678");
    device.NameRole = "Humidifier";
    DevicesLocal() = {device};
    ASSERT_TRUE(DevicesLocal()[0].StartThread());
    TPSD4Thread* worker = DevicesLocal()[0].ThreadPump;

    QTemporaryDir folder;
    TEngineSettings settings;
    settings.DataFolder = fs::path(folder.path().toStdString());
    settings.ShutdownBound = 3s;
    PumpSilencingWindow window(pump);
    TEngine engine(window, settings);
    UnclickedMessageBoxes boxes(20s);
    // The worker has taken its first program, "TR": from then on it checks the pump.
    ASSERT_TRUE(test::ServeUntil([&] { return worker->GUIIn.PassSequence >= 3; }));

    const auto closing = time.Elapsed();
    engine.FormClose();
    const auto took = time.Elapsed() - closing;

    EXPECT_LT(took, settings.ShutdownBound + 6s);
    EXPECT_EQ(DevicesLocal()[0].ThreadPump, nullptr);
    EXPECT_TRUE(boxes.Shown().empty());
    // The pump's complaint is told where nothing waits: the log and a notice.
    const std::string complaint = "Set pump states failed. Used string: ";
    const std::vector<std::string> log = window.LogTexts();
    EXPECT_NE(std::find(log.begin(), log.end(), complaint), log.end());
    EXPECT_NE(std::find(window.Notices.begin(), window.Notices.end(), complaint), window.Notices.end());
    DevicesLocal().clear();
}

}  // namespace
}  // namespace tessaro
