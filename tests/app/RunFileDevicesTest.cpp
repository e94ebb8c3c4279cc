// A run file applied to simulated instruments on pseudo-terminals: devices named by port are
// probed, devices named by serial number are found by a search, and a run that is not valid
// or not complete sends nothing beyond the probes.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <memory>

#include "MessageCapture.h"
#include "QtEventLoopSupport.h"
#include "RecordingWindowPort.h"
#include "SimulatedPorts.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/RunFile.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RunFileDevices : public ::testing::Test {
protected:
    RunFileDevices() {
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.ShutdownBound = 3s;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~RunFileDevices() override {
        engine_->TerminateThreads();
        InitializeDeviceInfo();
    }
    fs::path Write(const std::string& text) const {
        const fs::path path = fs::path(folder_.path().toStdString()) / "run.json";
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    TRunDeviceFinder Finder() const {
        return ProbingRunDeviceFinder([] { return std::vector<std::string>{"sim-mfc1", "sim-mfc2", "sim-pump1"}; });
    }
    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }

    sim::SimulatedTime time_;  // the probes' and workers' waits run on it
    test::SimulatedPorts ports_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
};

TEST_F(RunFileDevices, FindsAControllerByPortAndAPumpBySerialAndConfiguresThemIdle) {
    sim::SimulatedInstrument& controller = ports_.AddMfc("sim-mfc1", "100001");
    ports_.AddMfc("sim-mfc2", "100002");
    ports_.AddPump("sim-pump1", "12345678");
    const fs::path path = Write(R"({"devices": [
        {"port": "sim-mfc1", "kind": "flow controller", "name": "Carrier", "gas": "N2", "program": "0 50 Step"},
        {"serial": "12345678", "kind": "pump", "name": "Humidifier", "fluid": "H2O", "syringe_ul": 1000,
         "program": "0 20 Step\r\n10 0 Step", "end": "zero"}]})");

    const TRunFileOpened opened = OpenRunFile(*engine_, path, Finder());

    ASSERT_TRUE(opened.Applied) << (opened.Problems.empty() ? "" : opened.Problems.front());
    EXPECT_TRUE(messages_.messages.empty());
    const TDeviceInfo mfc = Device("sim-mfc1");
    EXPECT_TRUE(mfc.IsConfigured());
    EXPECT_EQ(mfc.DevType, dtMFCA);
    EXPECT_EQ(mfc.Serial, "100001");
    EXPECT_EQ(mfc.ControlMode, dcmIdle);
    EXPECT_EQ(mfc.SegmentProgram, "0 50 Step");
    const TDeviceInfo pump = Device("sim-pump1");
    EXPECT_TRUE(pump.IsConfigured());
    EXPECT_EQ(pump.DevType, dtPump);
    EXPECT_EQ(pump.ControlMode, dcmIdle);
    EXPECT_EQ(pump.SyringeSizeµL, 1000);
    EXPECT_EQ(pump.FluidID, 1001);
    EXPECT_EQ(RunPorts(*ReadRunFile(path).Run), (std::vector<std::string>{"sim-mfc1", "sim-pump1"}));
    // Only what the run names joins the registry; the demo devices stay.
    EXPECT_EQ(DeviceIndex("sim-mfc2"), -1);
    EXPECT_EQ(opened.Rows.size(), 4u);

    // Idle: the controller's worker polls its status and is handed no setpoint but 0 %.
    ASSERT_TRUE(test::ServeUntil([&] { return controller.Received().size() >= 8; }, 10s));
    for (const std::string& command : controller.Received())
        EXPECT_FALSE(command.size() > 1 && command[0] == 'A' && std::isdigit(static_cast<unsigned char>(command[1])) &&
                     command != "A0")
            << command;
}

TEST_F(RunFileDevices, AnInvalidRunSendsNothingToAnyInstrument) {
    sim::SimulatedInstrument& controller = ports_.AddMfc("sim-mfc1", "100001");
    sim::SimulatedInstrument& pump = ports_.AddPump("sim-pump1", "12345678");
    const fs::path path = Write(R"({"devices": [
        {"port": "sim-mfc1", "kind": "flow controller", "gas": "N3"},
        {"kind": "flow controller", "gas": "N2"},
        {"serial": "12345678", "kind": "pump", "fluid": "H2O", "syringe_ul": 1000, "program": "0 20 Stop"}]})");

    const TRunFileOpened opened = OpenRunFile(*engine_, path, Finder());

    EXPECT_FALSE(opened.Applied);
    EXPECT_EQ(opened.Problems.size(), 3u);
    EXPECT_TRUE(controller.Received().empty());
    EXPECT_TRUE(pump.Received().empty());
}

TEST_F(RunFileDevices, AMissingInstrumentLeavesTheFoundOnesUnconfigured) {
    sim::SimulatedInstrument& controller = ports_.AddMfc("sim-mfc1", "100001");
    ports_.AddSilent("sim-mfc2");
    const fs::path path = Write(R"({"devices": [
        {"port": "sim-mfc1", "kind": "flow controller", "gas": "N2", "program": "0 50 Step"},
        {"port": "sim-mfc2", "kind": "flow controller", "gas": "N2"}]})");

    const TRunFileOpened opened = OpenRunFile(*engine_, path, Finder());

    EXPECT_EQ(opened.Problems, std::vector<std::string>{"devices[1].port: no instrument answers on \"sim-mfc2\""});
    EXPECT_EQ(DeviceIndex("sim-mfc1"), -1);
    // Only the probe's questions reached the controller; no worker polls it.
    const std::vector<std::string> probed = controller.Received();
    test::ServeUntil([] { return false; }, 300ms);
    EXPECT_EQ(controller.Received(), probed);
}

}  // namespace
}  // namespace tessaro
