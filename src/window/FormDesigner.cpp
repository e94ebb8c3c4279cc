// The "Designer" page: the flows of the selected devices at one moment of their programs, on
// a slider and a field per device, and the mixture they make together. The designer time is
// in minutes everywhere: its slider counts tenths of a minute, its field and caption show
// minutes, and its marker stands at that moment on the chart whatever unit the chart shows.
// Nothing here changes a device or a program.

#include <qcustomplot.h>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>

#include "Form.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "engine/FlowDesigner.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

constexpr const char* kSliderPrefix = "TrackBarDesignerDynamic_";
constexpr const char* kFieldPrefix = "DoubleEditDynamic_";
constexpr int kGroupHeight = 50;
constexpr int kFieldRoom = 60;  // the slider is this much narrower than its group
constexpr double kLongestDesignerTime_min = 1e6;
constexpr double kMarkerWidth = 10;
constexpr int kMarkerOpacity = 30;

void Diag(const std::string& line) { DiagLog(kMainFormChannel, line); }

// The COM port a designer control belongs to: the text after the first "_" of its name.
std::string PortOfControl(const QObject* control) {
    const QString name = control->objectName();
    const qsizetype underscore = name.indexOf('_');
    return underscore < 0 ? std::string() : name.mid(underscore + 1).toStdString();
}

// Sets a control without the change being taken for one by the operator.
template <typename Control, typename Value>
void SetQuietly(Control* control, Value value, bool& moving) {
    const bool before = moving;
    moving = true;
    control->setValue(value);
    moving = before;
}

}  // namespace

// --- Building ---------------------------------------------------------------------------------

QWidget* TGUIF::BuildDesignerTimeGroup() {
    auto* group = new QGroupBox("Time, m", this);
    group->setObjectName("MixDesignGroupBox");
    auto* row = new QHBoxLayout(group);
    TrackBarDesignerTime = new QSlider(Qt::Horizontal, group);
    TrackBarDesignerTime->setObjectName("TrackBarDesignerTime");
    TrackBarDesignerTime->setRange(0, kDesignerTimeSteps);
    TrackBarDesignerTime->setSingleStep(1);
    TrackBarDesignerTime->setPageStep(kDesignerTimeSteps);
    row->addWidget(TrackBarDesignerTime, 1);
    RtDoubleEditDesignMixTime = NewNumberEdit("RtDoubleEditDesignMixTime", 0, kLongestDesignerTime_min, 0, 4, group);
    RtDoubleEditDesignMixTime->setKeyboardTracking(true);
    row->addWidget(RtDoubleEditDesignMixTime);
    return group;
}

QWidget* TGUIF::BuildDesignerTab() {
    auto* page = new QWidget(PageControlMain);
    auto* columns = new QHBoxLayout(page);

    auto* left = new QVBoxLayout;
    left->addWidget(BuildDesignerTimeGroup());
    left->addWidget(NewLabel("Label10", "Device flows", page));
    ScrollBoxFlow = new QScrollArea(page);
    ScrollBoxFlow->setObjectName("ScrollBoxFlow");
    // The panel always spans the scroll box less a vertical scroll bar.
    ScrollBoxFlow->setWidgetResizable(true);
    ScrollBoxFlow->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBoxFlow->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FlowPanelControls = new QWidget(ScrollBoxFlow);
    FlowPanelControls->setObjectName("FlowPanelControls");
    auto* groups = new QVBoxLayout(FlowPanelControls);
    groups->setContentsMargins(0, 0, 0, 0);
    groups->addStretch(1);
    ScrollBoxFlow->setWidget(FlowPanelControls);
    left->addWidget(ScrollBoxFlow, 1);
    BitBtnDesignerApply = NewButton("BitBtnDesignerApply", "Apply to device(s)", page);
    // Designs are not applied to the devices: the button is shown so, not as if it worked.
    BitBtnDesignerApply->setEnabled(false);
    left->addWidget(BitBtnDesignerApply);
    columns->addLayout(left, 1);

    MemoMixDesigner = NewTextView("MemoMixDesigner", page);
    MemoMixDesigner->setPlainText("MemoMixResult");
    columns->addWidget(MemoMixDesigner, 1);
    return page;
}

void TGUIF::ConnectDesigner() {
    connect(TrackBarDesignerTime, &QSlider::valueChanged, this,
            [this] { Guarded([this] { TrackBarDesignerTimeChange(); }); });
    connect(RtDoubleEditDesignMixTime, &TNumberEdit::valueChanged, this,
            [this] { Guarded([this] { RtDoubleEditDesignMixTimeValueChanged(); }); });
    RtDoubleEditDesignMixTime->installEventFilter(this);
    connect(BitBtnDesignerApply, &QPushButton::clicked, this, [this] { BitBtnDesignerApplyClick(); });
}

