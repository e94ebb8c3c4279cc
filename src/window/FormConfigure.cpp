// The "Configure" tab of the main window: the device's name, colour, gas or fluid, the pump
// details and the flow unit group; showing a device record in the window and taking the
// tab's values into it; "Apply", which brings a device into service.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <initializer_list>

#include "ColorPickCombo.h"
#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "StatusLed.h"
#include "gases/GasMixtures.h"
#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

constexpr int kTagRole = Qt::UserRole;
constexpr int kHeaderRow = 0;
constexpr int kWaterFluidID = 1001;
constexpr int kShortNameWidth = 9;
constexpr double kPumpFluidMolarMass = 10;
constexpr double kFullScalePerSyringeMicrolitre = 25;  // µL/min of full scale per µL of syringe
constexpr std::array<double, 12> kSyringeSizes_µL = {12.5, 25, 50, 100, 125, 250, 500, 1000, 1250, 2500, 5000, 12500};

// Keeps the busy cursor up while a handler talks to an instrument on the window thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QString FluidRow(const std::string& shortName, const std::string& formula, const std::string& rest) {
    return QString::fromStdString(LeftAligned(shortName, kShortNameWidth) + " " +
                                  LeftAligned(formula, kShortNameWidth) + " " + rest);
}

// The 24-bit blue-green-red number of a colour (blue in the high byte), as the colour code
// label shows it.
QString BlueGreenRedCode(const QColor& color) {
    const int code = (color.blue() << 16) | (color.green() << 8) | color.red();
    return QString::asprintf("%08d", code);
}

}  // namespace

// --- Building ---------------------------------------------------------------------------------

QWidget* TGUIF::BuildConfigureTab() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("TabSheetConfigure");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    auto* content = new QWidget(scroll);
    content->setObjectName("PanelConfigure");
    auto* columns = new QHBoxLayout(content);
    columns->addWidget(BuildConfigureDeviceFields(), 1);

    auto* groups = new QVBoxLayout;
    groups->addWidget(BuildConfigurePumpGroup());
    groups->addWidget(BuildConfigureFlowUnitGroup());
    groups->addStretch(1);
    columns->addLayout(groups, 1);

    scroll->setWidget(content);
    return scroll;
}

QWidget* TGUIF::BuildConfigureDeviceFields() {
    auto* panel = new QWidget(this);
    panel->setObjectName("PanelConfigureDevice");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);

    EditDeviceName = NewLineEdit("EditDeviceName", "e.g. Cathode side", panel);
    AddCaptionedRow(grid, 0, "LabelDeviceName", "Device Name", EditDeviceName, 2);

    EditDeviceType = NewLineEdit("EditDeviceType", QString(), panel);
    EditDeviceType->setReadOnly(true);
    AddCaptionedRow(grid, 1, "LabelDeviceType", "Device Type", EditDeviceType, 2);

    RtColorPickComboDeviceColor = new TColorPickCombo(panel);
    RtColorPickComboDeviceColor->setObjectName("RtColorPickComboDeviceColor");
    AddCaptionedRow(grid, 2, "LabelColor", "Device color in software", RtColorPickComboDeviceColor);
    LabelDeviceColor = NewLabel("LabelDeviceColor", "Color code", panel);
    grid->addWidget(LabelDeviceColor, 2, 2);

    // The gas list of flow controllers and the fluid list of pumps share one place; only one
    // of them is shown, the gas list until a pump is shown.
    QLabel* fluid = NewLabel("LabelFluid", "Fluid", panel);
    ComboBoxDeviceFluid = NewFixedPitchList("ComboBoxDeviceFluid", panel);
    ComboBoxDeviceFluidPump = NewFixedPitchList("ComboBoxDeviceFluidPump", panel);
    ComboBoxDeviceFluidPump->hide();
    fluid->setBuddy(ComboBoxDeviceFluid);
    grid->addWidget(fluid, 3, 0);
    grid->addWidget(ComboBoxDeviceFluid, 3, 1, 1, 2);
    grid->addWidget(ComboBoxDeviceFluidPump, 3, 1, 1, 2);

    ButtonApplyConfiguration = NewButton("BitBtn6", "Apply", panel);
    grid->addWidget(ButtonApplyConfiguration, 4, 1, Qt::AlignLeft);

    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
    return panel;
}

