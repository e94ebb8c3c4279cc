// The device search over simulated instruments on pseudo-terminals: what it finds, what it
// logs and in which order, how it refuses, and that found instruments can be run.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "MessageCapture.h"
#include "QtEventLoopSupport.h"
#include "RecordingOperationWindow.h"
#include "RecordingWindowPort.h"
#include "SimulatedPorts.h"
#include "discovery/BackgroundJobs.h"
#include "discovery/DeviceProbes.h"
#include "discovery/DeviceSearch.h"
#include "engine/DeviceSetup.h"
#include "engine/Engine.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "protocol/PSD4Protocol.h"
#include "pump/PSD4_Interface.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kNitrogen = 8;
constexpr int kAir = 0;
constexpr int kArgon = 1;
constexpr int kWater = 1001;

std::vector<std::string> Lines(const std::vector<std::string>& texts, std::size_t from, std::size_t count) {
    return {texts.begin() + static_cast<std::ptrdiff_t>(from),
            texts.begin() + static_cast<std::ptrdiff_t>(std::min(texts.size(), from + count))};
}

// The search's waits (probe time-outs, a pump's initialisation, worker pauses) run on
// simulated time unless a test asks for real time.
class DeviceSearchFixture : public ::testing::Test {
protected:
    explicit DeviceSearchFixture(bool simulatedTime)
        : time_(simulatedTime ? std::make_unique<sim::SimulatedTime>() : nullptr) {
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = fs::path(folder_.path().toStdString());
        settings.ShutdownBound = 3s;
        engine_ = std::make_unique<TEngine>(window_, settings);
        timer_ = std::make_unique<TEngineTimer>(*engine_);
        search_ = std::make_unique<TDeviceSearch>(*engine_, window_, operations_, timer_.get());
    }
    ~DeviceSearchFixture() override {
        timer_->Stop();
        engine_->TerminateThreads();
        DevicesLocal().clear();
    }

    bool Search(std::vector<std::string> ports) {
        search_->SetPortLister([ports] { return ports; });
        return search_->Searchdevices1Click();
    }
    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }
    bool LogHolds(const std::string& text) const {
        const std::vector<std::string> texts = window_.LogTexts();
        return std::ranges::find(texts, text) != texts.end();
    }

    std::unique_ptr<sim::SimulatedTime> time_;  // first in, last out: every wait runs on it
    test::SimulatedPorts ports_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    test::RecordingOperationWindow operations_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
    std::unique_ptr<TEngineTimer> timer_;
    std::unique_ptr<TDeviceSearch> search_;
};

class DeviceSearchTest : public DeviceSearchFixture {
protected:
    // Simulated time runs ahead of real time: the engine ticks more often than once a
    // second of real time, so that what the workers bring back is taken in without waiting.
    DeviceSearchTest() : DeviceSearchFixture(true) { timer_->TimerEngine().setInterval(20); }
};

// The whole search over pseudo-terminals in real time, as the operator runs it.
class DeviceSearchInRealTime : public DeviceSearchFixture {
protected:
    DeviceSearchInRealTime() : DeviceSearchFixture(false) {}
};

