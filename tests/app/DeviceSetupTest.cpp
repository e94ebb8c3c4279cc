// "Apply" on the Configure tab, stopping a device, the syringe check, the reference-condition
// rows, the colour code, the device list rows and the flow displays, as the app decides them.

#include "engine/DeviceSetup.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "EngineTestSupport.h"
#include "MessageCapture.h"
#include "RecordingWindowPort.h"
#include "engine/Engine.h"
#include "engine/Startup.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Speeds.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

constexpr int kAir = 0;
constexpr int kNitrogen = 8;
constexpr int kWater = 1001;
constexpr TRtColor kTeal = 0xFF008080;

class DeviceSetupTest : public ::testing::Test {
protected:
    DeviceSetupTest() : scopedClock_(clock_), driver_(clock_) {
        InitializeModules();
        TEngineSettings settings;
        settings.DataFolder = std::filesystem::path(folder_.path().toStdString());
        settings.Sleeps = false;
        engine_ = std::make_unique<TEngine>(window_, settings);
    }
    ~DeviceSetupTest() override {
        for (TDeviceInfo& device : DevicesLocal()) {
            delete device.ThreadMFC;
            delete device.ThreadPump;
        }
        DevicesLocal().clear();
    }

    static TDeviceInfo Device(const std::string& port) {
        TDeviceInfo device;
        EXPECT_TRUE(FindDevice(port, device)) << port;
        return device;
    }
    static TConfigurationEntry GramsOf(std::optional<std::int32_t> fluid, const std::string& name = "Anode") {
        TConfigurationEntry entry;
        entry.NameRole = name;
        entry.Color = kTeal;
        entry.FluidID = fluid;
        entry.UnitName = "g/min";
        entry.UnitTemperatureC = 20;
        entry.UnitPressureBar = 1.01325;
        entry.UnitIsGrams = true;
        entry.SyringeSize_µL = 12500;
        return entry;
    }
    TDeviceInfo& AddPump(const std::string& port) {
        TDeviceInfo pump = NewFoundDevice(port, dtPump, "9");
        pump.SyringeSizeµL = 12.5;
        pump.MaxFlow_µlpm = 312.5;
        DevicesLocal().push_back(pump);
        return DevicesLocal().back();
    }

    TFakeClock clock_;
    TScopedClock scopedClock_;
    test::ClockDriver driver_;
    QTemporaryDir folder_;
    test::RecordingWindowPort window_;
    MessageCapture messages_;
    std::unique_ptr<TEngine> engine_;
};

TEST_F(DeviceSetupTest, ApplyStartsTheWorkerWithItsLedOnceAndStoresTheEntry) {
    engine_->DataHeaderPending = false;
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", GramsOf(kNitrogen)));

    EXPECT_TRUE(messages_.messages.empty());
    const TDeviceInfo device = Device("COMX");
    ASSERT_NE(device.ThreadMFC, nullptr);
    EXPECT_TRUE(device.ThreadMFC->Simulated);
    EXPECT_EQ(device.ControlMode, dcmIdle);
    EXPECT_EQ(device.NameRole, "Anode");
    EXPECT_EQ(device.Color, kTeal);
    EXPECT_EQ(device.FluidID, kNitrogen);
    EXPECT_EQ(device.FlowUnitUser.GasName, "N2");
    EXPECT_EQ(device.FlowUnitDevice.GasName, "N2");
    EXPECT_NEAR(device.FlowUnitUser.GasMolarMass, 28.014, 1e-9);
    EXPECT_NEAR(device.FlowUnitDevice.GasMolarMass, 28.014, 1e-9);
    EXPECT_EQ(device.FlowUnitUser.GasFlowType, gfuGrams);
    ASSERT_EQ(window_.Leds.size(), 1u);
    EXPECT_EQ(device.Led, window_.Leds[0].get());
    EXPECT_EQ(window_.LedLooks.back(), std::make_pair(device.Led, kTeal));
    EXPECT_EQ(window_.Shown, std::vector<std::string>{"COMX"});
    EXPECT_TRUE(engine_->DataHeaderPending);

    // Again: the settings change, the worker and the LED stay.
    TConfigurationEntry again = GramsOf(kAir, "Cathode");
    again.UnitIsGrams = false;
    again.UnitName = "ml/min";
    again.UnitTemperatureC = 0;
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", again));
    const TDeviceInfo after = Device("COMX");
    EXPECT_EQ(after.ThreadMFC, device.ThreadMFC);
    EXPECT_EQ(after.Led, device.Led);
    EXPECT_EQ(window_.Leds.size(), 1u);
    EXPECT_EQ(after.NameRole, "Cathode");
    EXPECT_EQ(after.FlowUnitUser.GasFlowType, gfuVolumetric);
    EXPECT_EQ(after.FlowUnitUser.Name, "ml/min");
    EXPECT_EQ(after.FlowUnitUser.Temperature, 0);
}

