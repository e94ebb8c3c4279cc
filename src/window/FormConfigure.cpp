// The "Configure" tab of the main window: the device's name, colour, gas or fluid, the pump
// details and the flow unit group.

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <initializer_list>

#include "ColorPickCombo.h"
#include "Form.h"

namespace tessaro {

namespace {

constexpr int kFluidListVisibleRows = 30;

// Keeps a caption label shown exactly while its field is, so that code showing or hiding a
// field never has to know about the caption.
class CaptionFollowsField : public QObject {
public:
    CaptionFollowsField(QLabel* caption, QWidget* field) : QObject(caption), caption_(caption) {
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent) caption_->show();
        if (event->type() == QEvent::HideToParent) caption_->hide();
        return QObject::eventFilter(watched, event);
    }

private:
    QLabel* caption_;
};

QLabel* NewLabel(const char* name, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* NewLineEdit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    return edit;
}

QDoubleSpinBox* NewNumberEdit(const char* name, double minimum, double maximum, double value, int decimals,
                              QWidget* parent) {
    auto* edit = new QDoubleSpinBox(parent);
    edit->setObjectName(name);
    edit->setDecimals(decimals);
    edit->setRange(minimum, maximum);
    edit->setValue(value);
    edit->setKeyboardTracking(false);
    return edit;
}

QComboBox* NewFixedPitchList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->setMaxVisibleItems(kFluidListVisibleRows);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(28);
    return list;
}

// Adds "caption: field" as one row of a grid; the caption follows the field's visibility.
void AddCaptionedRow(QGridLayout* grid, int row, const char* captionName, const QString& caption, QWidget* field,
                     int columnSpan = 1) {
    QLabel* label = NewLabel(captionName, caption, field->parentWidget());
    label->setBuddy(field);
    new CaptionFollowsField(label, field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, 1, columnSpan);
}

const char* const kPredefinedReferenceConditions[] = {
    "ºC    ºF     Bar      Standard",
    "n/a    n/a   n/a      g, grams",
    "0      32    1.01325  NIST, ISO 10780, (IUPAC until 1982)",
    "20     68    1.01325  EPA, NIST",
    "25     77    1.01325  SATP, EPA",
    "0      32    1        IUPAC since 1982",
    "0      32    1.01325  DIN 1343:1990",
    "15     59    0.9999   U.S. Army Standard Metro (RH: 78%)",
    "15     59    1.00000  SPE",
    "15     59    1.0133   ISO 2314, ISO 3977-2, ASHRAE Fundamentals Handbook (RH: 60%)",
    "15     59    1.013    FAA",
    "15     59    1.01325  ICAO's ISA, ISO 13443, EEA, EGIA (SI Definition)",
    "15     59    1.01325  ISO 2533:1975, ISO 13443:2005, ISO 7504:2015",
    "15.56  60    1.0133   SPE, U.S. OSHA, SCAQMD",
    "15.56  60    1.016    EGIA (Imperial System Definition)",
    "15.56  60    1.0135   U.S. DOT (SCF)",
    "20     68    1.00000  CAGI",
    "20     68    1.013    ISO 5011 (RH: 50%)",
    "20     68    1.0133   GOST 2939-63",
    "20     68    1.01325  EN 14511-1:2013",
    "21.11  70    1.013    AMCA, air density = 0.075 lbm/ft3. This AMCA standard applies only to air;",
    "22     71.6  1.01325  American Association of Physicists in Medicine (RH: 20-80%)",
};
constexpr int kGramsRow = 1;

}  // namespace

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

    AddCaptionedRow(grid, 0, "LabelDeviceName", "Device Name",
                    NewLineEdit("EditDeviceName", "e.g. Cathode side", panel));

    QLineEdit* type = NewLineEdit("EditDeviceType", QString(), panel);
    type->setReadOnly(true);
    AddCaptionedRow(grid, 1, "LabelDeviceType", "Device Type", type);

    auto* color = new TColorPickCombo(panel);
    color->setObjectName("RtColorPickComboDeviceColor");
    AddCaptionedRow(grid, 2, "LabelColor", "Device color in software", color);
    grid->addWidget(NewLabel("LabelDeviceColor", "Color code", panel), 2, 2);

    // The gas list of flow controllers and the fluid list of pumps share one place; only one
    // of them is shown, the gas list until a pump is shown.
    QLabel* fluid = NewLabel("LabelFluid", "Fluid", panel);
    QComboBox* gases = NewFixedPitchList("ComboBoxDeviceFluid", panel);
    QComboBox* pumpFluids = NewFixedPitchList("ComboBoxDeviceFluidPump", panel);
    pumpFluids->hide();
    fluid->setBuddy(gases);
    grid->addWidget(fluid, 3, 0);
    grid->addWidget(gases, 3, 1, 1, 2);
    grid->addWidget(pumpFluids, 3, 1, 1, 2);

    auto* apply = new QPushButton("Apply", panel);
    apply->setObjectName("BitBtn6");
    apply->setEnabled(false);
    grid->addWidget(apply, 4, 1, Qt::AlignLeft);

    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
    return panel;
}