TEST_F(DeviceSearchInRealTime, FindsControllerAndPumpInPlaceOfTheDemoDevices) {
    sim::SimulatedInstrument& controller = ports_.AddMfc("sim-mfc1", "100001");
    // A pump with a quick plunger: the program's own waits are what this test runs through.
    sim::SimPumpConfig quickPump;
    quickPump.SerialNumber = "12345678";
    quickPump.InitSeconds = 0.3;
    quickPump.StartSpeed = 20000;
    ports_.Add("sim-pump1", std::make_unique<sim::SimulatedPump>(quickPump));
    timer_->Start();
    bool timerStoppedWhileBusy = false;
    operations_.OnBegin = [&] { timerStoppedWhileBusy = !timer_->IsActive(); };
    engine_->DataHeaderPending = false;

    ASSERT_TRUE(Search({"sim-mfc1", "sim-pump1"}));

    EXPECT_TRUE(messages_.messages.empty());
    EXPECT_EQ(window_.LogTexts(),
              (std::vector<std::string>{"Searching for Kestra and Lumora devices, this may take a while",
                                        "Found ports: sim-mfc1,sim-pump1", "Scanning port: sim-mfc1", "...for MFC",
                                        "Valid MFC found!!!", "Scanning port: sim-pump1", "...for MFC", "...for Pump",
                                        "Pump found!!!", "", "Finished searching devices", "",
                                        "Click found devices to configure them"}));
    ASSERT_EQ(DevicesLocal().size(), 2u);
    const TDeviceInfo mfc = Device("sim-mfc1");
    EXPECT_EQ(mfc.DevType, dtMFCA);
    EXPECT_EQ(mfc.Serial, "100001");
    EXPECT_FALSE(mfc.IsConfigured());
    const TDeviceInfo pump = Device("sim-pump1");
    EXPECT_EQ(pump.DevType, dtPump);
    EXPECT_EQ(pump.Serial, "12345678");
    EXPECT_EQ(operations_.Rows, (std::vector<TDeviceRowTexts>{
                                    {"sim-mfc1", "Unknown", "Kestra", "MFC-A", "Kestra MFC-A"},
                                    {"sim-pump1", "Unknown", "Lumora", "Pump", "Lumora Pump"},
                                }));
    // Two serial-number queries, each with the CR the command carries and the one appended.
    EXPECT_EQ(controller.Received(), (std::vector<std::string>{"A??M5", "", "A??M5", ""}));

    EXPECT_EQ(operations_.Events, (std::vector<std::string>{"Begin Searching for devices", "End"}));
    EXPECT_TRUE(timerStoppedWhileBusy);
    EXPECT_TRUE(timer_->IsActive());
    EXPECT_TRUE(engine_->DataHeaderPending);
    EXPECT_EQ(window_.Events.front(), "ClearGraph data");
    EXPECT_GE(window_.TableClears, 1);
    bool saved = false;
    for (const auto& entry : fs::directory_iterator(engine_->LogsFolder()))
        saved = saved || entry.path().filename().string().ends_with(" log SearchDevicesClick.txt");
    EXPECT_TRUE(saved);
}

// Probed at once, the silent first port ends last; its block still comes first. Both
// probes' reports follow its "No valid" line.
TEST_F(DeviceSearchTest, SilentPortIsReportedInPortOrderAndASecondSearchIsRefused) {
    ports_.AddSilent("port-a");
    ports_.AddMfc("port-b", "200002");
    std::vector<std::string> busyMessages;
    operations_.OnProgress = [&] {
        if (!busyMessages.empty()) return;
        EXPECT_FALSE(search_->Searchdevices1Click());
        busyMessages = messages_.messages;
    };

    ASSERT_TRUE(Search({"port-a", "port-b"}));

    EXPECT_EQ(busyMessages, std::vector<std::string>{kOperationBusyMessage});
    const std::vector<std::string> texts = window_.LogTexts();
    ASSERT_GE(texts.size(), 12u);
    EXPECT_EQ(Lines(texts, 2, 4), (std::vector<std::string>{"Scanning port: port-a", "...for MFC", "...for Pump",
                                                            "No valid MFC or Pump on port"}));
    const std::string& details = window_.Log[6];
    EXPECT_NE(details.find("\r\n  Details for MFC search\r\n    Query port:port-a\r\n    => Failed to communicate\r\n"
                           "\r\n  Details for Pump search\r\n    Query port:port-a\r\n    => No pump on port\r\n"),
              std::string::npos)
        << details;
    EXPECT_EQ(Lines(texts, 7, 3),
              (std::vector<std::string>{"Scanning port: port-b", "...for MFC", "Valid MFC found!!!"}));
    ASSERT_EQ(DevicesLocal().size(), 1u);
    EXPECT_EQ(Device("port-b").Serial, "200002");
    EXPECT_EQ(operations_.Rows.size(), 1u);
    EXPECT_EQ(operations_.Rows[0][1], "Unknown");

    operations_.OnProgress = nullptr;
    messages_.messages.clear();
    const std::size_t logged = window_.Log.size();
    EXPECT_FALSE(Search({"port-b"}));
    EXPECT_EQ(messages_.messages, std::vector<std::string>{kResearchNotSupported});
    EXPECT_EQ(window_.Log.size(), logged);
    EXPECT_EQ(DevicesLocal().size(), 1u);
}

