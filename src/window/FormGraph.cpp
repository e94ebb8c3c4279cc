// The data area of the main window: the chart of planned and achieved flows, the data table
// and the merged listing views, and the time unit they are shown in.

#include <qcustomplot.h>
#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

#include "ChartNavigator.h"
#include "FlowCurve.h"
#include "Form.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/TextScan.h"
#include "segments/PlannedFlow.h"

namespace tessaro {

namespace {

constexpr double kPlannedLineWidth = 2;
constexpr double kAchievedLineWidth = 3;
constexpr double kSymbolSize = 25;
constexpr double kSymbolBorderWidth = 2;

QCPScatterStyle::ScatterShape SymbolShape(tDeviceType kind) {
    switch (kind) {
        case dtMFCA:
            return QCPScatterStyle::ssCircle;
        case dtMFCB:
            return QCPScatterStyle::ssSquare;
        case dtMFCC:
            return QCPScatterStyle::ssStar;
        case dtMFCD:
            return QCPScatterStyle::ssTriangle;
        case dtPump:
            return QCPScatterStyle::ssDiamond;
        case dtMFCDemo:
            break;
    }
    return QCPScatterStyle::ssCircle;  // the chart's own default symbol
}

// Curves are keyed as the registry keys its devices.
std::string TrimmedPort(const std::string& port) { return std::string(TrimBlanksAndControls(port)); }

}  // namespace

QWidget* TGUIF::BuildChart(QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName("PanelChart");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    RtGraph2DMain = new QCustomPlot(panel);
    RtGraph2DMain->setObjectName("RtGraph2DMain");
    RtGraph2DMain->setMinimumHeight(120);
    RtGraph2DMain->setNoAntialiasingOnDrag(true);
    XAxis1()->setLabel("Time, m");
    RtGraph2DMain->yAxis->setVisible(false);
    YAxis1()->setVisible(true);
    YAxis1()->setLabel("Flow, %");
    YAxis1()->setRange(0, 100);

    auto* horizontal = new QScrollBar(Qt::Horizontal, panel);
    horizontal->setObjectName("ScrollBarChartTime");
    auto* vertical = new QScrollBar(Qt::Vertical, panel);
    vertical->setObjectName("ScrollBarChartFlow");
    grid->addWidget(RtGraph2DMain, 0, 0);
    grid->addWidget(vertical, 0, 1);
    grid->addWidget(horizontal, 1, 0);

    chartNavigator_ = new TChartNavigator(RtGraph2DMain, XAxis1(), YAxis1(), horizontal, vertical);
    connect(RtGraph2DMain, &QCustomPlot::beforeReplot, this, &TGUIF::SpaceOutSymbols);
    return panel;
}

double TGUIF::RtPointSeriesXValueTransformation(double x_min) const { return x_min / shownTimeFactor_; }

TGUIF::TDeviceCurves& TGUIF::CurvesOf(const std::string& port) { return curves_[TrimmedPort(port)]; }

QCPGraph* TGUIF::PlannedCurve(const std::string& port) const {
    const auto found = curves_.find(TrimmedPort(port));
    return found == curves_.end() ? nullptr : found->second.planned.data();
}

QCPGraph* TGUIF::AchievedCurve(const std::string& port) const {
    const auto found = curves_.find(TrimmedPort(port));
    return found == curves_.end() ? nullptr : found->second.achieved.data();
}

TFlowCurve* TGUIF::NewCurve(const TDeviceInfo& device) {
    auto* curve = new TFlowCurve(XAxis1(), YAxis1());
    curve->setName(QString::fromStdString(device.NameRole + " " + device.COMPort));
    return curve;
}

// The registry's entry refers to the curves the window drew for its port.
void TGUIF::KeepCurveReferences(const std::string& port) {
    const int index = DeviceIndex(port);
    if (index < 0) return;
    const TDeviceCurves& curves = CurvesOf(port);
    TDeviceInfo& entry = DevicesLocal()[static_cast<size_t>(index)];
    entry.SerieSegment = curves.planned.data();
    entry.SerieFlow = curves.achieved.data();
}

void TGUIF::SegmentSerie(TDeviceInfo& aDevice, bool) {
    TDeviceCurves& curves = CurvesOf(aDevice.COMPort);
    if (!curves.planned) {
        curves.planned = NewCurve(aDevice);
        curves.planned->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    }
    curves.planned->setPen(QPen(QColor::fromRgba(aDevice.Color), kPlannedLineWidth));

    std::vector<TPlannedPoint> points = PlannedFlowPoints(aDevice.SegmentProgram, aDevice.SegmentProgramTermination);
    // The chart keeps its points ordered by time; a Step's two points share their time and
    // must keep their order.
    std::stable_sort(points.begin(), points.end(),
                     [](const TPlannedPoint& a, const TPlannedPoint& b) { return a.Time_min < b.Time_min; });
    QVector<double> keys, values;
    keys.reserve(static_cast<qsizetype>(points.size()));
    values.reserve(static_cast<qsizetype>(points.size()));
    for (const TPlannedPoint& point : points) {
        keys.append(RtPointSeriesXValueTransformation(point.Time_min));
        values.append(point.Setpoint_pct);
    }
    curves.planned->SetPoints(keys, values);

    aDevice.SerieSegment = curves.planned.data();
    KeepCurveReferences(aDevice.COMPort);
    RequestReplot();
}

void TGUIF::FlowSerie(const TDeviceInfo& device, double x_min, double y_pct, bool clear) {
    if (device.ControlMode == dcmIdle) return;
    TDeviceCurves& curves = CurvesOf(device.COMPort);
    if (!curves.achieved) curves.achieved = NewCurve(device);
    TFlowCurve* curve = curves.achieved.data();

    const QColor color = QColor::fromRgba(device.Color);
    const QPen line(color, kAchievedLineWidth);
    if (curve->pen() != line) curve->setPen(line);
    const QCPScatterStyle::ScatterShape shape = SymbolShape(device.DevType);
    const QCPScatterStyle& symbols = curve->scatterStyle();
    if (symbols.shape() != shape || symbols.brush().color() != color)
        curve->setScatterStyle(QCPScatterStyle(shape, QPen(Qt::black, kSymbolBorderWidth), QBrush(color), kSymbolSize));

    if (clear)
        curve->ClearPoints();
    else
        curve->AppendPoint(RtPointSeriesXValueTransformation(x_min), y_pct);
    KeepCurveReferences(device.COMPort);
    RequestReplot();
}

void TGUIF::ClearCurve(TFlowCurve* curve) {
    if (curve == nullptr) return;
    curve->ClearPoints();
    RequestReplot();
}

void TGUIF::ClearGraph(bool removeData) {
    if (!removeData) return;
    TDeviceInfo device;
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        const std::string port = ListViewDevices->topLevelItem(i)->text(0).toStdString();
        if (!FindDevice(port, device)) continue;
        const TDeviceCurves& curves = CurvesOf(port);
        ClearCurve(curves.planned.data());
        ClearCurve(curves.achieved.data());
    }
}

