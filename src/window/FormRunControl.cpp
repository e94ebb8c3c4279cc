// The run controls of the main window: the "Design segments" tab with the selected device's
// segment table and the buttons that start and stop programs, and the "Direct control" tab
// with the setpoint applied at once. The commands themselves belong to the run engine.

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/ProgramRun.h"
#include "segments/SegmentEditing.h"

namespace tessaro {

namespace {

QGroupBox* NewGroup(const char* name, const QString& caption, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(name);
    return group;
}

}  // namespace

QWidget* TGUIF::BuildDesignSegmentsTab() {
    auto* page = new QWidget(this);
    page->setObjectName("TabSheetDesignSegments");
    auto* columns = new QHBoxLayout(page);

    auto* fields = new QWidget(page);
    fields->setObjectName("PanelSegmentFields");
    auto* grid = new QGridLayout(fields);
    grid->setContentsMargins(0, 0, 0, 0);

    grid->addWidget(NewLabel("LabelSelectedDevice", "Selected device", fields), 0, 0);
    LabelSelectedDeviceNameRole = NewLabel("LabelSelectedDeviceNameRole", QString(), fields);
    grid->addWidget(LabelSelectedDeviceNameRole, 0, 1, 1, 2);

    // Enough decimals that a time picked from the table in hours or days converts back to
    // the same minutes.
    RtDoubleEditSegmentTime = NewNumberEdit("RtDoubleEditSegmentTime", kSegmentStartTimeRange.Minimum,
                                            kSegmentStartTimeRange.Maximum, 0, 12, fields);
    LabelSegmentStartTime = AddCaptionedRow(grid, 1, "LabelSegmentStartTime", "Start time, m", RtDoubleEditSegmentTime);
    LabelSegmentStartTimeTimeConversions = NewLabel("LabelSegmentStartTimeTimeConversions", "Time conversions", fields);
    grid->addWidget(LabelSegmentStartTimeTimeConversions, 1, 2);

    RtDoubleEditSegmentFlow =
        NewNumberEdit("RtDoubleEditSegmentFlow", kSegmentFlowRange.Minimum, kSegmentFlowRange.Maximum, 0, 6, fields);
    AddCaptionedRow(grid, 2, "LabelSegmentFlow", "Segment flow, %", RtDoubleEditSegmentFlow);

    RtDoubleEditDevMaxFlow = NewNumberDisplay("RtDoubleEditDevMaxFlow", fields);
    RtDoubleEditDevMaxFlow->setEnabled(false);
    AddCaptionedRow(grid, 3, "LabelDevMaxFlow", "Maximum flow", RtDoubleEditDevMaxFlow);
    LabelSpecifiedFlowUnit = NewLabel("LabelSpecifiedFlowUnit", "Flow unit", fields);
    grid->addWidget(LabelSpecifiedFlowUnit, 3, 2);

    LabelResultingFlowinSpecifiedUnit =
        NewLabel("LabelResultingFlowinSpecifiedUnit", "Resulting flow in specified unit", fields);
    grid->addWidget(NewLabel("LabelResultingFlowCaption", "Resulting flow", fields), 4, 0);
    grid->addWidget(LabelResultingFlowinSpecifiedUnit, 4, 1, 1, 2);

    ButtonSegmentType = NewButton("BitBtn3", kStepType, fields);
    ShowSegmentType(kStepType);
    grid->addWidget(ButtonSegmentType, 5, 0);
    EditNote = NewLineEdit("EditNote", QString(), fields);
    EditNote->setPlaceholderText("Note");
    grid->addWidget(EditNote, 5, 1, 1, 2);

    QGroupBox* termination = NewGroup("RadioGroupSegmentTerminationType", "Segment program termination type", fields);
    RadioGroupSegmentTerminationType = termination;
    // In the order of their item numbers (TerminationOfItem); the safe one first and chosen.
    auto* zero = new QRadioButton("Go to 0 % after the last point", termination);
    zero->setObjectName("RadioButtonGoToZero");
    zero->setChecked(true);
    auto* keep = new QRadioButton("Keep last flow indefinitely", termination);
    keep->setObjectName("RadioButtonKeepLastFlow");
    auto* items = new QVBoxLayout(termination);
    items->addWidget(zero);
    items->addWidget(keep);
    grid->addWidget(termination, 6, 0, 1, 3);
    grid->addWidget(BuildProgramRunGroup(fields), 7, 0, 1, 3);

    auto* edits = new QHBoxLayout;
    edits->addWidget(NewButton("BitBtn4", "Add / Apply Segment", fields));
    edits->addWidget(NewButton("BitBtn5", "Delete segment", fields));
    grid->addLayout(edits, 8, 0, 1, 3);

    QGroupBox* selected = NewGroup("GroupBoxSelectedDevices", "Selected devices", fields);
    auto* runButtons = new QGridLayout(selected);
    runButtons->addWidget(NewButton("BitBtn1", "Start segment program(s)", selected), 0, 0);
    runButtons->addWidget(NewButton("BitBtn2", "Stop segment program(s)", selected), 0, 1);
    runButtons->addWidget(NewButton("ButtonHoldPrograms", "Hold program(s)", selected), 1, 0);
    runButtons->addWidget(NewButton("ButtonResumePrograms", "Resume program(s)", selected), 1, 1);
    grid->addWidget(selected, 9, 0, 1, 3);
    grid->setRowStretch(10, 1);
    grid->setColumnStretch(1, 1);

    ListViewSegmentProgram = new QTreeWidget(page);
    ListViewSegmentProgram->setObjectName("ListViewSegmentProgram");
    ListViewSegmentProgram->setHeaderLabels({"Time, m", "Flow, %", "Type", "Note"});
    ListViewSegmentProgram->setRootIsDecorated(false);
    ListViewSegmentProgram->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewSegmentProgram->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewSegmentProgram->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewSegmentProgram->header()->setSectionsClickable(false);
    ListViewSegmentProgram->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListViewSegmentProgram->setUniformRowHeights(true);

    PopupMenuSegment = new QMenu(this);
    PopupMenuSegment->setObjectName("PopupMenuSegment");
    PopupMenuSegment->addAction("Load Segment Program")->setObjectName("LoadSegmentProgram2");
    PopupMenuSegment->addAction("Save Segment Program As")->setObjectName("SaveSegmentProgramAs1");

    columns->addWidget(fields, 1);
    columns->addWidget(ListViewSegmentProgram, 1);
    return page;
}

QWidget* TGUIF::BuildProgramRunGroup(QWidget* parent) {
    QGroupBox* group = NewGroup("GroupBoxProgramRun", "Program run", parent);
    auto* grid = new QGridLayout(group);
    RtDoubleEditProgramRepeat = NewNumberEdit("RtDoubleEditProgramRepeat", kMinimumRepeat, kMaximumRepeat, 1, 0, group);
    AddCaptionedRow(grid, 0, "LabelProgramRepeat", "Repeat program, times", RtDoubleEditProgramRepeat);
    RtDoubleEditHoldbackBand = NewNumberEdit("RtDoubleEditHoldbackBand", 0, kMaximumBand_pct, 0, 3, group);
    AddCaptionedRow(grid, 1, "LabelHoldbackBand", "Holdback band, % of full scale", RtDoubleEditHoldbackBand);
    RtDoubleEditLongestHold = NewNumberEdit("RtDoubleEditLongestHold", 0, kMaximumSeconds, 60, 1, group);
    AddCaptionedRow(grid, 2, "LabelLongestHold", "Longest hold, s", RtDoubleEditLongestHold);
    RtDoubleEditAlarmBand = NewNumberEdit("RtDoubleEditAlarmBand", 0, kMaximumBand_pct, 5, 3, group);
    AddCaptionedRow(grid, 3, "LabelAlarmBand", "Alarm band, % of full scale", RtDoubleEditAlarmBand);
    RtDoubleEditAlarmDelay = NewNumberEdit("RtDoubleEditAlarmDelay", 0, kMaximumSeconds, 30, 1, group);
    AddCaptionedRow(grid, 4, "LabelAlarmDelay", "Alarm delay, s", RtDoubleEditAlarmDelay);
    return group;
}

void TGUIF::ShowProgramOptions(const TDeviceInfo& device) {
    // Showing a device changes no setting: the fields' change handlers would store the shown
    // values into whichever device has the focus.
    const TProgramOptions options = ProgramOptionsOf(device);
    const QList<QRadioButton*> items = RadioGroupSegmentTerminationType->findChildren<QRadioButton*>();
    for (int i = 0; i < items.size(); ++i) {
        const QSignalBlocker quiet(items[i]);
        items[i]->setChecked(i == options.TerminationItem);
    }
    for (auto [field, value] : {std::pair{RtDoubleEditProgramRepeat, double(options.Repeat)},
                                {RtDoubleEditHoldbackBand, options.HoldbackBand_pct},
                                {RtDoubleEditLongestHold, options.LongestHold_s},
                                {RtDoubleEditAlarmBand, options.AlarmBand_pct},
                                {RtDoubleEditAlarmDelay, options.AlarmDelay_s}}) {
        const QSignalBlocker quiet(field);
        // The field being typed in keeps its cursor.
        if (field->value() != value) field->setValue(value);
    }
}

TProgramOptions TGUIF::ProgramOptionsShown() const {
    TProgramOptions options;
    options.TerminationItem = TerminationItemSelected();
    options.Repeat = static_cast<int>(RtDoubleEditProgramRepeat->value());
    options.HoldbackBand_pct = RtDoubleEditHoldbackBand->value();
    options.LongestHold_s = RtDoubleEditLongestHold->value();
    options.AlarmBand_pct = RtDoubleEditAlarmBand->value();
    options.AlarmDelay_s = RtDoubleEditAlarmDelay->value();
    return options;
}

QWidget* TGUIF::BuildDirectControlTab() {
    auto* page = new QWidget(this);
    page->setObjectName("TabSheetDirectControl");
    auto* grid = new QGridLayout(page);

    RtDoubleEditDirectControlDesiredFlow = NewNumberEdit("RtDoubleEditDirectControlDesiredFlow", 0, 100, 0, 6, page);
    AddCaptionedRow(grid, 0, "LabelDirectControlDesiredFlow", "Setpoint, %", RtDoubleEditDirectControlDesiredFlow);

    RtDoubleEditDirectControlMaxFlow = NewNumberDisplay("RtDoubleEditDirectControlMaxFlow", page);
    AddCaptionedRow(grid, 1, "LabelDirectControlMaxFlow", "Maximum flow", RtDoubleEditDirectControlMaxFlow);
    LabelDirectControlMaxFlowUnit = NewLabel("LabelDirectControlMaxFlowUnit", "Flow unit", page);
    grid->addWidget(LabelDirectControlMaxFlowUnit, 1, 2);

    grid->addWidget(NewLabel("LabelDirectControlResultingFlowCaption", "Resulting flow", page), 2, 0);
    LabelDirectControlResultingFlow =
        NewLabel("LabelDirectControlResultingFlow", "Resulting flow in specified unit", page);
    grid->addWidget(LabelDirectControlResultingFlow, 2, 1, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(NewButton("BitBtn7", "Apply setpoint", page));
    buttons->addWidget(NewButton("BitBtn8", "Stop flow && stop tracking device", page));
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setRowStretch(4, 1);
    // The fields keep a reading width; the room left over stays to their right.
    grid->setColumnStretch(3, 1);
    for (QWidget* field :
         std::initializer_list<QWidget*>{RtDoubleEditDirectControlDesiredFlow, RtDoubleEditDirectControlMaxFlow})
        field->setMinimumWidth(160);
    return page;
}

void TGUIF::ConnectRunControls() {
    const auto onClick = [this](const char* button, void (TEngine::*command)(const std::vector<std::string>&)) {
        connect(findChild<QPushButton*>(button), &QPushButton::clicked, this, [this, command] {
            Guarded([this, command] {
                (engine_.get()->*command)(SelectedPorts());
                // A command on several rows shows each device in turn; the page
                // goes back to the focused one, which "Apply" acts on.
                ShowFocusedDevice();
            });
        });
    };
    onClick("BitBtn1", &TEngine::ButtonSegmentProgramStartClick);
    onClick("BitBtn2", &TEngine::ButtonSegmentProgramStopClick);
    onClick("BitBtn8", &TEngine::ButtonSegmentProgramStopClick);
    onClick("ButtonHoldPrograms", &TEngine::HoldPrograms);
    onClick("ButtonResumePrograms", &TEngine::ResumePrograms);

    const auto storeOptions = [this] {
        Guarded([this] { engine_->SetProgramOptions(FocusedPort(), ProgramOptionsShown()); });
    };
    for (QRadioButton* item : RadioGroupSegmentTerminationType->findChildren<QRadioButton*>())
        connect(item, &QRadioButton::toggled, this, [storeOptions](bool on) {
            if (on) storeOptions();
        });
    for (TNumberEdit* field : {RtDoubleEditProgramRepeat, RtDoubleEditHoldbackBand, RtDoubleEditLongestHold,
                               RtDoubleEditAlarmBand, RtDoubleEditAlarmDelay})
        connect(field, &QDoubleSpinBox::valueChanged, this, storeOptions);
    connect(findChild<QPushButton*>("BitBtn7"), &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (!FieldsAccepted({RtDoubleEditDirectControlDesiredFlow})) return;
            engine_->ButtonApplyFlowClick(SelectedPorts());
            ShowFocusedDevice();
        });
    });

    connect(RtDoubleEditDirectControlDesiredFlow, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        Guarded([this, value] { engine_->RtDoubleEditDirectControlDesiredFlowValueChanged(FocusedPort(), value); });
    });

    connect(ListViewDevices, &QTreeWidget::itemClicked, this, [this] { Guarded([this] { ListViewDevicesClick(); }); });
    connect(ListViewDevices, &QTreeWidget::currentItemChanged, this,
            [this] { Guarded([this] { ListViewDevicesClick(); }); });
    connect(ListViewDevices, &QTreeWidget::itemSelectionChanged, this,
            [this] { Guarded([this] { ListViewDevicesClick(); }); });
    ListViewDevices->installEventFilter(this);
}

void TGUIF::FillSegmentTable(const std::string& program) {
    TSegmentTable table;
    ProgramTextToTable(program, table);
    ShowSegmentTable(table);
}

}  // namespace tessaro