// A stock mixture weighs as its composition: Air is about 28.85 g/mol, not the 1.0 of its
// table entry, so its mass flows are right.
TEST_F(DeviceSetupTest, ApplyOfAStockMixtureStoresItsNormalisedMolarMass) {
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", GramsOf(kAir)));
    const TDeviceInfo device = Device("COMX");
    EXPECT_NEAR(device.FlowUnitUser.GasMolarMass, 28.85064, 1e-9);
    EXPECT_NEAR(device.FlowUnitDevice.GasMolarMass, 28.85064, 1e-9);

    // The demo controller's 50 standard cc/min of Air: 0.0020437 mol/min.
    const std::optional<TFlowDisplays> shown = engine_->FlowDisplays("COMX", 100, 50);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->UnitName, "g/min");
    EXPECT_NEAR(shown->MaxFlow.value_or(0), 0.058962, 1e-6);
}

TEST_F(DeviceSetupTest, ApplyWithoutAGasOrFluidIsRefusedAndChangesNothing) {
    AddPump("PUMP1");
    const TDeviceInfo controller = Device("COMX");
    const TDeviceInfo pump = Device("PUMP1");

    EXPECT_FALSE(engine_->ApplyConfiguration("COMX", GramsOf(std::nullopt)));
    EXPECT_FALSE(engine_->ApplyConfiguration("PUMP1", GramsOf(std::nullopt)));

    EXPECT_EQ(messages_.messages,
              (std::vector<std::string>{"No fluid selected for MFC", "No fluid selected for Pump"}));
    EXPECT_EQ(Device("COMX"), controller);
    EXPECT_EQ(Device("PUMP1"), pump);
    EXPECT_TRUE(window_.Leds.empty());
}