TEST_F(DeviceSearchTest, NamesThatAreNotPlainDeviceNamesAreNeverProbed) {
    ports_.AddMfc("sim-mfc1");
    ASSERT_TRUE(Search({"../tessaro-sim/sim-mfc1", "pts/0", "", "sim-mfc1"}));
    EXPECT_TRUE(LogHolds("Port name \"../tessaro-sim/sim-mfc1\" is not a device name: not probed"));
    EXPECT_TRUE(LogHolds("Port name \"pts/0\" is not a device name: not probed"));
    EXPECT_TRUE(LogHolds("Port name \"\" is not a device name: not probed"));
    ASSERT_EQ(DevicesLocal().size(), 1u);
    EXPECT_EQ(DevicesLocal()[0].COMPort, "sim-mfc1");

    for (const char* name : {"..", ".", "a/b", "a\\b", "../x"}) EXPECT_FALSE(IsPlainPortName(name)) << name;
    for (const char* name : {"ttyUSB0", "sim-pump1", "COM3", "..x"}) EXPECT_TRUE(IsPlainPortName(name)) << name;
}

TEST_F(DeviceSearchTest, ConfiguredDemoDevicesAreEndedBeforeTheyLeave) {
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", [] {
        TConfigurationEntry entry;
        entry.NameRole = "Demo";
        entry.FluidID = kNitrogen;
        entry.UnitName = "g/min";
        entry.UnitIsGrams = true;
        return entry;
    }()));
    ASSERT_TRUE(Device("COMX").IsConfigured());
    ASSERT_TRUE(Search({}));
    EXPECT_TRUE(DevicesLocal().empty());
    EXPECT_TRUE(operations_.Rows.empty());
    EXPECT_EQ(window_.FreedLeds.size(), 1u);
    EXPECT_TRUE(LogHolds("Found ports: "));
}

TEST_F(DeviceSearchTest, ProbeReportsTellWhatAnsweredWithTheirExactTexts) {
    ports_.AddMfc("sim-mfc1", "100001");
    ports_.AddPump("sim-pump0", "0");

    std::string details;
    TDeviceInfo entry;
    ASSERT_TRUE(ProbeMfc("sim-mfc1", details, entry));
    EXPECT_EQ(details.rfind("\r\n  Details for MFC search\r\n    Query port:sim-mfc1\r\n"
                            "    Port sim-mfc1 was opened, command sent\r\n"
                            "    Response  : *A M05 Serial Number 100001*\r\n    Status    : \rDuration: 00:",
                            0),
              0u)
        << details;
    EXPECT_TRUE(details.ends_with("\r\n    => *** MFC found ***\r\n")) << details;
    EXPECT_EQ(entry.Serial, "100001");

    details.clear();
    ASSERT_TRUE(ProbePump("sim-pump0", details, entry));
    EXPECT_EQ(details,
              "\r\n  Details for Pump search\r\n    Query port:sim-pump0\r\n    => Pump found:Lumora Pump\r\n"
              "    => Pump serial:0\r\n");
    EXPECT_EQ(entry.DevType, dtPump);
    EXPECT_EQ(entry.Serial, "0");

    details.clear();
    EXPECT_FALSE(ProbePump("sim-mfc1", details, entry));
    EXPECT_TRUE(details.ends_with("    Query port:sim-mfc1\r\n    => No pump on port\r\n")) << details;
}

// An instrument that answers every command with the same bytes.
class FixedAnswer : public sim::InstrumentModel {
public:
    explicit FixedAnswer(std::string reply) : reply_(std::move(reply)) {}
    std::optional<std::string> Answer(std::string_view, double) override { return reply_; }
    std::string Describe() const override { return "fixed answer"; }

private:
    std::string reply_;
};

