// The run file: reading and checking (every problem at once, with its key path), writing
// and reading back, and applying a run to the engine's demo devices.

#include "run/RunFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "gases/GasMixtures.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kExampleRun = R"({
  "rig": "bench-1",
  "devices": [
    { "port": "COMX", "kind": "flow controller", "name": "Carrier", "color": "Blue", "gas": "N2",
      "unit": { "name": "ml/min", "temperature_c": 25, "pressure_bar": 1.01325 },
      "program": "0.5 20 Step\r\n1.5 60 Ramp\r\n2 0 Step", "repeat": 2, "end": "keep",
      "alarm_band_pct": 7, "alarm_delay_s": 45, "holdback_band_pct": 3, "longest_hold_s": 90 },
    { "port": "COMY", "kind": "flow controller", "name": "Dilution", "gas": "Ar", "program_file": "dilution.txt" }
  ],
  "give_up_after_s": 120,
  "mqtt": { "host": "broker.lab", "port": 1884, "rig": "bench_1" }
})";

class RunFileFolder : public ::testing::Test {
protected:
    RunFileFolder() { InitializeModules(); }

    fs::path Folder() const { return fs::path(folder_.path().toStdString()); }
    fs::path Write(const std::string& name, const std::string& text) const {
        const fs::path path = Folder() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    TRunFileRead Read(const std::string& text) const { return ReadRunFile(Write("run.json", text)); }

    QTemporaryDir folder_;
};

using RunFileReading = RunFileFolder;

TEST_F(RunFileReading, TakesEveryKeyOfAValidFileWithAProgramFileBesideIt) {
    Write("dilution.txt", "0 10 Step\r\n5 30 Ramp\r\n");
    const TRunFileRead read = Read(kExampleRun);
    ASSERT_TRUE(read.Run) << (read.Problems.empty() ? "" : read.Problems.front());
    EXPECT_TRUE(read.Problems.empty());
    const TRunFile& run = *read.Run;
    EXPECT_EQ(run.Rig, "bench-1");
    EXPECT_EQ(run.GiveUpAfter_s, 120);
    EXPECT_EQ(run.Mqtt, (TRunMqtt{"broker.lab", 1884, "bench_1"}));
    ASSERT_EQ(run.Devices.size(), 2u);

    const TRunDevice& carrier = run.Devices[0];
    EXPECT_EQ(carrier.Port, "COMX");
    EXPECT_FALSE(carrier.IsPump);
    EXPECT_EQ(carrier.Name, "Carrier");
    EXPECT_EQ(carrier.Color, 0xFF0000FFu);
    EXPECT_EQ(carrier.Fluid, "N2");
    EXPECT_EQ(carrier.Unit, (TRunUnit{"ml/min", 25.0, 1.01325}));
    EXPECT_EQ(carrier.Program, "0.5 20 Step\r\n1.5 60 Ramp\r\n2 0 Step");
    EXPECT_EQ(carrier.Repeat, 2);
    EXPECT_EQ(carrier.End, TSegProgTermination::tspttKeep);
    EXPECT_EQ(carrier.AlarmBand_pct, 7);
    EXPECT_EQ(carrier.AlarmDelay_s, 45);
    EXPECT_EQ(carrier.HoldbackBand_pct, 3);
    EXPECT_EQ(carrier.LongestHold_s, 90);

    const TRunDevice& dilution = run.Devices[1];
    EXPECT_EQ(dilution.Program, "0 10 Step\r\n5 30 Ramp");
    EXPECT_TRUE(dilution.Unit.IsMass());
    EXPECT_EQ(dilution.End, TSegProgTermination::tspttZero);
    EXPECT_EQ(dilution.Repeat, 1);
}

TEST_F(RunFileReading, APumpTakesItsFluidSyringeAndFluidTemperature) {
    const TRunFileRead read = Read(R"({"devices": [{"serial": "12345678", "kind": "pump", "name": "Humidifier",
        "fluid": "H2O", "syringe_ul": 1000, "fluid_temperature_c": 21.5, "program": "0 50 Step"}]})");
    ASSERT_TRUE(read.Run) << (read.Problems.empty() ? "" : read.Problems.front());
    const TRunDevice& pump = read.Run->Devices.at(0);
    EXPECT_TRUE(pump.IsPump);
    EXPECT_EQ(pump.Serial, "12345678");
    EXPECT_TRUE(pump.Port.empty());
    EXPECT_EQ(pump.Fluid, "H2O");
    EXPECT_EQ(pump.Syringe_µL, 1000);
    EXPECT_EQ(pump.FluidTemperatureC, 21.5);
}

