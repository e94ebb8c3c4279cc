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
#include <initializer_list>

#include "ColorPickCombo.h"
#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "ReflowRow.h"
#include "StatusLed.h"
#include "gases/GasMixtures.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

constexpr int kTagRole = Qt::UserRole;
constexpr int kHeaderRow = 0;
constexpr int kWaterFluidID = 1001;
constexpr int kShortNameWidth = 9;

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

}  // namespace

// --- Building ---------------------------------------------------------------------------------

QWidget* TGUIF::BuildConfigureTab() {
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("TabSheetConfigure");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    // The groups stand beside the device fields where the page is wide enough, below them
    // where it is not.
    auto* content = new TReflowRow(scroll);
    content->setObjectName("PanelConfigure");
    content->AddPart(BuildConfigureDeviceFields(), 1);

    auto* groups = new QVBoxLayout;
    groups->addWidget(BuildConfigurePumpGroup());
    groups->addWidget(BuildConfigureFlowUnitGroup());
    groups->addStretch(1);
    content->AddPart(groups, 1);

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
    // of them is shown, the gas list until a pump is shown. Each has its own caption, so that
    // screen readers find the shown one labelled.
    ComboBoxDeviceFluid = NewFixedPitchList("ComboBoxDeviceFluid", panel);
    AddCaptionedRow(grid, 3, "LabelFluid", "Fluid", ComboBoxDeviceFluid, 2);
    ComboBoxDeviceFluidPump = NewFixedPitchList("ComboBoxDeviceFluidPump", panel);
    AddCaptionedRow(grid, 3, "LabelFluidPump", "Fluid", ComboBoxDeviceFluidPump, 2);
    ComboBoxDeviceFluidPump->hide();

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
    EditFlowUnitTemperatureC =
        NewNumberEdit("EditFlowUnitTemperatureC", -273.15, 900000, 20, kKeepEveryDecimal, GroupBoxFlowUnit);
    // Volumes at absolute zero or at no pressure are no reference conditions.
    EditFlowUnitTemperatureC->SetAllowedRange(-273.15, 900000, true);
    AddCaptionedRow(grid, 2, "LabelFlowUnitTemperature", "Temperature, ºC", EditFlowUnitTemperatureC);
    LabelUnitTemp = NewLabel("LabelUnitTemp", "Irrelevant when unit is g", GroupBoxFlowUnit);
    grid->addWidget(LabelUnitTemp, 2, 2);

    EditFlowUnitPressureBar =
        NewNumberEdit("EditFlowUnitPressureBar", 0, 10000, 1.01325, kKeepEveryDecimal, GroupBoxFlowUnit);
    EditFlowUnitPressureBar->SetAllowedRange(0, 10000, true);
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

void TGUIF::ShowDevice(TDeviceInfo& device) {
    DescribeDeviceLed(device);
    DeviceDetailsUI(tdGUI, device);
}

void TGUIF::ShowNoDevice() {
    shownPort_.clear();
    EditDeviceType->setText("No valid device selected");
    EditDeviceName->clear();
    LabelDeviceColor->clear();
    ComboBoxDeviceFluid->setCurrentIndex(kHeaderRow);
    ComboBoxDeviceFluidPump->setCurrentIndex(kHeaderRow);
    EditFlowUnitName->clear();
    ShowFlowUnitFields(false);
    EnableConfigurationFields(false);
}

void TGUIF::EnableConfigurationFields(bool enabled) {
    for (QWidget* field : std::initializer_list<QWidget*>{
             EditDeviceName, RtColorPickComboDeviceColor, ComboBoxDeviceFluid, ComboBoxDeviceFluidPump,
             GroupBoxConfigurePump, GroupBoxFlowUnit, ButtonApplyConfiguration})
        field->setEnabled(enabled);
}

void TGUIF::DeviceDetailsUI(TDirectionTo aDirection, TDeviceInfo& aDevInfo) {
    if (aDirection == tdGUI) {
        shownPort_ = aDevInfo.COMPort;
        EnableConfigurationFields(true);
        ShowDeviceIdentity(aDevInfo);
        ShowDirectSetpoint(aDevInfo.Setpoint_pct);
        FillSegmentTable(aDevInfo.SegmentProgram);
        ShowProgramOptions(aDevInfo);
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

    engine_->TakeConfiguration(aDevInfo, ConfigurationEntry(aDevInfo));
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

TConfigurationEntry TGUIF::ConfigurationEntry(const TDeviceInfo& device) const {
    TConfigurationEntry entry;
    const QComboBox* fluids = device.DevType == dtPump ? ComboBoxDeviceFluidPump : ComboBoxDeviceFluid;
    if (fluids->currentIndex() > kHeaderRow) entry.FluidID = fluids->currentData(kTagRole).toInt();
    entry.NameRole = EditDeviceName->text().toStdString();
    entry.Color = RtColorPickComboDeviceColor->color().rgba();
    entry.UnitName = EditFlowUnitName->text().toStdString();
    entry.UnitTemperatureC = EditFlowUnitTemperatureC->value();
    entry.UnitPressureBar = EditFlowUnitPressureBar->value();
    entry.UnitIsGrams = ComboBoxFlowUnitPredefined->currentIndex() == kPredefinedGramsRow;
    entry.SyringeSize_µL = RtDoubleEditSyringeSize->value();
    entry.FluidTemperatureC = RtDoubleEditFluidTemperature->value();
    entry.Setpoint_gui = RtDoubleEditDirectControlDesiredFlow->value();
    return entry;
}

// --- Apply -------------------------------------------------------------------------------------------

bool TGUIF::FieldsAccepted(std::initializer_list<const TNumberEdit*> fields) const {
    for (const TNumberEdit* field : fields) {
        if (field->HasAcceptableText()) continue;
        ShowMessage(field->RefusalMessage().toStdString());
        return false;
    }
    return true;
}

void TGUIF::ButtonApplyConfigurationClick() {
    // The values on the page are those of the device shown last, whichever row has the
    // focus now.
    TDeviceInfo device;
    if (!FocusedPort() || !FindDevice(shownPort_, device)) return;
    const bool accepted = device.DevType == dtPump
                              ? FieldsAccepted({RtDoubleEditSyringeSize, RtDoubleEditFluidTemperature})
                              : ComboBoxFlowUnitPredefined->currentIndex() == kPredefinedGramsRow ||
                                    FieldsAccepted({EditFlowUnitTemperatureC, EditFlowUnitPressureBar});
    if (!accepted) return;
    // Starting a pump's worker talks to the pump first, which may take a while.
    const BusyCursor busy;
    // The designer's groups show the device's new gas and unit.
    if (engine_->ApplyConfiguration(shownPort_, ConfigurationEntry(device))) FollowSelectionInDesigner(true);
}

void TGUIF::RtColorPickComboDeviceColorChanged() {
    LabelDeviceColor->setText(QString::fromStdString(BlueGreenRedCode(RtColorPickComboDeviceColor->color().rgba())));
}

}  // namespace tessaro