// Only a line from unit A is a flow controller. Noise, another unit's line or a line with
// a control character inside is reported as "no flow controller" with the reply printable,
// and the port goes on to the pump probe.
TEST_F(DeviceSearchTest, PortAnsweringAnythingButAControllerLineIsNoFlowController) {
    ports_.AddMfc("noise").SetFault(sim::SimFault::Garbage);
    ports_.Add("other-unit", std::make_unique<FixedAnswer>("B M05 Serial Number 100001\r"));
    constexpr char kNulInside[] = "A M05 Serial\0Number 100001\r";
    ports_.Add("nul-inside", std::make_unique<FixedAnswer>(std::string(kNulInside, sizeof kNulInside - 1)));
    ports_.Add("no-blank", std::make_unique<FixedAnswer>("AM05 Serial Number 100001\r"));

    ASSERT_TRUE(Search({"noise", "other-unit", "nul-inside", "no-blank"}));

    EXPECT_TRUE(DevicesLocal().empty());
    EXPECT_TRUE(operations_.Rows.empty());
    const std::vector<std::string> texts = window_.LogTexts();
    EXPECT_EQ(std::ranges::count(texts, std::string("No valid MFC or Pump on port")), 4);
    std::string log;
    for (const std::string& text : texts) log += text + "\n";
    std::size_t verdicts = 0;
    for (auto at = log.find("    => no flow controller\r\n"); at != std::string::npos;
         at = log.find("    => no flow controller\r\n", at + 1))
        ++verdicts;
    EXPECT_EQ(verdicts, 4u) << log;
    EXPECT_NE(log.find("    Response  : *B M05 Serial Number 100001*\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("    Response  : *A M05 Serial<00>Number 100001*\r\n"), std::string::npos) << log;
    for (auto at = log.find("Response  : *"); at != std::string::npos; at = log.find("Response  : *", at + 1)) {
        const std::string shown = log.substr(at, log.find("*\r\n", at) - at);
        EXPECT_TRUE(std::ranges::all_of(shown, [](char c) { return c >= 0x20 && c < 0x7F; })) << shown;
    }
}

TEST(DeviceRows, SortByNameOrRoleThenDeviceIgnoringCase) {
    std::vector<TDeviceRowTexts> rows = {{"p1", "Unknown", "Lumora", "Pump", "humidifier"},
                                         {"p2", "Unknown", "Kestra", "MFC-B", "Kestra MFC"},
                                         {"p3", "Unknown", "Kestra", "mfc-a", "kestra mfc"},
                                         {"p4", "Unknown", "Kestra", "MFC-C", "Anode"}};
    SortDeviceRows(rows);
    std::vector<std::string> order;
    for (const TDeviceRowTexts& row : rows) order.push_back(row[0]);
    EXPECT_EQ(order, (std::vector<std::string>{"p4", "p1", "p3", "p2"}));
}

// A port the system refuses to open is named in the log with the system's own reason, after
// the probes' reports.
TEST_F(DeviceSearchTest, RefusedPortIsLoggedWithTheSystemsReason) {
    ASSERT_TRUE(Search({"tessaro-no-such-port"}));
    const std::vector<std::string> texts = window_.LogTexts();
    const auto refusal = std::ranges::find_if(texts, [](const std::string& text) {
        return text.starts_with("Port tessaro-no-such-port could not be opened: ");
    });
    ASSERT_NE(refusal, texts.end());
    EXPECT_TRUE(refusal->ends_with(std::string("tessaro-no-such-port: ") + std::strerror(ENOENT))) << *refusal;
    EXPECT_NE(std::ranges::find(texts.begin(), refusal, std::string("No valid MFC or Pump on port")), refusal);
}

TEST(PermissionAdvice, NamesTheOwningGroupOnlyForAPermissionRefusal) {
    const std::vector<std::string> advice =
        PermissionAdvice("ttyUSB0", "/dev/ttyUSB0: " + std::string(std::strerror(EACCES)), "dialout");
    ASSERT_EQ(advice.size(), 2u);
    EXPECT_EQ(advice[0], "Port ttyUSB0 may be used only by members of the group \"dialout\".");
    EXPECT_NE(advice[1].find("sudo usermod -aG dialout $USER"), std::string::npos);
    EXPECT_TRUE(PermissionAdvice("ttyUSB0", "/dev/ttyUSB0: held by another exchange", "dialout").empty());
}

// A pump found earlier that no longer answers when it is configured gets no worker, and the
// operator is told which port and why instead of a row that silently stays "Unknown".
TEST_F(DeviceSearchTest, PumpThatDoesNotAnswerWhenConfiguredIsReportedWithItsPortAndTheReason) {
    sim::SimulatedInstrument& pump = ports_.AddPump("sim-pump1");
    ASSERT_TRUE(Search({"sim-pump1"}));
    pump.SetFault(sim::SimFault::Silent);
    TConfigurationEntry entry;
    entry.NameRole = "Humidifier";
    entry.FluidID = kWater;
    entry.SyringeSize_µL = 12500;
    engine_->ApplyConfiguration("sim-pump1", entry);

    EXPECT_FALSE(Device("sim-pump1").IsConfigured());
    EXPECT_EQ(ShownDeviceListRow(Device("sim-pump1"))[1], "Unknown");
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0],
              "The pump on sim-pump1 does not answer: Timeout while waiting for response, exiting.");
}