TEST_F(DeviceSetupTest, ApplyOnARunningDeviceLeavesItIdleAtZeroFlow) {
    TDeviceInfo& pump = AddPump("PUMP1");
    pump.ThreadPump = new TPSD4Thread;  // never started: its records are the test's
    pump.ControlMode = dcmSegment;
    pump.ThreadPump->GUIOut.Command = "gIV6000A24000OV6A0GR";
    pump.ThreadPump->GUIOut.Setpoint = 0.5;
    TDeviceInfo& controller = DevicesLocal()[0];
    controller.ThreadMFC = new TMFCThread;
    controller.ControlMode = dcmDirect;
    controller.Setpoint_pct = 40;
    controller.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 40;

    TConfigurationEntry water = GramsOf(kWater);
    ASSERT_TRUE(engine_->ApplyConfiguration("PUMP1", water));
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", GramsOf(kNitrogen)));

    const TDeviceInfo stoppedPump = Device("PUMP1");
    EXPECT_EQ(stoppedPump.ControlMode, dcmIdle);
    EXPECT_EQ(stoppedPump.FluidID, kWater);
    EXPECT_EQ(stoppedPump.ThreadPump->GUIOut.Command, "TR");
    EXPECT_EQ(stoppedPump.ThreadPump->GUIOut.Setpoint, 0);
    const TDeviceInfo stoppedController = Device("COMX");
    EXPECT_EQ(stoppedController.ControlMode, dcmIdle);
    EXPECT_EQ(stoppedController.Setpoint_pct, 0);
    EXPECT_EQ(stoppedController.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_TRUE(window_.Leds.empty());  // both already had their worker
}

TEST_F(DeviceSetupTest, SyringeSizeIsTakenOnlyFromTheListOfSyringes) {
    struct Case {
        double size;
        bool taken;
    };
    for (const Case& c : {Case{30, false}, Case{12.5, true}, Case{2500, true}, Case{12500.0001, false}}) {
        SCOPED_TRACE(c.size);
        messages_.messages.clear();
        const TDeviceInfo before = Device("COMY");
        TConfigurationEntry entry = GramsOf(kAir, "Feed " + std::to_string(c.size));
        entry.SyringeSize_µL = c.size;
        ASSERT_TRUE(engine_->ApplyConfiguration("COMY", entry));

        const TDeviceInfo after = Device("COMY");
        EXPECT_EQ(after.NameRole, entry.NameRole);  // the rest of the entry is taken either way
        EXPECT_EQ(after.FluidID, kAir);
        if (c.taken) {
            EXPECT_TRUE(messages_.messages.empty());
            EXPECT_EQ(after.SyringeSizeµL, c.size);
            EXPECT_EQ(after.MaxFlow_µlpm, 25 * c.size);
        } else {
            EXPECT_EQ(messages_.messages, std::vector<std::string>{"Invalid syring volume, value ignored"});
            EXPECT_EQ(after.SyringeSizeµL, before.SyringeSizeµL);
            EXPECT_EQ(after.MaxFlow_µlpm, before.MaxFlow_µlpm);
        }
    }
}

TEST(ReferenceConditions, RowsGiveTheirUnitTemperatureAndPressure) {
    ASSERT_EQ(ReferenceConditionRows().size(), 22u);
    EXPECT_EQ(ReferenceConditionRows()[0], "ºC    ºF     Bar      Standard");
    EXPECT_FALSE(ReferenceConditionOfRow(0));  // the header
    EXPECT_FALSE(ReferenceConditionOfRow(22));
    EXPECT_FALSE(ReferenceConditionOfRow(-1));

    const std::optional<TReferenceCondition> grams = ReferenceConditionOfRow(kPredefinedGramsRow);
    ASSERT_TRUE(grams);
    EXPECT_TRUE(grams->Grams);
    EXPECT_EQ(grams->UnitName, "g/min");

    struct Case {
        int row;
        double celsius;
        double bar;
    };
    for (const Case& c :
         {Case{4, 25, 1.01325}, Case{5, 0, 1}, Case{7, 15, 0.9999}, Case{14, 15.56, 1.016}, Case{21, 22, 1.01325}}) {
        SCOPED_TRACE(c.row);
        const std::optional<TReferenceCondition> condition = ReferenceConditionOfRow(c.row);
        ASSERT_TRUE(condition);
        EXPECT_FALSE(condition->Grams);
        EXPECT_EQ(condition->UnitName, "ml/min");
        EXPECT_EQ(condition->TemperatureC, c.celsius);
        EXPECT_EQ(condition->PressureBar, c.bar);
    }
}

TEST(ReferenceConditions, NotesInFahrenheitAndPsiWithEitherSeparator) {
    EXPECT_EQ(FahrenheitNote(25, '.'), "77ºF");
    EXPECT_EQ(FahrenheitNote(15.5, ','), "59,9ºF");
    EXPECT_EQ(PsiNote(1.01325, '.'), "14.696 psi");
    EXPECT_EQ(PsiNote(0.9999, ','), "14,502 psi");
}

TEST(FieldInput, ANumberCountsOnlyWhenItIsWholeAndInItsRange) {
    const TNumberRange percent{0, 100};
    const TNumberRange pressure{0, 10000, true};
    struct Case {
        const char* text;
        TNumberRange range;
        std::optional<double> number;
    };
    for (const Case& c : {Case{"15", percent, 15}, Case{" 12,5 ", percent, 12.5}, Case{"100", percent, 100},
                          Case{"0", percent, 0}, Case{"150", percent, {}}, Case{"-5", percent, {}},
                          Case{"abc", percent, {}}, Case{"", percent, {}}, Case{"5a", percent, {}},
                          Case{"nan", percent, {}}, Case{"0", pressure, {}}, Case{"0.0001", pressure, 0.0001}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NumberInRange(c.text, c.range), c.number);
    }
    EXPECT_EQ(RefusedFieldMessage("Setpoint, %", percent, '.'), "Setpoint, %: type a number from 0 to 100.");
    EXPECT_EQ(RefusedFieldMessage("Pressure, bar", pressure, ','),
              "Pressure, bar: type a number above 0 and at most 10000.");
}

TEST_F(DeviceSetupTest, AVolumetricUnitAtNoPressureOrAbsoluteZeroIsRefused) {
    TConfigurationEntry entry = GramsOf(kAir);
    entry.UnitIsGrams = false;
    entry.UnitName = "ml/min";
    entry.UnitPressureBar = 0;
    EXPECT_FALSE(engine_->ApplyConfiguration("COMX", entry));
    entry.UnitPressureBar = 1;
    entry.UnitTemperatureC = -273.15;
    EXPECT_FALSE(engine_->ApplyConfiguration("COMX", entry));
    EXPECT_EQ(messages_.messages,
              (std::vector<std::string>{"Pressure, bar: type a number above 0 and at most 10000.",
                                        "Temperature, ºC: type a number above -273.15 and at most 900000."}));
    EXPECT_EQ(Device("COMX").ThreadMFC, nullptr);
    EXPECT_EQ(Device("COMX").NameRole, "Virtual Demo");

    // Grams need no reference conditions.
    entry.UnitIsGrams = true;
    EXPECT_TRUE(engine_->ApplyConfiguration("COMX", entry));
}

TEST_F(DeviceSetupTest, NamesAndUnitsKeepTheirPrintableCharactersOnly) {
    TConfigurationEntry entry = GramsOf(kAir, "Anode\r\n12:00:00:000 forged line\t\x7F");
    entry.UnitIsGrams = false;
    entry.UnitName = "ml/\nmin";
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", entry));
    EXPECT_EQ(Device("COMX").NameRole, "Anode12:00:00:000 forged line");
    EXPECT_EQ(Device("COMX").FlowUnitUser.Name, "ml/min");
}

TEST(ColorCode, BlueInTheHighByteInDecimalOfAtLeastEightDigits) {
    EXPECT_EQ(BlueGreenRedCode(0xFF800080), "08388736");  // purple reads the same both ways
    EXPECT_EQ(BlueGreenRedCode(0xFF123456), "05649426");  // 0x563412
    EXPECT_EQ(BlueGreenRedCode(0xFF0000FF), "16711680");  // blue
    EXPECT_EQ(BlueGreenRedCode(0x00FF0000), "00000255");  // red; alpha plays no part
}

TEST_F(DeviceSetupTest, ListRowsNameStateKindAndTheGasOfKestraControllers) {
    TDeviceInfo mixer = NewFoundDevice("COM4", dtMFCA, "7");
    mixer.NameRole = "Anode";
    mixer.FluidID = kNitrogen;
    EXPECT_EQ(DeviceListRow(mixer), (TDeviceRowTexts{"COM4", "Unknown", "Kestra", "MFC-A", "Anode"}));
    EXPECT_EQ(ShownDeviceListRow(mixer), (TDeviceRowTexts{"COM4", "Unknown", "Kestra", "MFC-A:N2", "Anode"}));

    TMFCThread worker;
    mixer.ThreadMFC = &worker;
    for (const auto& [mode, state] : {std::pair{dcmIdle, "Ready"}, {dcmSegment, "Segment"}, {dcmDirect, "Direct"}}) {
        mixer.ControlMode = mode;
        EXPECT_EQ(ShownDeviceListRow(mixer)[1], state);
    }
    EXPECT_EQ(ShownDeviceListRow(Device("COMX"))[3], "MFC");
    EXPECT_EQ(ShownDeviceListRow(AddPump("PUMP1"))[3], "Pump");
}

TEST_F(DeviceSetupTest, FlowDisplaysConvertTheFullScaleAndBothPercentages) {
    // The demo controller: 50 standard cc/min, shown in ml/min at 25 ºC and 1.01325 bar.
    std::optional<TFlowDisplays> shown = engine_->FlowDisplays("COMX", 50, 10);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->MaxFlow.value_or(0), 50);
    EXPECT_EQ(shown->UnitName, "ml/min");
    EXPECT_EQ(shown->SegmentResult, "25 ml/min");
    EXPECT_EQ(shown->DirectResult, "5 ml/min");
    EXPECT_TRUE(shown->PumpCommands.empty());

    TConfigurationEntry air = GramsOf(kAir);
    air.UnitIsGrams = false;
    air.UnitName = "ml/min";
    air.UnitTemperatureC = 0;
    ASSERT_TRUE(engine_->ApplyConfiguration("COMX", air));
    shown = engine_->FlowDisplays("COMX", 50, 50);
    ASSERT_TRUE(shown);
    EXPECT_NEAR(shown->MaxFlow.value_or(0), 45.80748, 1e-5);
    EXPECT_EQ(shown->SegmentResult, "22.903 739 728 ml/min");
    EXPECT_EQ(shown->DirectResult, shown->SegmentResult);

    EXPECT_FALSE(engine_->FlowDisplays("COM99", 50, 50));
}