void TGUIF::Cleargraphdiscarddata1Click() { ClearGraph(true); }

// Symbols as large as the achieved-flow symbols would cover each other and the planned curve
// where the points lie closer than a symbol; the chart then draws every n-th one.
void TGUIF::SpaceOutSymbols() {
    const QCPRange shown = XAxis1()->range();
    for (auto& [port, curves] : curves_) {
        if (!curves.achieved) continue;
        const QCPGraphDataContainer& achieved = *curves.achieved->data();
        const auto from = achieved.findBegin(shown.lower);
        const auto to = achieved.findEnd(shown.upper);
        int skip = 0;
        if (to - from > 1) {
            const double span_px = std::abs(XAxis1()->coordToPixel((to - 1)->key) - XAxis1()->coordToPixel(from->key));
            const double room = std::max(1.0, span_px / (kSymbolSize / 2));
            const auto points = static_cast<double>(to - from);
            if (points > room) skip = static_cast<int>(points / room);
        }
        curves.achieved->setScatterSkip(skip);
    }
}

void TGUIF::RequestReplot() { RtGraph2DMain->replot(QCustomPlot::rpQueuedReplot); }

void TGUIF::ScaleCurveTimes(double factor) {
    for (auto& [port, curves] : curves_)
        for (TFlowCurve* curve : {curves.planned.data(), curves.achieved.data()})
            if (curve != nullptr) curve->ScaleKeys(factor);
}

void TGUIF::TimeUnitChanged(const std::string& symbol, double factor) {
    for (const auto& [name, letter] : {std::pair{"Minute1", "m"}, {"Hour1", "h"}, {"Day1", "d"}})
        if (symbol == letter) MenuEntry(name)->setChecked(true);

    const QString unit = QString::fromStdString(symbol);
    XAxis1()->setLabel("Time, " + unit);
    LabelSegmentStartTime->setText("Start time, " + unit);
    if (auto* mixtureTime = findChild<QLabel*>("LabelMixSegmentsAddTime")) mixtureTime->setText("Time, " + unit);

    if (factor > 0 && factor != shownTimeFactor_) {
        const double rescale = shownTimeFactor_ / factor;
        shownTimeFactor_ = factor;
        ScaleCurveTimes(rescale);
        chartNavigator_->ScaleTime(rescale);
        // The designer counts minutes; its marker keeps standing at the same moment.
        if (RtLineSeriesTimeHighlight != nullptr) SetDesignerTimeMarker(designerTime_min_);
    }
    if (chartNavigator_->FollowsData() && factor > 0) XAxis1()->setRangeUpper((XAxis1()->range().upper + 10) / factor);
    RequestReplot();
}

void TGUIF::ShowView(QWidget* view) {
    for (QWidget* each : {ChartPanel, static_cast<QWidget*>(MemoSegments), static_cast<QWidget*>(MemoData)})
        each->setVisible(each == view);
    if (view == ChartPanel) RequestReplot();
}

void TGUIF::ShowTable1Click(QAction* sender) {
    sender->setChecked(true);
    if (sender == MenuEntry("ShowGraph1"))
        ShowView(ChartPanel);
    else if (sender == MenuEntry("ShowSegmentProgramTable1"))
        ShowView(MemoSegments);
    else if (sender == MenuEntry("ShowTable1"))
        ShowView(MemoData);
}

void TGUIF::ShowSegmentPrograms1Click() {
    const bool shown = MenuEntry("ShowSegmentPrograms1")->isChecked();
    for (auto& [port, curves] : curves_)
        if (curves.planned) curves.planned->setVisible(shown);
    RequestReplot();
    MemoSegmentsUpdate();
}

void TGUIF::Showachievedflows1Click() {
    const bool shown = MenuEntry("Showachievedflows1")->isChecked();
    for (auto& [port, curves] : curves_)
        if (curves.achieved) curves.achieved->setVisible(shown);
    RequestReplot();
    MemoSegmentsUpdate();
}

}  // namespace tessaro