// The simulated pump's own view: is it running a program now?
bool PumpRuns(sim::SimulatedInstrument& pump) {
    const double now = sim::SimulatedInstrument::Now();
    bool busy = false;
    pump.WithModel([&](sim::InstrumentModel& model) { busy = static_cast<sim::SimulatedPump&>(model).Busy(now); });
    return busy;
}

// Leaves the pump dosing an endless program, as a session that ended without stopping it.
void StartDosing(const std::string& port) {
    TPSD4 pump;
    ASSERT_TRUE(pump.Connect(port));
    pump.Initialize(std::string(kPumpInitialise));
    ASSERT_TRUE(pump.WaitUntilFree(15));
    TSerialResponse response;
    ASSERT_TRUE(pump.SendCommand("gIV6000A24000OV451A0GR", response, true));
}

// A pump still dosing answers its signature busy. It is a pump all the same: the search
// finds it and "Apply" configures it, each stopping the leftover program first and saying so.
TEST_F(DeviceSearchTest, PumpStillDosingFromAnEarlierSessionIsFoundConfiguredAndStopped) {
    sim::SimulatedInstrument& pump = ports_.AddPump("sim-pump1", "12345678");
    StartDosing("sim-pump1");
    ASSERT_TRUE(PumpRuns(pump));
    ASSERT_TRUE(Search({"sim-pump1"}));
    EXPECT_EQ(Device("sim-pump1").Serial, "12345678");
    EXPECT_FALSE(PumpRuns(pump));

    StartDosing("sim-pump1");
    ASSERT_TRUE(PumpRuns(pump));
    pump.ClearReceived();
    TConfigurationEntry entry;
    entry.NameRole = "Humidifier";
    entry.FluidID = kWater;
    entry.SyringeSize_µL = 12500;
    ASSERT_TRUE(engine_->ApplyConfiguration("sim-pump1", entry));

    EXPECT_TRUE(messages_.messages.empty()) << messages_.messages.front();
    EXPECT_TRUE(Device("sim-pump1").IsConfigured());
    EXPECT_TRUE(LogHolds("The pump on sim-pump1 was still running a program: stopped it (TR)"));
    const std::vector<std::string> sent = pump.Received();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Lines(sent, 0, 3), (std::vector<std::string>{"/1?22", "/1TR", "/1ZN1R"}));
    EXPECT_FALSE(PumpRuns(pump));
}

// Found instruments are configured and run like any other: a segment program on the first
// controller, a direct setpoint on the second and on the pump.
TEST_F(DeviceSearchTest, FoundInstrumentsCanBeConfiguredAndFollowTheirSetpoints) {
    sim::SimulatedInstrument& nitrogen = ports_.AddMfc("sim-mfc1", "100001", kNitrogen, 1.0);
    sim::SimulatedInstrument& air = ports_.AddMfc("sim-mfc2", "100002", kAir, 5.0);
    sim::SimulatedInstrument& pump = ports_.AddPump("sim-pump1");
    ASSERT_TRUE(Search({"sim-mfc1", "sim-mfc2", "sim-pump1"}));
    ASSERT_EQ(DevicesLocal().size(), 3u);
    EXPECT_EQ(Device("sim-mfc2").DevType, dtMFCB);

    const auto grams = [](std::int32_t fluid) {
        TConfigurationEntry entry;
        entry.NameRole = "Found";
        entry.FluidID = fluid;
        entry.UnitName = "g/min";
        entry.UnitIsGrams = true;
        entry.SyringeSize_µL = 12500;
        entry.FluidTemperatureC = 20;
        return entry;
    };
    ASSERT_TRUE(engine_->ApplyConfiguration("sim-mfc1", grams(kNitrogen)));
    ASSERT_TRUE(engine_->ApplyConfiguration("sim-mfc2", grams(kAir)));
    ASSERT_TRUE(engine_->ApplyConfiguration("sim-pump1", grams(kWater)));
    EXPECT_TRUE(messages_.messages.empty()) << messages_.messages.front();

    TDeviceInfo first = Device("sim-mfc1");
    first.SegmentProgram = "0 40 Step\r\n60 40 Step";
    ASSERT_TRUE(StoreDevice(first));
    engine_->ButtonSegmentProgramStartClick({"sim-mfc1"});
    engine_->RtDoubleEditDirectControlDesiredFlowValueChanged("sim-mfc2", 25);
    engine_->RtDoubleEditDirectControlDesiredFlowValueChanged("sim-pump1", 10);
    engine_->ButtonApplyFlowClick({"sim-mfc2", "sim-pump1"});
    timer_->Start();

    const auto setpointCounts = [](sim::SimulatedInstrument& instrument) {
        double counts = -1;
        instrument.WithModel(
            [&](sim::InstrumentModel& model) { counts = static_cast<sim::SimulatedMfc&>(model).SetpointCounts(); });
        return counts;
    };
    const auto fullScale_gpm = [](sim::SimulatedInstrument& instrument) {
        double value = 0;
        instrument.WithModel(
            [&](sim::InstrumentModel& model) { value = static_cast<sim::SimulatedMfc&>(model).FullScale_gpm(); });
        return value;
    };
    const auto follows = [&](const std::string& port, double expected_gpm) {
        return std::abs(Device(port).FlowUnitUser.GasFlowValue - expected_gpm) < 0.02 * expected_gpm;
    };
    ASSERT_TRUE(test::ServeUntil([&] {
        return setpointCounts(nitrogen) == 0.4 * 64000 && setpointCounts(air) == 0.25 * 64000 &&
               follows("sim-mfc1", 0.4 * fullScale_gpm(nitrogen)) && follows("sim-mfc2", 0.25 * fullScale_gpm(air));
    })) << Device("sim-mfc1").FlowUnitUser.GasFlowValue
        << " " << Device("sim-mfc2").FlowUnitUser.GasFlowValue;

    const std::string wanted = Device("sim-pump1").ThreadPump->GUIOut.Command;
    ASSERT_FALSE(wanted.empty());
    EXPECT_TRUE(test::ServeUntil([&] {
        const std::vector<std::string> received = pump.Received();
        return std::ranges::any_of(received,
                                   [&](const std::string& line) { return line.find(wanted) != std::string::npos; });
    })) << wanted;
}

