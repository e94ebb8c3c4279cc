// The device list and the Configure tab: showing a device, "Apply" with its checks, the
// LEDs, the colour code, the flow unit group and the flow displays.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>

#include <QTabWidget>
#include <QTest>

#include "ColorPickCombo.h"
#include "NumberEdit.h"
#include "StatusLed.h"
#include "WindowFixture.h"
#include "mfc/AlicatMFCThread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using test::kAir;
using test::kNitrogen;

class ConfigureTest : public test::WindowFixture {
protected:
    QString Text(const char* label) const { return Child<QLabel>(label)->text(); }
    double Value(const char* field) const { return Child<QDoubleSpinBox>(field)->value(); }
    void PickReferenceRow(int row) { Child<QComboBox>("ComboBoxFlowUnitPredefined")->setCurrentIndex(row); }
    bool Shown(const char* name) const { return Child<QWidget>(name)->isVisibleTo(form.get()); }
};

TEST_F(ConfigureTest, FocusingARowShowsItsDeviceAndMarksFocusAndSelection) {
    Focus("COMX");
    EXPECT_EQ(Child<QLineEdit>("EditDeviceType")->text(), "Simulated MFC");
    EXPECT_EQ(Child<QLineEdit>("EditDeviceName")->text(), "Virtual Demo");
    EXPECT_EQ(Text("LabelSelectedDeviceNameRole"), "Virtual Demo Simulated MFC");
    EXPECT_EQ(Row("COMX")->text(1), "Unknown");
    EXPECT_EQ(Child<TColorPickCombo>("RtColorPickComboDeviceColor")->color(), QColor(128, 0, 128));
    // Purple as blue-green-red: 0x800080.
    EXPECT_EQ(Text("LabelDeviceColor"), "08388736");
    EXPECT_EQ(Child<QComboBox>("ComboBoxDeviceFluid")->currentIndex(), 0);
    EXPECT_EQ(Child<QTreeWidget>("ListViewSegmentProgram")->topLevelItemCount(), 6);

    SelectRows({"COMX", "COMY"});
    EXPECT_FALSE(Row("COMX")->icon(0).isNull());
    EXPECT_FALSE(Row("COMY")->icon(0).isNull());
    EXPECT_NE(Row("COMX")->icon(0).cacheKey(), Row("COMY")->icon(0).cacheKey());

    Child<QTreeWidget>("ListViewDevices")->setCurrentItem(nullptr);
    ExpectNoDeviceShown();

    // Picking a device brings its values back, editable.
    Focus("COMY");
    EXPECT_EQ(Child<QLineEdit>("EditDeviceName")->text(), "Virtual Demo");
    EXPECT_TRUE(Child<QPushButton>("BitBtn6")->isEnabled());
    EXPECT_TRUE(Child<QWidget>("GroupBoxFlowUnit")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "ml/min");
}

TEST_F(ConfigureTest, FluidListsHoldTheGasTableAndWaterUnderTaggedHeaders) {
    auto* gases = Child<QComboBox>("ComboBoxDeviceFluid");
    EXPECT_EQ(gases->itemText(0), "Shortname Formula   Longname, recipe, comments");
    EXPECT_EQ(gases->itemData(0).toInt(), 0);
    EXPECT_EQ(gases->count(), 134);
    const int nitrogen = gases->findText("N2        N2        Nitrogen ");
    ASSERT_GT(nitrogen, 0);
    EXPECT_EQ(gases->itemData(nitrogen).toInt(), kNitrogen);

    auto* water = Child<QComboBox>("ComboBoxDeviceFluidPump");
    ASSERT_EQ(water->count(), 2);
    EXPECT_EQ(water->itemText(0), "Shortname Formula   Longname (or recipe)");
    EXPECT_EQ(water->itemText(1), "H2O                 Only use deionized or distilled water");
    EXPECT_EQ(water->itemData(1).toInt(), 1001);
}

