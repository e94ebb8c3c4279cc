// The maintenance tools against simulated instruments: the exact commands, the refusals and
// the messages around them.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "MessageCapture.h"
#include "QtEventLoopSupport.h"
#include "RecordingOperationWindow.h"
#include "SimulatedPorts.h"
#include "discovery/BackgroundJobs.h"
#include "discovery/MaintenanceTools.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/InstrumentModel.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

constexpr const char* kPrimeSafety =
    "For safety, this will disable the form and stop any new changes on devices until completed. Software will be "
    "unresponsive until pump stops.";
constexpr const char* kSyringeSafety =
    "For safety, this will disable the form and stop any new changes on devices until completed.";

// A controller that answers the initialisation as a real one does, except one command.
class ControllerFailingOneCommand : public sim::InstrumentModel {
public:
    explicit ControllerFailingOneCommand(std::string failing) : failing_(std::move(failing)) {}
    std::optional<std::string> Answer(std::string_view line, double) override {
        if (line.empty()) return std::nullopt;
        if (line == failing_) return "A ?\r";
        if (line == "AFACTORY RESTORE ALL") return "A Factory values have been restored.\r";
        if (line == "ALSS U" || line == "ASPUE 0") return "A U\r";
        if (line == "ADCU 37 62") return "A 62 count\r";
        if (line == "ADCU 2 7") return "A 7 barA\r";
        return "A +000.0 +000.0 +000.0 +000.0 +000.0 N2\r";
    }
    std::string Describe() const override { return "controller failing " + failing_; }

private:
    std::string failing_;
};

class MaintenanceToolsTest : public ::testing::Test {
protected:
    MaintenanceToolsTest() {
        InitializeModules();
        tools_ = std::make_unique<TMaintenanceTools>(operations_, nullptr);
    }
    ~MaintenanceToolsTest() override {
        for (TDeviceInfo& device : DevicesLocal()) device.ThreadPump = nullptr;
        DevicesLocal().clear();
    }
    static void Register(const std::string& port, tDeviceType kind) {
        DevicesLocal().push_back(NewFoundDevice(port, kind, "1"));
    }

    sim::SimulatedTime time_;  // the tools' waits on the instruments run on it
    test::SimulatedPorts ports_;
    test::RecordingOperationWindow operations_;
    MessageCapture messages_;
    std::unique_ptr<TMaintenanceTools> tools_;
};

TEST_F(MaintenanceToolsTest, PumpToolsSendTheirProgramsAfterInitialisingThePump) {
    sim::SimulatedInstrument& pump = ports_.AddPump("sim-pump1");
    Register("sim-pump1", dtPump);

    tools_->ButtonPrimePumpClick("sim-pump1", 3);
    std::vector<std::string> received = pump.Received();
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(received[0], "/1?22");  // the signature query of Connect
    EXPECT_EQ(received[1], "/1ZN1R");
    EXPECT_EQ(std::ranges::count(received, "/1V3000gIA24000OA0G3R"), 1);
    // Three loops of two full strokes do not end within the 5 s: no completion message.
    EXPECT_EQ(messages_.messages, std::vector<std::string>{kPrimeSafety});
    EXPECT_EQ(operations_.Events, (std::vector<std::string>{"Begin Priming the pump on sim-pump1", "End"}));

    // The primed pump is still running its loops; a second one takes the syringe change.
    sim::SimulatedInstrument& other = ports_.AddPump("sim-pump2");
    Register("sim-pump2", dtPump);
    messages_.messages.clear();
    tools_->ButtonChangeSyringeClick("sim-pump2");
    received = other.Received();
    EXPECT_EQ(std::ranges::count(received, "/1V4000IA24000R"), 1);
    EXPECT_EQ(messages_.messages.front(), kSyringeSafety);
    EXPECT_FALSE(OperationRunning());
}