QWidget* TGUIF::BuildConfigurePumpGroup() {
    GroupBoxConfigurePump = new QGroupBox("Pump details", this);
    GroupBoxConfigurePump->setObjectName("GroupBoxConfigurePump");
    auto* grid = new QGridLayout(GroupBoxConfigurePump);

    RtDoubleEditSyringeSize = NewNumberEdit("RtDoubleEditSyringeSizeµL", 12.5, 12500, 12500, 2, GroupBoxConfigurePump);
    AddCaptionedRow(grid, 0, "LabelSyringeSize", "Syringe size, µL", RtDoubleEditSyringeSize);
    RtDoubleEditFluidTemperature =
        NewNumberEdit("RtDoubleEditFluidTemperature", -273.15, 2000, -273.15, 2, GroupBoxConfigurePump);
    AddCaptionedRow(grid, 1, "LabelFluidTemperature", "Fluid temperature, ºC", RtDoubleEditFluidTemperature);
    QLineEdit* unit = NewLineEdit("EditPumpUnitName", "µl/min", GroupBoxConfigurePump);
    unit->setReadOnly(true);
    AddCaptionedRow(grid, 2, "LabelPumpUnitName", "Unit name", unit);

    GroupBoxConfigurePump->hide();
    return GroupBoxConfigurePump;
}

QWidget* TGUIF::BuildConfigureFlowUnitGroup() {
    GroupBoxFlowUnit = new QGroupBox("Flow unit", this);
    GroupBoxFlowUnit->setObjectName("GroupBoxFlowUnit");
    auto* grid = new QGridLayout(GroupBoxFlowUnit);

    EditFlowUnitName = NewLineEdit("EditFlowUnitName", "g/min", GroupBoxFlowUnit);
    AddCaptionedRow(grid, 0, "LabelFlowUnitName", "Unit name", EditFlowUnitName);

    ComboBoxFlowUnitPredefined = NewFixedPitchList("ComboBoxFlowUnitPredefined", GroupBoxFlowUnit);
    FillPredefinedReferenceConditions(ComboBoxFlowUnitPredefined);
    AddCaptionedRow(grid, 1, "LabelFlowUnitPredefined", "Some ref. conditions", ComboBoxFlowUnitPredefined, 2);

    // Reference temperature and pressure matter only for volumetric units; the unit starts
    // as grams, so they start hidden with their notes.
    EditFlowUnitTemperatureC = NewNumberEdit("EditFlowUnitTemperatureC", -273.15, 900000, 20, 2, GroupBoxFlowUnit);
    AddCaptionedRow(grid, 2, "LabelFlowUnitTemperature", "Temperature, ºC", EditFlowUnitTemperatureC);
    LabelUnitTemp = NewLabel("LabelUnitTemp", "Irrelevant when unit is g", GroupBoxFlowUnit);
    grid->addWidget(LabelUnitTemp, 2, 2);

    EditFlowUnitPressureBar = NewNumberEdit("EditFlowUnitPressureBar", 0, 10000, 1.01325, 5, GroupBoxFlowUnit);
    AddCaptionedRow(grid, 3, "LabelFlowUnitPressure", "Pressure, bar", EditFlowUnitPressureBar);
    LabelPSI = NewLabel("LabelPSI", "Irrelevant when unit is g", GroupBoxFlowUnit);
    grid->addWidget(LabelPSI, 3, 2);

    ShowFlowUnitFields(false);
    grid->setColumnStretch(1, 1);
    return GroupBoxFlowUnit;
}