// A found controller's full scale is what it reports for the gas it is set to: unknown from
// the search until then, and again from a change of gas until it reports the new gas's.
TEST_F(DeviceSearchTest, AFoundControllersFullScaleIsUnknownUntilItReportsItForItsGas) {
    sim::SimulatedInstrument& controller = ports_.AddMfc("sim-mfc1", "100001", kNitrogen, 1.0);
    ASSERT_TRUE(Search({"sim-mfc1"}));
    EXPECT_FALSE(Device("sim-mfc1").FullScaleKnown());
    const auto grams = [](std::int32_t gas) {
        TConfigurationEntry entry;
        entry.NameRole = "Anode";
        entry.FluidID = gas;
        entry.UnitName = "g/min";
        entry.UnitIsGrams = true;
        entry.SyringeSize_µL = 12500;
        return entry;
    };
    const auto reported_gpm = [&] {
        double value = 0;
        controller.WithModel(
            [&](sim::InstrumentModel& model) { value = static_cast<sim::SimulatedMfc&>(model).FullScale_gpm(); });
        return value;
    };
    // The controller answers its full-scale query with four decimals.
    const auto holdsReported = [&] {
        const std::optional<double> fullScale = Device("sim-mfc1").FullScale_gpm();
        return fullScale && std::abs(*fullScale - reported_gpm()) < 1e-4;
    };

    ASSERT_TRUE(engine_->ApplyConfiguration("sim-mfc1", grams(kNitrogen)));
    std::optional<TFlowDisplays> shown = engine_->FlowDisplays("sim-mfc1", 80, 50);
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->MaxFlow);
    EXPECT_EQ(shown->SegmentResult, "unknown g/min");
    timer_->Start();
    ASSERT_TRUE(test::ServeUntil(holdsReported));
    shown = engine_->FlowDisplays("sim-mfc1", 80, 50);
    ASSERT_TRUE(shown && shown->MaxFlow);
    EXPECT_NEAR(*shown->MaxFlow, reported_gpm(), 1e-4);
    EXPECT_EQ(engine_->ChartLegend().at(0).Planned.find("unknown"), std::string::npos);

    // Argon's full scale in g/min is another: nitrogen's no longer holds.
    const double nitrogen_gpm = reported_gpm();
    ASSERT_TRUE(engine_->ApplyConfiguration("sim-mfc1", grams(kArgon)));
    EXPECT_FALSE(Device("sim-mfc1").FullScaleKnown());
    ASSERT_TRUE(test::ServeUntil([&] { return reported_gpm() != nitrogen_gpm && holdsReported(); }));
    timer_->Stop();
}

}  // namespace
}  // namespace tessaro