TEST_F(ConfigureTest, ApplyStartsASimulatedWorkerWithItsLedAfterTheActivityLed) {
    Focus("COMX");
    Child<QLineEdit>("EditDeviceName")->setText("Anode");
    ChooseGas(kNitrogen);
    ClickApply();

    EXPECT_TRUE(messages.messages.empty());
    const TDeviceInfo device = Device("COMX");
    ASSERT_NE(device.ThreadMFC, nullptr);
    EXPECT_TRUE(device.ThreadMFC->Simulated);
    EXPECT_EQ(device.ControlMode, dcmIdle);
    EXPECT_EQ(device.NameRole, "Anode");
    EXPECT_EQ(device.FluidID, kNitrogen);
    EXPECT_EQ(device.FlowUnitUser.GasName, "N2");
    EXPECT_NEAR(device.FlowUnitUser.GasMolarMass, 28.014, 1e-9);
    EXPECT_EQ(Row("COMX")->text(1), "Ready");
    EXPECT_EQ(Row("COMX")->text(4), "Anode");
    EXPECT_TRUE(form->Engine().DataHeaderPending);

    ASSERT_EQ(StatusBarLeds(), 2);
    const int s = form->GetDPIScaling();
    auto* led = qobject_cast<TLed*>(device.Led);
    ASSERT_NE(led, nullptr);
    EXPECT_EQ(led->geometry(), QRect(18 * s, 2 * s, 16 * s, 16 * s));
    EXPECT_EQ(led->OffColor(), QColor(128, 0, 128));

    // Applying again changes the settings only: same worker, same LED.
    Child<QLineEdit>("EditDeviceName")->setText("Cathode");
    ClickApply();
    EXPECT_EQ(Device("COMX").ThreadMFC, device.ThreadMFC);
    EXPECT_EQ(Device("COMX").Led, device.Led);
    EXPECT_EQ(Device("COMX").NameRole, "Cathode");
    EXPECT_EQ(StatusBarLeds(), 2);
}

TEST_F(ConfigureTest, ApplyOnARunningDeviceLeavesItIdleAtZeroFlow) {
    Configure("COMX", kNitrogen);
    Child<QPushButton>("BitBtn1")->click();
    ASSERT_EQ(Device("COMX").ControlMode, dcmSegment);
    Device("COMX").ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 100;

    ClickApply();
    const TDeviceInfo device = Device("COMX");
    EXPECT_EQ(device.ControlMode, dcmIdle);
    EXPECT_EQ(device.Setpoint_pct, 0);
    EXPECT_EQ(device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(Row("COMX")->text(1), "Ready");
}

TEST_F(ConfigureTest, ApplyWithoutAGasIsRefusedAndChangesNothing) {
    Focus("COMX");
    Child<QLineEdit>("EditDeviceName")->setText("Anode");
    ClickApply();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"No fluid selected for MFC"});
    const TDeviceInfo device = Device("COMX");
    EXPECT_EQ(device.ThreadMFC, nullptr);
    EXPECT_EQ(device.NameRole, "Virtual Demo");
    EXPECT_EQ(StatusBarLeds(), 1);
}

TEST_F(ConfigureTest, ARefusedSyringeIsToldAndTheOtherSettingsAreStored) {
    Focus("COMY");
    Child<QLineEdit>("EditDeviceName")->setText("Humidifier feed");
    Child<QDoubleSpinBox>("RtDoubleEditSyringeSizeµL")->setValue(30);
    ChooseGas(kAir);
    ClickApply();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Invalid syring volume, value ignored"});
    EXPECT_EQ(Device("COMY").NameRole, "Humidifier feed");
    EXPECT_EQ(Row("COMY")->text(4), "Humidifier feed");
}