TEST_F(DeviceSetupTest, PumpDisplaysPlanAsTheEngineDoesAndLogTheirPrograms) {
    TDeviceInfo& pump = AddPump("PUMP1");
    const std::optional<TFlowDisplays> shown = engine_->FlowDisplays("PUMP1", 50, 20);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->MaxFlow.value_or(0), 312.5);
    EXPECT_EQ(shown->UnitName, "µl/min");
    EXPECT_TRUE(shown->SegmentResult.starts_with("Desired/Achievable || 156.25 / ")) << shown->SegmentResult;
    EXPECT_NE(shown->SegmentResult.find(" || µl/min || Relative error:"), std::string::npos);
    EXPECT_TRUE(shown->SegmentResult.ends_with(" %"));
    EXPECT_EQ(shown->SegmentResult.find("  "), std::string::npos);
    ASSERT_EQ(shown->PumpCommands.size(), 2u);
    EXPECT_EQ(window_.LogTexts(), shown->PumpCommands);

    // A pump whose syringe is not known yet is planned like the engine plans it.
    pump.SyringeSizeµL = 0;
    pump.ThreadPump = new TPSD4Thread;
    pump.ControlMode = dcmDirect;
    pump.Setpoint_pct = 20;
    engine_->TimerEngineTimer();
    const std::optional<TFlowDisplays> unknownSyringe = engine_->FlowDisplays("PUMP1", 20, 20);
    ASSERT_TRUE(unknownSyringe);
    EXPECT_EQ(unknownSyringe->PumpCommands[1], pump.ThreadPump->GUIOut.Command);
    EXPECT_EQ(PlanPumpDispense(pump, 0.2, '.').Command, pump.ThreadPump->GUIOut.Command);
}