// Each file holds several faults; every one of them is named, with its key path, at once.
TEST_F(RunFileReading, NamesEveryProblemOfAFileAtOnceWithItsKeyPath) {
    const fs::path file = Folder() / "run.json";
    const std::string at = file.string() + ": ";
    const struct {
        const char* what;
        const char* text;
        std::vector<std::string> problems;
    } cases[] = {
        {"a wrong gas, a missing port and a bad program text",
         R"({"devices": [
              {"port": "COMX", "kind": "flow controller", "gas": "N2", "program": "0 10 Step\r\n1.5 x Ramp\r\n2 0 Jump"},
              {"port": "COMY", "kind": "flow controller", "gas": "N3"},
              {"kind": "flow controller", "gas": "Ar"}]})",
         {at + "devices[0].program: line 2 \"1.5 x Ramp\": Invalid setpoint format",
          at + "devices[0].program: line 3 \"2 0 Jump\": Invalid S/R",
          at + "devices[1].gas: unknown gas \"N3\"; the gas table's short names are listed by tessaro --list-gases",
          at + "devices[2]: a \"port\" (as the port list shows it) or a \"serial\" (the serial number) was expected"}},
        {"wrong types",
         R"({"rig": 7, "devices": [{"port": "COMX", "kind": "flow controller", "gas": "N2", "name": 5,
              "repeat": 1.5, "unit": {"name": "ml/min", "temperature_c": "25", "pressure_bar": 1}}]})",
         {at + "rig: a text was expected, not 7", at + "devices[0].name: a text was expected, not 5",
          at + "devices[0].unit.temperature_c: a number above -273.15 and at most 900000 was expected, not \"25\"",
          at + "devices[0].repeat: a whole number from 1 to 10000 was expected, not 1.5"}},
        {"an unknown key and a bad end",
         R"({"devices": [{"port": "COMX", "kind": "flow controller", "gas": "N2", "colour": "Red", "end": "stop"}]})",
         {at + "devices[0].colour: unknown key; the keys here are port, serial, kind, name, color, gas, fluid, unit, "
               "program, program_file, repeat, end, holdback_band_pct, longest_hold_s, alarm_band_pct, "
               "alarm_delay_s, syringe_ul, fluid_temperature_c",
          at + "devices[0].end: \"zero\" (0 % after the program) or \"keep\" (the last setpoint) was expected, not "
               "\"stop\""}},
        {"a bad mqtt object",
         R"({"rig": "bench 1", "devices": [{"port": "COMX", "kind": "flow controller", "gas": "N2"}],
             "mqtt": {"host": " ", "port": 70000}})",
         {at + "mqtt.host: a host name or address was expected, not \"\"",
          at + "mqtt.port: a whole number from 1 to 65535 was expected, not 70000",
          at + "mqtt.rig: a name of letters, digits, \"-\" and \"_\" was expected, not \"bench 1\" (the run's "
               "\"rig\")"}},
        {"a pump with a gas, no syringe and a controller's fluid",
         R"({"devices": [{"serial": "1", "kind": "pump", "gas": "N2", "fluid": "N2", "alarm_band_pct": 5}]})",
         {at + "devices[0].gas: not a key of a pump", at + "devices[0].alarm_band_pct: not a key of a pump",
          at + "devices[0].fluid: unknown fluid \"N2\"; the gas table's short names are listed by tessaro "
               "--list-gases",
          at + "devices[0].syringe_ul: missing; a syringe size in µl (12.5, 25, 50, 100, 125, 250, 500, 1000, 1250, "
               "2500, 5000, 12500) was expected"}},
        {"a device named twice, by port and serial at once, an unknown kind",
         R"({"devices": [{"port": "COMX", "kind": "flow controller", "gas": "N2"},
              {"port": "COMX", "serial": "7", "kind": "flow controller", "gas": "N2"},
              {"port": "COMX", "kind": "valve"}]})",
         {at + "devices[1]: either a \"port\" or a \"serial\" was expected, not both",
          at + "devices[2].kind: \"flow controller\" or \"pump\" was expected, not \"valve\"",
          at + "devices[2].port: \"COMX\" is named by devices[0] already; each device is named once"}},
        {"a missing program file and no devices of the right shape",
         R"({"devices": [{"port": "COMX", "kind": "flow controller", "gas": "N2", "program_file": "gone.txt"}, 3]})",
         {at + "devices[0].program_file: \"gone.txt\" cannot be read: No such file or directory",
          at + "devices[1]: a device (an object) was expected, not 3"}},
        {"no devices", R"({"rig": "r"})", {at + "devices: missing; an array of devices was expected"}},
        {"not JSON", R"({"devices": [)", {at + "not a JSON document: unterminated array at byte 13"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRunFileRead read = Read(c.text);
        EXPECT_FALSE(read.Run);
        EXPECT_EQ(read.Problems, c.problems);
    }
}