TEST_F(ConfigureTest, ColourCodeLabelShowsBlueInTheHighByte) {
    Focus("COMX");
    Child<TColorPickCombo>("RtColorPickComboDeviceColor")->setColor(QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(Text("LabelDeviceColor"), "05649426");  // 0x563412
}

TEST_F(ConfigureTest, DeviceLedShowsItsOnColourWhileLit) {
    Configure("COMX", kNitrogen);
    auto* led = qobject_cast<TLed*>(Device("COMX").Led);
    ASSERT_NE(led, nullptr);
    form->SetDeviceLed(led, true);
    EXPECT_TRUE(led->IsOn());
    form->SetDeviceLed(led, false);
    EXPECT_FALSE(led->IsOn());
}

TEST_F(ConfigureTest, PredefinedRowsSetTheUnitAndShowOrHideTheReferenceConditions) {
    const char* const conditions[] = {"EditFlowUnitTemperatureC", "EditFlowUnitPressureBar", "LabelUnitTemp",
                                      "LabelPSI"};
    PickReferenceRow(4);
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 25);
    EXPECT_EQ(Value("EditFlowUnitPressureBar"), 1.01325);
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "ml/min");
    EXPECT_EQ(Text("LabelUnitTemp"), "77ºF");
    EXPECT_EQ(Text("LabelPSI"), "14.696 psi");
    for (const char* name : conditions) EXPECT_TRUE(Shown(name)) << name;

    // The header row changes nothing.
    PickReferenceRow(0);
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "ml/min");
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 25);
    for (const char* name : conditions) EXPECT_TRUE(Shown(name)) << name;

    // Grams keep the reference values but hide them.
    PickReferenceRow(1);
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "g/min");
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 25);
    EXPECT_EQ(Value("EditFlowUnitPressureBar"), 1.01325);
    for (const char* name : conditions) EXPECT_FALSE(Shown(name)) << name;

    // A row repeating the temperature the edit holds still fills its note.
    PickReferenceRow(3);
    EXPECT_EQ(Text("LabelUnitTemp"), "68ºF");

    PickReferenceRow(7);
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 15);
    EXPECT_EQ(Value("EditFlowUnitPressureBar"), 0.9999);
    EXPECT_EQ(Text("LabelPSI"), "14.502 psi");
    // Apply takes the shown unit into the device.
    Focus("COMX");
    ChooseGas(kAir);
    PickReferenceRow(7);
    ClickApply();
    EXPECT_EQ(Device("COMX").FlowUnitUser.Pressure_BarA, 0.9999);
    EXPECT_EQ(Device("COMX").FlowUnitUser.Temperature, 15);
    EXPECT_EQ(Device("COMX").FlowUnitUser.GasFlowType, gfuVolumetric);
}

TEST_F(ConfigureTest, FlowDisplaysConvertTheFullScaleAndTheEnteredPercentages) {
    Focus("COMX");  // 50 standard cc/min, shown in ml/min at 25 ºC and 1.01325 bar
    EXPECT_EQ(Value("RtDoubleEditDevMaxFlow"), 50);
    EXPECT_EQ(Text("LabelSpecifiedFlowUnit"), "ml/min");
    Child<QDoubleSpinBox>("RtDoubleEditSegmentFlow")->setValue(50);
    EXPECT_EQ(Text("LabelResultingFlowinSpecifiedUnit"), "25 ml/min");

    PickReferenceRow(2);  // 0 ºC
    ChooseGas(kAir);
    ClickApply();
    EXPECT_NEAR(Value("RtDoubleEditDevMaxFlow"), 45.80748, 1e-5);
    EXPECT_NEAR(Value("RtDoubleEditDirectControlMaxFlow"), 45.80748, 1e-5);
    EXPECT_EQ(Text("LabelResultingFlowinSpecifiedUnit"), "22.903 739 728 ml/min");
    Child<QDoubleSpinBox>("RtDoubleEditDirectControlDesiredFlow")->setValue(50);
    EXPECT_EQ(Text("LabelDirectControlResultingFlow"), "22.903 739 728 ml/min");
    EXPECT_EQ(Device("COMX").Setpoint_gui, 50);

    // Shown again, the volumetric unit stays volumetric through another "Apply".
    Focus("COMY");
    Focus("COMX");
    EXPECT_TRUE(Shown("EditFlowUnitTemperatureC"));
    ClickApply();
    EXPECT_EQ(Device("COMX").FlowUnitUser.GasFlowType, gfuVolumetric);
    EXPECT_EQ(Device("COMX").FlowUnitUser.Temperature, 0);
}