void TGUIF::NewDesignerGroup(const TDeviceInfo& device) {
    auto* group = new QGroupBox(QString::fromStdString(DesignerGroupCaption(device)), FlowPanelControls);
    group->setObjectName(QString::fromStdString("GroupBoxDesigner_" + device.COMPort));
    group->setMinimumHeight(kGroupHeight);
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(4, 2, 4, 2);

    auto* slider = new QSlider(Qt::Horizontal, group);
    slider->setObjectName(QString::fromStdString(kSliderPrefix + device.COMPort));
    slider->setRange(0, kDesignerFlowSliderMax);
    slider->setValue(0);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(kDesignerFlowSliderMax / 10);
    row->addWidget(slider, 1);

    const double fullScale = device.FlowUnitUser.GasFlowMax();
    auto* field = NewNumberEdit((kFieldPrefix + device.COMPort).c_str(), 0, fullScale, 0, kKeepEveryDecimal, group);
    field->setKeyboardTracking(true);
    field->setMinimumWidth(kFieldRoom);
    row->addWidget(field);
    // The help pane names the field's purpose; the field's keys reach KeyUp through the filter.
    field->installEventFilter(this);
    DescribeControl(slider);
    DescribeControl(field);

    connect(slider, &QSlider::valueChanged, this, [this, slider] { Guarded([&] { DesignerChange(slider); }); });
    connect(field, &TNumberEdit::valueChanged, this, [this, field] {
        if (designerMoving_ || !field->hasFocus()) return;
        Guarded([&] {
            DesignerChange(field);
            ShowNewMix("RtDoubleValueChanged");
        });
    });

    auto* groups = static_cast<QVBoxLayout*>(FlowPanelControls->layout());
    groups->insertWidget(groups->count() - 1, group);  // before the closing stretch
}

void TGUIF::RemoveDesignerGroups() {
    for (QGroupBox* group : FlowPanelControls->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) delete group;
}

QSlider* TGUIF::DesignerSlider(const std::string& port) const {
    return FlowPanelControls->findChild<QSlider*>(QString::fromStdString(kSliderPrefix + port));
}

TNumberEdit* TGUIF::DesignerField(const std::string& port) const {
    return FlowPanelControls->findChild<TNumberEdit*>(QString::fromStdString(kFieldPrefix + port));
}

// --- Device groups and time ----------------------------------------------------------------------

void TGUIF::MixMakerComponentSetup() {
    FlowPanelControls->setUpdatesEnabled(false);
    RemoveDesignerGroups();
    designerPorts_ = SelectedPorts();
    const double longest = LongestProgramDuration(designerPorts_, engine_->Settings().DecimalSeparator);
    TDeviceInfo device;
    for (const std::string& port : designerPorts_)
        if (FindDevice(port, device)) NewDesignerGroup(device);
    FlowPanelControls->setUpdatesEnabled(true);
    FlowPanelControls->update();

    if (longest != 0) {
        TrackBarDesignerTime->setMaximum(DesignerTimeSliderMax(longest));
        TrackBarDesignerTime->setSingleStep(1);
        TrackBarDesignerTime->setPageStep(kDesignerTimeSteps);
    }
}

void TGUIF::FollowSelectionInDesigner(bool force) {
    if (!force && SelectedPorts() == designerPorts_) return;
    MixMakerComponentSetup();
    RtDoubleEditDesignMixTimeValueChanged();
}

void TGUIF::TrackBarDesignerTimeChange() {
    if (RtDoubleEditDesignMixTime->hasFocus()) return;
    Diag("TrackBarDesignerTime small step: " + std::to_string(TrackBarDesignerTime->singleStep()) + " position: " +
         std::to_string(TrackBarDesignerTime->value()) + " max: " + std::to_string(TrackBarDesignerTime->maximum()));
    RtDoubleEditDesignMixTime->setValue(static_cast<double>(TrackBarDesignerTime->value()) / kDesignerTimeSteps);
}

void TGUIF::RtDoubleEditDesignMixTimeKeyUp() {
    const double time = RtDoubleEditDesignMixTime->value();
    TrackBarDesignerTime->setMaximum(DesignerTimeSliderMaxFor(time, TrackBarDesignerTime->maximum()));
    TrackBarDesignerTime->setValue(DesignerTimeSliderPosition(time));
}

void TGUIF::RtDoubleEditDesignMixTimeValueChanged() {
    designerTime_min_ = RtDoubleEditDesignMixTime->value();
    SetDesignerTimeMarker(designerTime_min_);
    TDeviceInfo device;
    for (const std::string& port : SelectedPorts()) {
        QSlider* slider = DesignerSlider(port);
        TNumberEdit* field = DesignerField(port);
        if (!FindDevice(port, device) || slider == nullptr || field == nullptr) continue;
        const TDesignedFlow flow = DesignedFlowAtTime(device, designerTime_min_);
        SetQuietly(slider, flow.SliderPosition, designerMoving_);
        // After the slider's own coupling: the field keeps the exact flow.
        SetQuietly(field, flow.FieldValue, designerMoving_);
    }
    ShowNewMix("DoubleEdit DesignMixTimeValueChanged");
}