TEST_F(RunFileReading, AFileThatCannotBeReadIsNamed) {
    const TRunFileRead read = ReadRunFile(Folder() / "missing.json");
    EXPECT_FALSE(read.Run);
    EXPECT_EQ(read.Problems, std::vector<std::string>{(Folder() / "missing.json").string() +
                                                      ": cannot be read: No such file or directory"});
}

using RunFileWriting = RunFileFolder;

TEST_F(RunFileWriting, WhatIsWrittenReadsBackUnchanged) {
    TRunFile run;
    run.Rig = "bench-2";
    run.GiveUpAfter_s = 300;
    run.Mqtt = TRunMqtt{"10.0.0.5", 1883, "bench-2"};
    TRunDevice controller;
    controller.Port = "COMX";
    controller.Name = "Carrier \"main\"";
    controller.Color = 0xFF123456;  // no named colour: written as its number
    controller.Fluid = "N2";
    controller.Unit = TRunUnit{"ml/min", 0.1, 1.01325};
    controller.Program = "0 12.345678901 Step\r\n10 0 Ramp slow_down";
    controller.Repeat = 3;
    controller.End = TSegProgTermination::tspttKeep;
    controller.AlarmBand_pct = 2.5;
    TRunDevice pump;
    pump.Serial = "12345678";
    pump.IsPump = true;
    pump.Name = "Humidifier";
    pump.Color = 0xFF008000;
    pump.Fluid = "H2O";
    pump.Syringe_µL = 12.5;
    pump.FluidTemperatureC = 19.5;
    run.Devices = {controller, pump};

    const fs::path path = Folder() / "saved.json";
    std::string error;
    ASSERT_TRUE(WriteRunFile(path, run, error)) << error;
    const TRunFileRead read = ReadRunFile(path);
    ASSERT_TRUE(read.Run) << (read.Problems.empty() ? "" : read.Problems.front());
    EXPECT_EQ(*read.Run, run);
}