TEST_F(ConfigureTest, APumpShowsItsDetailsAndThePlannedDispense) {
    TDeviceInfo pump = NewFoundDevice("PUMP1", dtPump, "9");
    pump.SyringeSizeµL = 12.5;
    pump.MaxFlow_µlpm = 312.5;
    DevicesLocal().push_back(pump);
    TDeviceInfo mixer = NewFoundDevice("MIX1", dtMFCA, "7");
    mixer.FluidID = kNitrogen;
    DevicesLocal().push_back(mixer);
    TEngineSettings settings;
    settings.DataFolder = std::filesystem::path(folder.path().toStdString());
    form = std::make_unique<TGUIF>(settings);

    Focus("PUMP1");
    EXPECT_EQ(Row("PUMP1")->text(3), "Pump");
    EXPECT_TRUE(Shown("GroupBoxConfigurePump"));
    EXPECT_FALSE(Shown("GroupBoxFlowUnit"));
    EXPECT_TRUE(Shown("ComboBoxDeviceFluidPump"));
    EXPECT_FALSE(Shown("ComboBoxDeviceFluid"));
    EXPECT_EQ(Value("RtDoubleEditSyringeSizeµL"), 12.5);
    EXPECT_EQ(Value("RtDoubleEditDevMaxFlow"), 312.5);
    EXPECT_EQ(Text("LabelSpecifiedFlowUnit"), "µl/min");

    Child<QDoubleSpinBox>("RtDoubleEditSegmentFlow")->setValue(50);
    const QString planned = Text("LabelResultingFlowinSpecifiedUnit");
    EXPECT_TRUE(planned.startsWith("Desired/Achievable || 156.25 / ")) << planned.toStdString();
    EXPECT_TRUE(planned.contains(" || µl/min || Relative error:")) << planned.toStdString();
    EXPECT_TRUE(planned.endsWith(" %")) << planned.toStdString();
    EXPECT_FALSE(planned.contains("  "));
    // The planned pump program goes to the log.
    EXPECT_TRUE(Child<QPlainTextEdit>("MemoMain")->toPlainText().contains("gIV6000A24000OV"));

    // A Kestra controller names its gas in the Device column once shown.
    Focus("MIX1");
    EXPECT_EQ(Row("MIX1")->text(3), "MFC-A:N2");
    Focus("PUMP1");

    // Without a fluid the pump is not touched.
    ClickApply();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"No fluid selected for Pump"});
    EXPECT_EQ(Device("PUMP1").ThreadPump, nullptr);
}

TEST_F(ConfigureTest, RunButtonsActOnTheSelectedDevicesAndTheRowsShowTheirState) {
    Configure("COMX", kNitrogen);
    Child<QDoubleSpinBox>("RtDoubleEditDirectControlDesiredFlow")->setValue(40);
    struct Step {
        const char* button;
        tDeviceControlMode mode;
        double setpoint;
        const char* state;
    };
    for (const Step& step : {Step{"BitBtn7", dcmDirect, 40, "Direct"}, Step{"BitBtn8", dcmIdle, 0, "Ready"},
                             Step{"BitBtn1", dcmSegment, 0, "Segment"}, Step{"BitBtn2", dcmIdle, 0, "Ready"}}) {
        SCOPED_TRACE(step.button);
        Child<QPushButton>(step.button)->click();
        EXPECT_EQ(Device("COMX").ControlMode, step.mode);
        EXPECT_EQ(Device("COMX").Setpoint_pct, step.setpoint);
        EXPECT_EQ(Row("COMX")->text(1), step.state);
    }
}

TEST_F(ConfigureTest, AfterACommandOnSeveralDevicesApplyActsOnTheFocusedDeviceItShows) {
    Configure("COMY", kAir);
    Configure("COMX", kNitrogen);
    SelectRows({"COMY", "COMX"});  // both selected, COMX focused
    Child<QPushButton>("BitBtn1")->click();
    ASSERT_EQ(Device("COMY").ControlMode, dcmSegment);

    EXPECT_EQ(Child<TColorPickCombo>("RtColorPickComboDeviceColor")->color(), QColor::fromRgba(Device("COMX").Color));
    ClickApply();
    EXPECT_EQ(Device("COMX").FluidID, kNitrogen);
    EXPECT_EQ(Device("COMX").Color, DemoDevices()[0].Color);
    EXPECT_EQ(Device("COMY").ControlMode, dcmSegment);  // only the shown device is applied
}

