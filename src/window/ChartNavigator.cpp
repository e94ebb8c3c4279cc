#include "ChartNavigator.h"

#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

namespace tessaro {

namespace {

constexpr int kScrollSteps = 10000;
constexpr int kClickTolerance_px = 3;
// Flows are percentages: the flow axis shows at least 0 to 100.
constexpr double kLowestFlowShown = 0;
constexpr double kHighestFlowShown = 100;
constexpr double kValueMargin = 0.03;

QCPRange Unite(const QCPRange& a, const QCPRange& b) {
    return {std::min(a.lower, b.lower), std::max(a.upper, b.upper)};
}

// A scroll bar over `total` whose page is `shown`.
void PlaceScrollBar(QScrollBar* bar, const QCPRange& total, const QCPRange& shown) {
    const QSignalBlocker quiet(bar);
    if (!(total.size() > 0) || shown.size() >= total.size()) {
        bar->setRange(0, 0);
        bar->setPageStep(kScrollSteps);
        return;
    }
    const int page = std::max(1, static_cast<int>(std::lround(shown.size() / total.size() * kScrollSteps)));
    bar->setRange(0, kScrollSteps - page);
    bar->setPageStep(page);
    bar->setSingleStep(std::max(1, page / 10));
    bar->setValue(static_cast<int>(std::lround((shown.lower - total.lower) / total.size() * kScrollSteps)));
}

}  // namespace

TChartNavigator::TChartNavigator(QCustomPlot* plot, QCPAxis* xAxis, QCPAxis* yAxis, QScrollBar* horizontal,
                                 QScrollBar* vertical)
    : QObject(plot), plot_(plot), xAxis_(xAxis), yAxis_(yAxis), horizontal_(horizontal), vertical_(vertical) {
    QCPAxisRect* area = plot_->axisRect();
    area->setRangeZoomAxes(xAxis_, yAxis_);
    area->setRangeDragAxes(xAxis_, yAxis_);
    plot_->setSelectionRectMode(QCP::srmZoom);
    vertical_->setInvertedAppearance(true);

    connect(plot_, &QCustomPlot::mousePress, this, &TChartNavigator::MousePressed);
    connect(plot_, &QCustomPlot::mouseRelease, this, &TChartNavigator::MouseReleased);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, &TChartNavigator::MouseDoubleClicked);
    connect(xAxis_, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &TChartNavigator::RangeChanged);
    connect(yAxis_, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &TChartNavigator::RangeChanged);
    connect(plot_, &QCustomPlot::beforeReplot, this, [this] {
        if (following_) FitToData();
        UpdateScrollBars();
    });
    connect(horizontal_, &QScrollBar::valueChanged, this, &TChartNavigator::ScrollBarMoved);
    connect(vertical_, &QScrollBar::valueChanged, this, &TChartNavigator::ScrollBarMoved);
}