void TGUIF::ConnectConfigureTab() {
    connect(ButtonApplyConfiguration, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonApplyConfigurationClick(); }); });
    connect(RtColorPickComboDeviceColor, &TColorPickCombo::colorChanged, this,
            [this] { Guarded([this] { RtColorPickComboDeviceColorChanged(); }); });
    // A row picked again after the fields were edited by hand sets them again.
    for (auto signal : {&QComboBox::currentIndexChanged, &QComboBox::activated})
        connect(ComboBoxFlowUnitPredefined, signal, this,
                [this] { Guarded([this] { ComboBoxFlowUnitPredefinedChange(); }); });
    connect(EditFlowUnitTemperatureC, &QDoubleSpinBox::valueChanged, this,
            [this] { Guarded([this] { EditFlowUnitTemperatureCValueChanged(); }); });
    connect(EditFlowUnitPressureBar, &QDoubleSpinBox::valueChanged, this,
            [this] { Guarded([this] { EditFlowUnitPressureBarValueChanged(); }); });
}

// --- Lists ------------------------------------------------------------------------------------------

void TGUIF::FillFluidLists() {
    ComboBoxDeviceFluid->clear();
    ComboBoxDeviceFluid->addItem(FluidRow("Shortname", "Formula", "Longname, recipe, comments"), 0);
    for (const TGasItem& gas : GasList())
        ComboBoxDeviceFluid->addItem(FluidRow(gas.NameShort, gas.Formula, gas.GetNameLong() + " "), gas.AlicatID);

    ComboBoxDeviceFluidPump->clear();
    ComboBoxDeviceFluidPump->addItem(FluidRow("Shortname", "Formula", "Longname (or recipe)"), 0);
    ComboBoxDeviceFluidPump->addItem(
        FluidRow("H2O", std::string(kShortNameWidth, ' '), "Only use deionized or distilled water"), kWaterFluidID);
    for (QComboBox* list : {ComboBoxDeviceFluid, ComboBoxDeviceFluidPump})
        list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));
}

void TGUIF::SelectRowTagged(QComboBox* list, int tag) {
    // The header row carries tag 0 as well, so the search starts below it.
    for (int row = kHeaderRow + 1; row < list->count(); ++row) {
        if (list->itemData(row, kTagRole).toInt() == tag) {
            list->setCurrentIndex(row);
            return;
        }
    }
    list->setCurrentIndex(kHeaderRow);
}

// --- Showing a device ----------------------------------------------------------------------------

void TGUIF::ShowDevice(TDeviceInfo& device) { DeviceDetailsUI(tdGUI, device); }

void TGUIF::DeviceDetailsUI(TDirectionTo aDirection, TDeviceInfo& aDevInfo) {
    if (aDirection == tdGUI) {
        ShowDeviceIdentity(aDevInfo);
        ShowDirectSetpoint(aDevInfo.Setpoint_pct);
        FillSegmentTable(aDevInfo.SegmentProgram);
        SegmentSerie(aDevInfo, false);
        ShowDirectSetpoint(aDevInfo.Setpoint_gui);
        SetRowTexts(aDevInfo);
        if (aDevInfo.DevType == dtPump)
            ShowPumpDetails(aDevInfo);
        else
            ShowFlowControllerDetails(aDevInfo);
        MemoSegmentsUpdate();
        return;
    }

    if (aDevInfo.DevType == dtPump)
        TakePumpFluid(aDevInfo);
    else
        TakeFlowControllerGasAndUnit(aDevInfo);
    aDevInfo.NameRole = EditDeviceName->text().toStdString();
    aDevInfo.Color = RtColorPickComboDeviceColor->color().rgba();
    aDevInfo.FluidTemperatureC = RtDoubleEditFluidTemperature->value();
    aDevInfo.Setpoint_gui = RtDoubleEditDirectControlDesiredFlow->value();
    TakeSyringeSize(aDevInfo);
}