QWidget* TGUIF::BuildConfigurePumpGroup() {
    auto* group = new QGroupBox("Pump details", this);
    group->setObjectName("GroupBoxConfigurePump");
    auto* grid = new QGridLayout(group);

    AddCaptionedRow(grid, 0, "LabelSyringeSize", "Syringe size, µL",
                    NewNumberEdit("RtDoubleEditSyringeSizeµL", 12.5, 12500, 12500, 2, group));
    AddCaptionedRow(grid, 1, "LabelFluidTemperature", "Fluid temperature, ºC",
                    NewNumberEdit("RtDoubleEditFluidTemperature", -273.15, 2000, -273.15, 2, group));
    QLineEdit* unit = NewLineEdit("EditPumpUnitName", "µl/min", group);
    unit->setReadOnly(true);
    AddCaptionedRow(grid, 2, "LabelPumpUnitName", "Unit name", unit);

    group->hide();
    return group;
}

QWidget* TGUIF::BuildConfigureFlowUnitGroup() {
    auto* group = new QGroupBox("Flow unit", this);
    group->setObjectName("GroupBoxFlowUnit");
    auto* grid = new QGridLayout(group);

    AddCaptionedRow(grid, 0, "LabelFlowUnitName", "Unit name", NewLineEdit("EditFlowUnitName", "g/min", group));

    QComboBox* predefined = NewFixedPitchList("ComboBoxFlowUnitPredefined", group);
    for (const char* row : kPredefinedReferenceConditions) predefined->addItem(row);
    predefined->setCurrentIndex(kGramsRow);
    // The rows are long; the field stays narrow and the open list shows them whole.
    predefined->setMinimumContentsLength(20);
    predefined->view()->setMinimumWidth(predefined->view()->sizeHintForColumn(0));
    AddCaptionedRow(grid, 1, "LabelFlowUnitPredefined", "Some ref. conditions", predefined, 2);

    // Reference temperature and pressure matter only for volumetric units; the unit starts
    // as grams, so they start hidden with their notes.
    QDoubleSpinBox* temperature = NewNumberEdit("EditFlowUnitTemperatureC", -273.15, 900000, 20, 2, group);
    AddCaptionedRow(grid, 2, "LabelFlowUnitTemperature", "Temperature, ºC", temperature);
    QLabel* fahrenheit = NewLabel("LabelUnitTemp", "Irrelevant when unit is g", group);
    grid->addWidget(fahrenheit, 2, 2);

    QDoubleSpinBox* pressure = NewNumberEdit("EditFlowUnitPressureBar", 0, 10000, 1.01325, 5, group);
    AddCaptionedRow(grid, 3, "LabelFlowUnitPressure", "Pressure, bar", pressure);
    QLabel* psi = NewLabel("LabelPSI", "Irrelevant when unit is g", group);
    grid->addWidget(psi, 3, 2);

    for (QWidget* hidden : std::initializer_list<QWidget*>{temperature, fahrenheit, pressure, psi}) hidden->hide();
    grid->setColumnStretch(1, 1);
    return group;
}

}  // namespace tessaro