TEST_F(ConfigureTest, ARefusedNumberStaysAsTypedIsShownAndStopsTheCommandThatUsesIt) {
    Configure("COMX", kNitrogen);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    Child<QTabWidget>("PageControlMain")->setCurrentWidget(Child<QWidget>("TabSheetDirectControl"));
    auto* setpoint = Child<TNumberEdit>("RtDoubleEditDirectControlDesiredFlow");
    setpoint->setFocus();
    setpoint->selectAll();
    QTest::keyClicks(setpoint, "15");
    QTest::keyClick(setpoint, Qt::Key_Tab);
    ASSERT_EQ(Device("COMX").Setpoint_gui, 15);

    for (const char* typed : {"150", "-5", "abc"}) {
        SCOPED_TRACE(typed);
        messages.messages.clear();
        setpoint->setFocus();
        setpoint->selectAll();
        QTest::keyClicks(setpoint, typed);
        QTest::keyClick(setpoint, Qt::Key_Tab);  // leaving the field keeps the text
        EXPECT_EQ(setpoint->text(), typed);
        EXPECT_FALSE(setpoint->HasAcceptableText());
        EXPECT_TRUE(setpoint->styleSheet().contains("border"));
        EXPECT_EQ(setpoint->toolTip(), "Not a number from 0 to 100");

        Child<QPushButton>("BitBtn7")->click();
        EXPECT_EQ(messages.messages, std::vector<std::string>{"Setpoint, %: type a number from 0 to 100."});
        EXPECT_EQ(Device("COMX").ControlMode, dcmIdle);  // nothing applied
        EXPECT_EQ(Device("COMX").Setpoint_pct, 0);
    }

    setpoint->selectAll();
    QTest::keyClicks(setpoint, "40");
    EXPECT_TRUE(setpoint->styleSheet().isEmpty());
    EXPECT_EQ(setpoint->toolTip(), "Allowed: from 0 to 100");
}

TEST_F(ConfigureTest, AReferencePressureOfZeroIsRefusedByApply) {
    Focus("COMX");
    ChooseGas(kAir);
    PickReferenceRow(4);
    auto* pressure = Child<TNumberEdit>("EditFlowUnitPressureBar");
    pressure->selectAll();
    QTest::keyClicks(pressure, "0");
    ClickApply();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Pressure, bar: type a number above 0 and at most 10000."});
    EXPECT_EQ(Device("COMX").ThreadMFC, nullptr);
}

// Reference conditions keep every decimal the operator typed: in the note, in the device, and
// when the device is shown again, so that a second "Apply" stores the same unit.
TEST_F(ConfigureTest, TypedReferenceConditionsKeepEveryDecimal) {
    Focus("COMX");
    ChooseGas(kAir);
    PickReferenceRow(4);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* temperature = Child<TNumberEdit>("EditFlowUnitTemperatureC");
    auto* pressure = Child<TNumberEdit>("EditFlowUnitPressureBar");
    for (const auto& [field, typed] : {std::pair{temperature, "21.115"}, {pressure, "1.0132501"}}) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Tab);
    }
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 21.115);
    EXPECT_EQ(Text("LabelUnitTemp"), "70.007ºF");
    EXPECT_EQ(Value("EditFlowUnitPressureBar"), 1.0132501);
    ClickApply();
    EXPECT_EQ(Device("COMX").FlowUnitUser.Temperature, 21.115);
    EXPECT_EQ(Device("COMX").FlowUnitUser.Pressure_BarA, 1.0132501);

    // Shown again and applied again, the unit is the one stored.
    Focus("COMY");
    Focus("COMX");
    EXPECT_EQ(Value("EditFlowUnitTemperatureC"), 21.115);
    EXPECT_EQ(Value("EditFlowUnitPressureBar"), 1.0132501);
    ClickApply();
    EXPECT_EQ(Device("COMX").FlowUnitUser.Temperature, 21.115);
    EXPECT_EQ(Device("COMX").FlowUnitUser.Pressure_BarA, 1.0132501);
}

TEST_F(ConfigureTest, ShowingAnotherDeviceDoesNotTypeItsSetpointIntoTheFocusedOne) {
    Focus("COMX");
    Child<QDoubleSpinBox>("RtDoubleEditDirectControlDesiredFlow")->setValue(40);
    Focus("COMY");
    Child<QDoubleSpinBox>("RtDoubleEditDirectControlDesiredFlow")->setValue(60);
    TDeviceInfo first = Device("COMX");
    form->ShowDevice(first);
    EXPECT_EQ(Device("COMX").Setpoint_gui, 40);
    EXPECT_EQ(Device("COMY").Setpoint_gui, 60);
}

}  // namespace
}  // namespace tessaro