void TGUIF::SetDesignerTimeMarker(double time_min) {
    if (RtLineSeriesTimeHighlight == nullptr) {
        RtLineSeriesTimeHighlight = new QCPGraph(XAxis1(), YAxis1());
        RtLineSeriesTimeHighlight->setObjectName("RtLineSeriesTimeHighlight");
        RtLineSeriesTimeHighlight->setPen(QPen(QColor(255, 0, 0, kMarkerOpacity), kMarkerWidth));
        RtLineSeriesTimeHighlight->removeFromLegend();
    }
    const double x = RtPointSeriesXValueTransformation(time_min);
    RtLineSeriesTimeHighlight->setData({x, x, x}, {0, 100, 0}, true);
    RequestReplot();
}

// --- Designed flows --------------------------------------------------------------------------------

void TGUIF::DesignerChange(QObject* Sender) {
    Diag("DesignerChange");
    if (Sender == nullptr) {
        Diag("DesignerChange - exit: no sender");
        return;
    }
    Diag("DesignerChange Sender:" + Sender->objectName().toStdString());
    Diag(std::string("Sender Classname: ") + Sender->metaObject()->className());
    Diag("Sender name:" + Sender->objectName().toStdString());
    Diag("Mouseover name: " + LastHoveredName().toStdString());
    TDeviceInfo device;
    const std::string port = PortOfControl(Sender);
    if (!FindDevice(port, device)) {
        Diag("DesignerChange - exit: can't get device");
        return;
    }
    const double fullScale = device.FlowUnitUser.GasFlowMax();
    Diag("Dev.FlowUnitUser.GasFlowMax: " + FormatGeneral(fullScale));

    if (auto* slider = qobject_cast<QSlider*>(Sender)) {
        TNumberEdit* field = DesignerField(port);
        if (field == nullptr) {
            Diag("Wanted to change DoubleEdit but ratrieval of control failed.");
        } else if (slider->hasFocus() || !field->hasFocus()) {
            Diag("Trackbar mouseover => Do alter DoubleEdit value.");
            SetQuietly(field, DesignedFlowOfSlider(fullScale, slider->value(), slider->maximum()), designerMoving_);
            Diag("Wanted & changed DoubleEdit value.");
        } else {
            Diag("DBEdit has focus");
        }
        // Every change of a designed flow by the operator, by mouse or keyboard, shows its
        // mixture; the designer's own moves are followed by one recomputation of their own.
        if (!designerMoving_) ShowNewMix("DesignChange");
    } else if (auto* field = qobject_cast<TNumberEdit*>(Sender)) {
        QSlider* coupled = DesignerSlider(port);
        if (coupled != nullptr && field->hasFocus() && fullScale > 0) {
            Diag("DBEdit has focus");
            SetQuietly(coupled, DesignedSliderOfFlow(field->value(), fullScale, coupled->maximum()), designerMoving_);
        } else {
            Diag("DBEdit is not focused");
        }
    }
    Diag("DesignerChange - end");
}

void TGUIF::RtDoubleEditDynamicKeyUp(TNumberEdit* field) {
    const double flow = DesignedFlowAtLeastSmallest(field->value(), field->maximum());
    if (flow != field->value()) SetQuietly(field, flow, designerMoving_);
    DesignerChange(field);
    ShowNewMix("RtDoubleKeyUp");
}

void TGUIF::ShowNewMix(const std::string& Caller) {
    Diag("ShowNewMix, caller: " + Caller);
    const QList<QGroupBox*> groups = FlowPanelControls->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    if (groups.isEmpty() || SelectedPorts().empty()) {
        Diag("Exit: FlowPanelControls.ControlCount: 0 ");
        return;
    }
    Diag("Flow panel control count: " + std::to_string(groups.size()));
    std::vector<TDesignedComponent> flows;
    // Panel order is the order the groups were made in: that of the device list.
    for (const std::string& port : designerPorts_) {
        const TNumberEdit* field = DesignerField(port);
        if (field == nullptr) continue;
        Diag(std::string("Control: ") + field->parentWidget()->metaObject()->className() +
             " name:" + field->parentWidget()->objectName().toStdString());
        flows.push_back({PortOfControl(field), field->value()});
    }
    const TDesignedMixture mixture = DesignedMixture(flows, engine_->Settings().DecimalSeparator);
    for (const std::string& used : mixture.UsedPorts) Diag("Handle" + used);
    QString report = QString::fromStdString(mixture.Report);
    report.replace("\r\n", "\n");
    MemoMixDesigner->setPlainText(report);
    Diag("ShowNewMix");
}

}  // namespace tessaro
