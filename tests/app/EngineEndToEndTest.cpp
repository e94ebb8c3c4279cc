// The engine with real workers against a simulated flow controller on a pseudo-terminal,
// driven by its one-second timer on the system clock.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <charconv>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedInstrument.h"
#include "sim/SimulatedMfc.h"

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
        const std::vector<std::string>& table = engine_->DataTable();
        return table.empty() ? std::nullopt : CellValue(table.back());
    }

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
    })) << (engine_->DataTable().empty() ? "no data line" : engine_->DataTable().back());
    EXPECT_EQ(engine_->DataTable()[2].substr(23), "         ml/min | ");

    engine_->ButtonSegmentProgramStopClick({controller_.PortName()});
    ASSERT_TRUE(test::ServeUntil([&] { return SetpointCounts() == 0; }));

    const auto closing = std::chrono::steady_clock::now();
    engine_->FormClose();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, engine_->Settings().ShutdownBound);
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
    const auto closing = std::chrono::steady_clock::now();
    engine_->FormClose();
    const auto took = std::chrono::steady_clock::now() - closing;

    EXPECT_GE(took, engine_->Settings().ShutdownBound);
    // Abandoned, the worker leaves after the exchange it is in.
    EXPECT_LT(took, engine_->Settings().ShutdownBound + 5s);
    EXPECT_EQ(Device().ThreadMFC, nullptr);
    EXPECT_TRUE(messages_.messages.empty());
    ASSERT_EQ(window_.Notices.size(), 1u);
    EXPECT_TRUE(window_.Notices[0].starts_with(kEmergencyText)) << window_.Notices[0];
}

}  // namespace
}  // namespace tessaro
