// The data area of the main window: the chart of planned and achieved flows, the data table
// and the merged listing views, and the time unit they are shown in.

#include <qcustomplot.h>
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>
#include <array>
#include <cmath>

#include "ChartNavigator.h"
#include "FlowCurve.h"
#include "Form.h"
#include "NumberEdit.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/PlannedFlow.h"
#include "text/Messages.h"
#include "text/TextScan.h"

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

// The achieved-flow symbols from the one covering most of its square to the one covering
// least. Curves are drawn in this order, so where points of several devices coincide each
// symbol shows around the smaller ones drawn over it.
constexpr std::array kSymbolsByCoverage = {QCPScatterStyle::ssSquare,           QCPScatterStyle::ssCircle,
                                           QCPScatterStyle::ssDiamond,          QCPScatterStyle::ssTriangle,
                                           QCPScatterStyle::ssTriangleInverted, QCPScatterStyle::ssStar};

int CoverageRank(QCPScatterStyle::ScatterShape shape) {
    const auto found = std::find(kSymbolsByCoverage.begin(), kSymbolsByCoverage.end(), shape);
    return static_cast<int>(found - kSymbolsByCoverage.begin());
}

// A device's achieved-flow symbol: the one of its kind, unless a device before it in the
// registry already shows that one; then the first symbol none of those shows (with more
// devices than symbols, the kind's own).
QCPScatterStyle::ScatterShape AchievedSymbol(const TDeviceInfo& device) {
    const std::string_view port = TrimBlanksAndControls(device.COMPort);
    std::vector<QCPScatterStyle::ScatterShape> taken;
    auto pick = [&taken](tDeviceType kind) {
        const QCPScatterStyle::ScatterShape own = SymbolShape(kind);
        if (std::find(taken.begin(), taken.end(), own) == taken.end()) return own;
        for (const QCPScatterStyle::ScatterShape free : kSymbolsByCoverage)
            if (std::find(taken.begin(), taken.end(), free) == taken.end()) return free;
        return own;
    };
    for (const TDeviceInfo& other : DevicesLocal()) {
        if (TrimBlanksAndControls(other.COMPort) == port) break;
        taken.push_back(pick(other.DevType));
    }
    return pick(device.DevType);
}

// The chart as saved: at least this size, however small it is on the screen.
constexpr int kSavedChartWidth = 1200;
constexpr int kSavedChartHeight = 600;

}  // namespace

QWidget* TGUIF::BuildChart(QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName("PanelChart");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    RtGraph2DMain = new QCustomPlot(panel);
    RtGraph2DMain->setObjectName("RtGraph2DMain");
    RtGraph2DMain->setMinimumHeight(kChartMinimumHeight);
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

    BuildLegend();
    chartNavigator_ = new TChartNavigator(RtGraph2DMain, XAxis1(), YAxis1(), horizontal, vertical);
    connect(RtGraph2DMain, &QCustomPlot::beforeReplot, this, &TGUIF::SpaceOutSymbols);
    return panel;
}

// The legend stands right of the plot, where it covers no curve: one entry per line, a
// device's planned curve above its achieved curve.
void TGUIF::BuildLegend() {
    RtGraph2DMain->setAutoAddPlottableToLegend(false);
    QCPLegend* legend = RtGraph2DMain->legend;
    QFont font = legend->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    legend->setFont(font);
    legend->setIconSize(28, 14);
    legend->setRowSpacing(0);
    legend->setBorderPen(QPen(Qt::lightGray));

    auto* column = new QCPLayoutGrid;
    RtGraph2DMain->plotLayout()->addElement(0, 1, column);
    RtGraph2DMain->plotLayout()->setColumnStretchFactor(1, 0.001);
    column->addElement(0, 0, legend);
    // An empty element below the legend takes the rest of the height.
    column->addElement(1, 0, new QCPLayoutElement(RtGraph2DMain));
    column->setRowStretchFactor(0, 0.001);
    column->setMargins(QMargins(0, 0, 0, 0));
    legend->setVisible(false);
}