TEST(PrimingCommand, CarriesTheLoopCountWithinOneToTen) {
    EXPECT_EQ(PrimingCommand(3), "V3000gIA24000OA0G3R");
    EXPECT_EQ(PrimingCommand(10), "V3000gIA24000OA0G10R");
    EXPECT_EQ(PrimingCommand(0), "V3000gIA24000OA0G1R");
    EXPECT_EQ(PrimingCommand(11), "V3000gIA24000OA0G10R");
}

TEST_F(MaintenanceToolsTest, RefusesConfiguredDevicesWrongKindsAndNoSelection) {
    TPSD4Thread worker;  // never started: it only marks the pump configured
    Register("PUMP1", dtPump);
    DevicesLocal().back().ThreadPump = &worker;
    Register("PUMP2", dtPump);
    Register("COMX", dtMFCDemo);

    const struct {
        const char* port;
        const char* prime;
        const char* initialize;
    } cases[] = {
        {"PUMP1", "Cannot perform on already configured and running pump",
         "Device thread is running, cannot proceed. Initialize can only be performed before Configuration is first "
         "applied"},
        {"PUMP2", nullptr, "There is no Initialize procedure for Pump device"},
        {"COMX", "No pump selected", "There is no Initialize procedure for demo device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        if (c.prime != nullptr) {
            messages_.messages.clear();
            tools_->ButtonPrimePumpClick(c.port, 1);
            EXPECT_EQ(messages_.messages, std::vector<std::string>{c.prime});
            messages_.messages.clear();
            tools_->ButtonChangeSyringeClick(c.port);
            EXPECT_EQ(messages_.messages, std::vector<std::string>{c.prime});
        }
        messages_.messages.clear();
        tools_->ButtonDeviceInitializeClick(c.port);
        EXPECT_EQ(messages_.messages, std::vector<std::string>{c.initialize});
    }
    messages_.messages.clear();
    for (const std::optional<std::string>& none : {std::optional<std::string>{}, std::optional<std::string>{"NOPE"}}) {
        tools_->ButtonPrimePumpClick(none, 1);
        tools_->ButtonChangeSyringeClick(none);
        tools_->ButtonDeviceInitializeClick(none);
    }
    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_TRUE(operations_.Events.empty());
}

TEST_F(MaintenanceToolsTest, InitialisationSaysWhichCommandFailed) {
    sim::SimulatedInstrument& good = ports_.AddMfc("sim-mfc1");
    sim::SimulatedInstrument& faulty =
        ports_.Add("sim-mfc2", std::make_unique<ControllerFailingOneCommand>("ADCU 2 7"));
    Register("sim-mfc1", dtMFCA);
    Register("sim-mfc2", dtMFCB);

    tools_->ButtonDeviceInitializeClick("sim-mfc1");
    EXPECT_EQ(messages_.messages, (std::vector<std::string>{"Clicking OK will start initialization of MFC device.",
                                                            "Initialization done."}));
    EXPECT_EQ(good.Received().size(), 14u);

    messages_.messages.clear();
    tools_->ButtonDeviceInitializeClick("sim-mfc2");
    EXPECT_EQ(messages_.messages,
              (std::vector<std::string>{"Clicking OK will start initialization of MFC device.",
                                        "Initialization failed: 1 of the 7 commands did not succeed.\n"
                                        "6. \"ADCU 2 7\": Pressure barA failed"}));
    EXPECT_EQ(faulty.Received().size(), 14u);
}

TEST(InitializationOutcome, NamesEveryFailedCommandOrSaysDone) {
    EXPECT_EQ(InitializationOutcome({}), "Initialization done.");
    EXPECT_EQ(InitializationOutcome({0, 1, 6}),
              "Initialization failed: 3 of the 7 commands did not succeed.\n1. \"A\": no answer\n"
              "2. \"AFACTORY RESTORE ALL\": Factory reset failed\n7. \"A0\": no answer");
}

}  // namespace
}  // namespace tessaro