TEST_F(DeviceSetupTest, StopPutsEachKindIdleAtZeroFlow) {
    TDeviceInfo& pump = AddPump("PUMP1");
    TPSD4Thread pumpWorker;
    pump.ThreadPump = &pumpWorker;
    pump.ControlMode = dcmSegment;
    pumpWorker.GUIOut.Command = "gIV6000A24000OV6A0GR";
    pumpWorker.GUIOut.Setpoint = 0.4;
    StopDevice(pump);
    EXPECT_EQ(pump.ControlMode, dcmIdle);
    EXPECT_EQ(pumpWorker.GUIOut.Command, "TR");
    EXPECT_EQ(pumpWorker.GUIOut.Setpoint, 0);
    pump.ThreadPump = nullptr;

    TDeviceInfo& controller = DevicesLocal()[0];
    TMFCThread controllerWorker;
    controller.ThreadMFC = &controllerWorker;
    controller.Setpoint_pct = 35;
    controllerWorker.GUIOut.DeviceStatus.Setpoint_pct = 35;
    StopDevice(controller);
    EXPECT_EQ(controller.ControlMode, dcmIdle);
    EXPECT_EQ(controller.Setpoint_pct, 0);
    EXPECT_EQ(controllerWorker.GUIOut.DeviceStatus.Setpoint_pct, 0);
    controller.ThreadMFC = nullptr;
}

}  // namespace
}  // namespace tessaro