// The legend's entries are made again only when the curves it lists change; a tick changes
// only their texts.
void TGUIF::RefreshLegend() {
    QCPLegend* legend = RtGraph2DMain->legend;
    std::vector<std::pair<TFlowCurve*, QString>> listed;
    for (const TChartLegendEntry& entry : engine_->ChartLegend()) {
        const auto curves = curves_.find(TrimmedPort(entry.COMPort));
        if (curves == curves_.end()) continue;
        for (const auto& [curve, text] : {std::pair{curves->second.planned.data(), &entry.Planned},
                                          {curves->second.achieved.data(), &entry.Achieved}}) {
            if (curve == nullptr || !curve->visible()) continue;
            // A planned curve is emptied when its device leaves the selection.
            if (curve == curves->second.planned.data() && curve->dataCount() == 0) continue;
            listed.emplace_back(curve, QString::fromStdString(*text));
        }
    }
    bool sameCurves = legend->itemCount() == static_cast<int>(listed.size());
    for (int i = 0; sameCurves && i < legend->itemCount(); ++i) {
        auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i));
        sameCurves = item != nullptr && item->plottable() == listed[static_cast<size_t>(i)].first;
    }
    if (!sameCurves) legend->clearItems();
    for (const auto& [curve, text] : listed) {
        if (curve->name() != text) curve->setName(text);
        if (!sameCurves) legend->addItem(new QCPPlottableLegendItem(legend, curve));
    }
    legend->setVisible(!listed.empty());
}

void TGUIF::ChartValuesChanged() {
    RefreshLegend();
    RequestReplot();
}

void TGUIF::StackAchievedCurves() {
    std::vector<TFlowCurve*> achieved;
    for (auto& [port, curves] : curves_)
        if (curves.achieved) achieved.push_back(curves.achieved.data());
    std::stable_sort(achieved.begin(), achieved.end(), [](const TFlowCurve* a, const TFlowCurve* b) {
        return CoverageRank(a->scatterStyle().shape()) < CoverageRank(b->scatterStyle().shape());
    });
    for (TFlowCurve* curve : achieved) curve->BringToFront();
}

bool TGUIF::SaveChart(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    const int width = std::max(RtGraph2DMain->width(), kSavedChartWidth);
    const int height = std::max(RtGraph2DMain->height(), kSavedChartHeight);
    const std::string name = fileName.toStdString();
    bool saved = false;
    if (suffix == "png") {
        saved = RtGraph2DMain->savePng(fileName, width, height);
    } else if (suffix == "pdf") {
        saved = RtGraph2DMain->savePdf(fileName, width, height);
    } else {
        ShowMessage("The chart was not saved to " + name + ": give the file name the ending .png or .pdf");
        return false;
    }
    if (!saved) {
        ShowMessage("The chart could not be saved to " + name);
        return false;
    }
    MM("Chart saved to " + name);
    return true;
}