void TGUIF::ShowDeviceIdentity(const TDeviceInfo& device) {
    const std::string instrument = InstrumentName(device.DevType);
    const std::string kind = DeviceTypeName(device.DevType);
    LabelSelectedDeviceNameRole->setText(QString::fromStdString(device.NameRole + " " + instrument + " " + kind));
    EditDeviceType->setText(QString::fromStdString(instrument + " " + kind));
    EditDeviceName->setText(QString::fromStdString(device.NameRole));
    RtColorPickComboDeviceColor->setColor(QColor::fromRgba(device.Color));
}

void TGUIF::ShowDirectSetpoint(double value) {
    // Showing a device does not type a setpoint: the field's change handler would store the
    // shown value as the typed setpoint of whichever device has the focus.
    const QSignalBlocker quiet(RtDoubleEditDirectControlDesiredFlow);
    RtDoubleEditDirectControlDesiredFlow->setValue(value);
}

void TGUIF::ShowPumpDetails(const TDeviceInfo& device) {
    GroupBoxConfigurePump->show();
    GroupBoxFlowUnit->hide();
    RtDoubleEditFluidTemperature->setValue(device.FluidTemperatureC);
    RtDoubleEditSyringeSize->setValue(device.SyringeSizeµL);
    RtDoubleEditDevMaxFlow->setValue(device.MaxFlow_µlpm);
    LabelSpecifiedFlowUnit->setText("µl/min");
    ComboBoxDeviceFluidPump->show();
    ComboBoxDeviceFluid->hide();
    if (device.FluidID == -1 || device.FluidID == 0)
        ComboBoxDeviceFluidPump->setCurrentIndex(kHeaderRow);
    else
        SelectRowTagged(ComboBoxDeviceFluidPump, device.FluidID);
    UpdateGasFlowUnits();
}

void TGUIF::ShowFlowControllerDetails(const TDeviceInfo& device) {
    GroupBoxConfigurePump->hide();
    GroupBoxFlowUnit->show();
    const TGasFlowDetails& unit = device.FlowUnitUser;
    const bool volumetric = unit.GasFlowType != gfuGrams;
    ShowFlowUnitFields(volumetric);
    EditFlowUnitName->setText(QString::fromStdString(unit.Name));
    EditFlowUnitTemperatureC->setValue(unit.Temperature);
    EditFlowUnitPressureBar->setValue(unit.Pressure_BarA);
    EditFlowUnitTemperatureCValueChanged();
    EditFlowUnitPressureBarValueChanged();
    {
        // The list of reference conditions follows the kind of the shown unit, so that
        // "Apply" keeps a volumetric unit volumetric; no row is applied by this.
        const QSignalBlocker quiet(ComboBoxFlowUnitPredefined);
        ComboBoxFlowUnitPredefined->setCurrentIndex(volumetric ? kHeaderRow : kPredefinedGramsRow);
    }
    UpdateGasFlowUnits();
    ComboBoxDeviceFluid->show();
    ComboBoxDeviceFluidPump->hide();
    if (device.FluidID == -1)
        ComboBoxDeviceFluid->setCurrentIndex(kHeaderRow);
    else
        SelectRowTagged(ComboBoxDeviceFluid, device.FluidID);
}

void TGUIF::ShowFlowUnitFields(bool volumetric) {
    for (QWidget* field :
         std::initializer_list<QWidget*>{EditFlowUnitTemperatureC, EditFlowUnitPressureBar, LabelUnitTemp, LabelPSI})
        field->setVisible(volumetric);
}

// --- Taking the tab's values --------------------------------------------------------------------------