void TChartNavigator::StepBack() {
    if (history_.empty()) return Reset();
    const TView view = history_.back();
    history_.pop_back();
    ApplyView(view);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChartNavigator::Reset() {
    history_.clear();
    following_ = true;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChartNavigator::ScaleTime(double factor) {
    if (!(factor > 0)) return;
    for (TView& view : history_) view.x = QCPRange(view.x.lower * factor, view.x.upper * factor);
    const QCPRange x = xAxis_->range();
    const bool wasSetting = std::exchange(settingRanges_, true);
    xAxis_->setRange(x.lower * factor, x.upper * factor);
    settingRanges_ = wasSetting;
}

bool TChartNavigator::DataExtent(QCPRange& keys, QCPRange& values) const {
    bool any = false;
    for (int i = 0; i < plot_->graphCount(); ++i) {
        const QCPGraph* graph = plot_->graph(i);
        if (!graph->visible() || graph->data()->isEmpty()) continue;
        bool found = false;
        const QCPRange graphKeys = graph->getKeyRange(found);
        if (!found) continue;
        const QCPRange graphValues = graph->getValueRange(found);
        if (!found) continue;
        keys = any ? Unite(keys, graphKeys) : graphKeys;
        values = any ? Unite(values, graphValues) : graphValues;
        any = true;
    }
    return any;
}

TChartNavigator::TView TChartNavigator::CurrentView() const { return {xAxis_->range(), yAxis_->range()}; }

void TChartNavigator::ApplyView(const TView& view) {
    const bool wasSetting = std::exchange(settingRanges_, true);
    xAxis_->setRange(view.x);
    yAxis_->setRange(view.y);
    settingRanges_ = wasSetting;
    following_ = false;
}

void TChartNavigator::Remember(const TView& view) {
    history_.push_back(view);
    while (static_cast<int>(history_.size()) > kUndoSteps) history_.pop_front();
}

void TChartNavigator::FitToData() {
    QCPRange keys, values;
    if (!DataExtent(keys, values)) return;
    if (keys.size() <= 0) keys = QCPRange(keys.lower - 1, keys.upper + 1);
    values = Unite(values, QCPRange(kLowestFlowShown, kHighestFlowShown));
    const double margin = values.size() * kValueMargin;
    const bool wasSetting = std::exchange(settingRanges_, true);
    xAxis_->setRange(keys);
    yAxis_->setRange(values.lower - margin, values.upper + margin);
    settingRanges_ = wasSetting;
}

void TChartNavigator::UpdateScrollBars() {
    QCPRange keys, values;
    const TView shown = CurrentView();
    if (!DataExtent(keys, values)) keys = shown.x, values = shown.y;
    const bool wasSetting = std::exchange(settingRanges_, true);
    PlaceScrollBar(horizontal_, Unite(keys, shown.x), shown.x);
    PlaceScrollBar(vertical_, Unite(values, shown.y), shown.y);
    settingRanges_ = wasSetting;
}

void TChartNavigator::ScrollBarMoved() {
    if (settingRanges_) return;
    QCPRange keys, values;
    TView view = CurrentView();
    if (!DataExtent(keys, values)) return;
    const QCPRange totalX = Unite(keys, view.x);
    const QCPRange totalY = Unite(values, view.y);
    const double xLower = totalX.lower + totalX.size() * horizontal_->value() / kScrollSteps;
    const double yLower = totalY.lower + totalY.size() * vertical_->value() / kScrollSteps;
    view.x = QCPRange(xLower, xLower + view.x.size());
    view.y = QCPRange(yLower, yLower + view.y.size());
    ApplyView(view);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TChartNavigator::MousePressed(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool pan = event->modifiers().testFlag(Qt::ShiftModifier);
    plot_->setSelectionRectMode(pan ? QCP::srmNone : QCP::srmZoom);
    plot_->setInteraction(QCP::iRangeDrag, pan);
    inGesture_ = true;
    gestureRemembered_ = false;
    gestureStart_ = CurrentView();
    pressPosition_ = event->pos();
}

void TChartNavigator::MouseReleased(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !inGesture_) return;
    const bool click = (event->pos() - pressPosition_).manhattanLength() <= kClickTolerance_px;
    const bool beside = BesideDataArea(event->pos());
    // The chart applies a dragged zoom after this signal; the gesture ends once it has.
    QTimer::singleShot(0, this, [this, click, beside] {
        inGesture_ = false;
        if (click && beside && !gestureRemembered_) StepBack();
    });
}

void TChartNavigator::MouseDoubleClicked(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && BesideDataArea(event->pos())) Reset();
}

void TChartNavigator::RangeChanged() {
    if (settingRanges_ || !inGesture_ || gestureRemembered_) return;
    Remember(gestureStart_);
    gestureRemembered_ = true;
    following_ = false;
}

bool TChartNavigator::BesideDataArea(const QPoint& position) const {
    return !plot_->axisRect()->rect().contains(position);
}

}  // namespace tessaro