void TGUIF::SaveChartAs1Click() {
    const QString offered = QString::fromStdString((engine_->Settings().DataFolder / "chart.png").string());
    const QString chosen =
        QFileDialog::getSaveFileName(this, "Save chart as", offered, "PNG image (*.png);;PDF document (*.pdf)");
    if (!chosen.isEmpty()) SaveChart(chosen);
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

void TGUIF::FillPlannedCurve(TFlowCurve& curve, std::vector<TPlannedPoint> points) const {
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
    curve.SetPoints(keys, values);
}

void TGUIF::SegmentSerie(TDeviceInfo& aDevice, bool) {
    TDeviceCurves& curves = CurvesOf(aDevice.COMPort);
    if (!curves.planned) {
        curves.planned = NewCurve(aDevice);
        curves.planned->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    }
    curves.planned->setPen(QPen(QColor::fromRgba(aDevice.Color), kPlannedLineWidth));

    const TPlannedCurve& planned = engine_->PlannedCurveOf(aDevice);
    const bool drawn = curves.plannedRevision == planned.Revision && curves.plannedFactor == shownTimeFactor_ &&
                       curves.planned->dataCount() == static_cast<int>(planned.Points.size());
    if (!drawn) {
        FillPlannedCurve(*curves.planned, planned.Points);
        curves.plannedRevision = planned.Revision;
        curves.plannedFactor = shownTimeFactor_;
    }
    RefreshLegend();

    aDevice.SerieSegment = curves.planned.data();
    KeepCurveReferences(aDevice.COMPort);
    RequestReplot();
}

void TGUIF::PlannedCurveChanged(const TDeviceInfo& device) {
    // Planned curves are drawn for the selected devices only.
    const QTreeWidgetItem* row = RowOf(device.COMPort);
    if (row == nullptr || !row->isSelected()) return;
    TDeviceInfo shown = device;
    SegmentSerie(shown, false);
}

void TGUIF::FlowSerie(const TDeviceInfo& device, double x_min, double y_pct, bool clear) {
    if (device.ControlMode == dcmIdle) return;
    TDeviceCurves& curves = CurvesOf(device.COMPort);
    if (!curves.achieved) curves.achieved = NewCurve(device);
    TFlowCurve* curve = curves.achieved.data();

    const QColor color = QColor::fromRgba(device.Color);
    const QPen line(color, kAchievedLineWidth);
    if (curve->pen() != line) curve->setPen(line);
    const QCPScatterStyle::ScatterShape shape = AchievedSymbol(device);
    const QCPScatterStyle& symbols = curve->scatterStyle();
    if (symbols.shape() != shape || symbols.brush().color() != color) {
        curve->setScatterStyle(QCPScatterStyle(shape, QPen(Qt::black, kSymbolBorderWidth), QBrush(color), kSymbolSize));
        StackAchievedCurves();
        RefreshLegend();
    }

    if (clear)
        curve->ClearPoints();
    else
        curve->AppendPoint(RtPointSeriesXValueTransformation(x_min), y_pct);
    KeepCurveReferences(device.COMPort);
    if (clear || (curve->visible() && InShownTime(x_min))) RequestReplot();
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

// A change of the chart is drawn at once when the last redraw is a second old, otherwise
// together with whatever else changes until then. A chart out of view is drawn when shown.
void TGUIF::RequestReplot() {
    replotPending_ = true;
    if (replotTimer_->isActive()) return;
    const qint64 since = sinceReplot_.isValid() ? sinceReplot_.elapsed() : kReplotIntervalMs;
    replotTimer_->start(static_cast<int>(std::max<qint64>(0, kReplotIntervalMs - since)));
}

void TGUIF::ReplotIfDue() {
    if (!replotPending_ || !ChartShown()) return;
    replotPending_ = false;
    sinceReplot_.start();
    RtGraph2DMain->replot(QCustomPlot::rpQueuedReplot);
}

bool TGUIF::ChartShown() const { return !ChartPanel->isHidden(); }

// Whether a point at this time lands in the part of the time axis shown, or the axis follows
// the data and will take it in.
bool TGUIF::InShownTime(double x_min) const {
    return chartNavigator_->FollowsData() || XAxis1()->range().contains(RtPointSeriesXValueTransformation(x_min));
}

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
    RtDoubleEditSegmentTime->SetCaption("Start time, " + unit);
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
    if (view == ChartPanel) {
        // Drawn at once: what changed while another view was shown is waiting.
        replotPending_ = true;
        replotTimer_->stop();
        ReplotIfDue();
    }
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
    RefreshLegend();
    RequestReplot();
    MemoSegmentsUpdate();
}

void TGUIF::Showachievedflows1Click() {
    const bool shown = MenuEntry("Showachievedflows1")->isChecked();
    for (auto& [port, curves] : curves_)
        if (curves.achieved) curves.achieved->setVisible(shown);
    RefreshLegend();
    RequestReplot();
    MemoSegmentsUpdate();
}

}  // namespace tessaro