TEST_F(RunFileWriting, AFolderThatIsNotThereIsTold) {
    std::string error;
    EXPECT_FALSE(WriteRunFile(Folder() / "no" / "run.json", TRunFile{}, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(RunFileGasList, ListsEveryShortNameWithItsLongName) {
    InitializeModules();
    const std::string text = GasListText();
    EXPECT_NE(text.find("N2\tNitrogen\n"), std::string::npos);
    EXPECT_NE(text.find("H2O\tH2O\n"), std::string::npos);
    EXPECT_EQ(static_cast<std::size_t>(std::ranges::count(text, '\n')), GasList().size());
}

// The two demo devices, as a run names them like any port.
class RunFileApplying : public RunFileFolder {
protected:
    RunFileApplying() {
        TEngineSettings settings;
        settings.DataFolder = Folder();
        settings.ShutdownBound = 3s;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~RunFileApplying() override {
        engine_->TerminateThreads();
        InitializeDeviceInfo();
    }
    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }
    // A finder that must not be needed: every device of these runs is in the registry.
    TRunDeviceFinder NoProbing() {
        return {[this](const std::string& port) {
                    probed_.push_back(port);
                    return TPortProbe{};
                },
                [this] {
                    probed_.push_back("search");
                    return std::vector<TPortProbe>{};
                }};
    }

    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
    std::vector<std::string> probed_;
};

TEST_F(RunFileApplying, ConfiguresTheDemoDevicesAndLoadsTheirProgramsWithoutStartingThem) {
    Write("dilution.txt", "0 10 Step\r\n5 30 Ramp\r\n");
    const TRunFileRead read = Read(kExampleRun);
    ASSERT_TRUE(read.Run);

    EXPECT_EQ(ApplyRunFile(*engine_, *read.Run, NoProbing()), std::vector<std::string>{});

    EXPECT_TRUE(probed_.empty());
    EXPECT_TRUE(messages_.messages.empty());
    const TDeviceInfo carrier = Device("COMX");
    EXPECT_TRUE(carrier.IsConfigured());
    EXPECT_EQ(carrier.ControlMode, dcmIdle);
    EXPECT_EQ(carrier.NameRole, "Carrier");
    EXPECT_EQ(carrier.Color, 0xFF0000FFu);
    EXPECT_EQ(carrier.FluidID, 8);
    EXPECT_EQ(carrier.FlowUnitUser.Name, "ml/min");
    EXPECT_EQ(carrier.FlowUnitUser.GasFlowType, gfuVolumetric);
    EXPECT_EQ(carrier.FlowUnitUser.Temperature, 25);
    EXPECT_EQ(carrier.FlowUnitUser.Pressure_BarA, 1.01325);
    EXPECT_EQ(carrier.SegmentProgram, "0.5 20 Step\r\n1.5 60 Ramp\r\n2 0 Step");
    EXPECT_EQ(carrier.ProgramRepeat, 2);
    EXPECT_EQ(carrier.SegmentProgramTermination, TSegProgTermination::tspttKeep);
    EXPECT_EQ(carrier.AlarmBand_pct, 7);
    EXPECT_EQ(carrier.AlarmDelay_s, 45);
    EXPECT_EQ(carrier.HoldbackBand_pct, 3);
    EXPECT_EQ(carrier.LongestHold_s, 90);
    const TDeviceInfo dilution = Device("COMY");
    EXPECT_TRUE(dilution.IsConfigured());
    EXPECT_EQ(dilution.ControlMode, dcmIdle);
    EXPECT_EQ(dilution.FlowUnitUser.GasFlowType, gfuGrams);
    EXPECT_EQ(dilution.SegmentProgram, "0 10 Step\r\n5 30 Ramp");

    // What the engine now holds is the run again, by port.
    TRunFile expected = *read.Run;
    expected.Rig.clear();
    expected.GiveUpAfter_s.reset();
    expected.Mqtt.reset();
    expected.Devices[1].Color = kBlack;
    EXPECT_EQ(RunFileFromEngine(*engine_), expected) << RunFileText(RunFileFromEngine(*engine_));
}

TEST_F(RunFileApplying, ADeviceThatIsNotFoundOrOfAnotherKindLeavesEveryDeviceUnconfigured) {
    const TRunFileRead read = Read(R"({"devices": [
        {"port": "COMX", "kind": "flow controller", "gas": "N2", "program": "0 50 Step"},
        {"port": "COMY", "kind": "pump", "fluid": "H2O", "syringe_ul": 1000},
        {"port": "sim-nothing", "kind": "flow controller", "gas": "N2"},
        {"serial": "424242", "kind": "flow controller", "gas": "N2"}]})");
    ASSERT_TRUE(read.Run);
    const std::vector<TDeviceInfo> before = DevicesLocal();

    EXPECT_EQ(
        ApplyRunFile(*engine_, *read.Run, NoProbing()),
        (std::vector<std::string>{"devices[1].port: the instrument \"COMY\" is a flow controller, not a pump",
                                  "devices[2].port: no instrument answers on \"sim-nothing\"",
                                  "devices[3].serial: no instrument with the serial number \"424242\" was found"}));
    EXPECT_EQ(probed_, (std::vector<std::string>{"sim-nothing", "search"}));
    EXPECT_EQ(DevicesLocal(), before);
}

TEST_F(RunFileApplying, OpenAndSaveGoThroughTheFileAndTellTheOutcomeInTheLog) {
    const fs::path bad =
        Write("bad.json", R"({"devices": [{"port": "COMX", "kind": "flow controller", "gas": "N3"}]})");
    const TRunFileOpened refused = OpenRunFile(*engine_, bad, NoProbing());
    EXPECT_FALSE(refused.Applied);
    ASSERT_EQ(refused.Problems.size(), 1u);
    EXPECT_FALSE(Device("COMX").IsConfigured());
    const std::vector<std::string> log = window_.LogTexts();
    EXPECT_NE(std::ranges::find(log, refused.Problems[0]), log.end());

    const fs::path good = Write("good.json", R"({"devices": [{"port": "COMY", "kind": "flow controller",
        "name": "Probe gas", "gas": "Ar", "program": "0 50 Step"}]})");
    const TRunFileOpened opened = OpenRunFile(*engine_, good, NoProbing());
    EXPECT_TRUE(opened.Applied);
    EXPECT_TRUE(opened.Problems.empty());
    ASSERT_EQ(opened.Rows.size(), 2u);
    EXPECT_TRUE(std::ranges::any_of(opened.Rows, [](const TDeviceRowTexts& row) {
        return row[0] == "COMY" && row[1] == "Ready" && row[4] == "Probe gas";
    }));

    std::string error;
    const fs::path saved = Folder() / "saved.json";
    ASSERT_TRUE(SaveRunFile(*engine_, saved, error)) << error;
    const TRunFileRead read = ReadRunFile(saved);
    ASSERT_TRUE(read.Run);
    ASSERT_EQ(read.Run->Devices.size(), 1u);
    EXPECT_EQ(read.Run->Devices[0].Port, "COMY");
    EXPECT_EQ(read.Run->Devices[0].Program, "0 50 Step");
}

}  // namespace
}  // namespace tessaro