void TGUIF::TakePumpFluid(TDeviceInfo& device) {
    if (ComboBoxDeviceFluidPump->currentIndex() > kHeaderRow)
        device.FluidID = ComboBoxDeviceFluidPump->currentData(kTagRole).toInt();
    device.FlowUnitUser.GasMolarMass = kPumpFluidMolarMass;
    MM("Selected G(fluid)ID:" + std::to_string(device.FluidID));
}

void TGUIF::TakeFlowControllerGasAndUnit(TDeviceInfo& device) {
    if (ComboBoxDeviceFluid->currentIndex() > kHeaderRow) {
        device.FluidID = ComboBoxDeviceFluid->currentData(kTagRole).toInt();
        TGasItem gas;
        GetGas_ID(device.FluidID, gas);
        const double molarMass = gas.GetMolarMass();
        device.FlowUnitUser.GasMolarMass = molarMass;
        device.FlowUnitDevice.GasMolarMass = molarMass;
        // The data table's header names the gas of each column.
        device.FlowUnitUser.GasName = gas.NameShort;
        device.FlowUnitDevice.GasName = gas.NameShort;
    }
    TGasFlowDetails& unit = device.FlowUnitUser;
    unit.Name = EditFlowUnitName->text().toStdString();
    unit.Temperature = EditFlowUnitTemperatureC->value();
    unit.Pressure_BarA = EditFlowUnitPressureBar->value();
    unit.GasFlowType = ComboBoxFlowUnitPredefined->currentIndex() == kPredefinedGramsRow ? gfuGrams : gfuVolumetric;
}

void TGUIF::TakeSyringeSize(TDeviceInfo& device) {
    const double size = RtDoubleEditSyringeSize->value();
    if (std::find(kSyringeSizes_µL.begin(), kSyringeSizes_µL.end(), size) == kSyringeSizes_µL.end()) {
        ShowMessage("Invalid syring volume, value ignored");
        return;
    }
    device.MaxFlow_µlpm = kFullScalePerSyringeMicrolitre * size;
    device.SyringeSizeµL = size;
    StoreDevice(device);
}

// --- Apply -------------------------------------------------------------------------------------------

void TGUIF::ButtonApplyConfigurationClick() {
    TDeviceInfo device;
    if (!GetSelectedDevice(device)) return;
    if (device.DevType == dtPump) {
        if (ComboBoxDeviceFluidPump->currentIndex() <= kHeaderRow) return ShowMessage("No fluid selected for Pump");
    } else if (ComboBoxDeviceFluid->currentIndex() <= kHeaderRow) {
        return ShowMessage("No fluid selected for MFC");
    }

    DeviceDetailsUI(tdCODE, device);

    const bool wasRunning = device.IsConfigured() && device.ControlMode != dcmIdle;
    bool started = false;
    {
        const BusyCursor busy;
        started = device.StartThread();
    }
    if (started) device.Led = AddLedForThread();
    const int s = GetDPIScaling();
    for (const QPointer<TLed>& led : deviceLeds_) {
        if (!led || led.data() != device.Led) continue;
        led->SetOffColor(QColor::fromRgba(device.Color));
        led->resize(16 * s, 16 * s);
    }

    device.ControlMode = dcmIdle;
    // A device applied while it runs goes idle at zero flow, as after "Stop": left alone, its
    // instrument would keep the last setpoint it was given while the list reads "Ready".
    if (wasRunning) {
        device.Setpoint_pct = 0;
        if (device.ThreadMFC) device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 0;
        if (device.ThreadPump) {
            device.ThreadPump->GUIOut.Command = "TR";
            device.ThreadPump->GUIOut.Setpoint = 0;
        }
    }

    if (!StoreDevice(device)) return ShowMessage("Saving device configuration failed");
    DeviceDetailsUI(tdGUI, device);
    engine_->DataHeaderPending = true;
}

void TGUIF::RtColorPickComboDeviceColorChanged() {
    LabelDeviceColor->setText(BlueGreenRedCode(RtColorPickComboDeviceColor->color()));
}

}  // namespace tessaro
