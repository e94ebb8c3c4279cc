#include "FlowCurve.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

namespace tessaro {

namespace {

// Points per pixel from which QCustomPlot's sampling leaves several points in every column.
constexpr double kDenseLine = 1.5;

// Appended points are folded by runs of this many into their lowest and highest point, a
// batch at a time (so that the curve is copied once an hour, not at every point).
constexpr int kFoldRun = 16;
constexpr int kFoldBatch = 3600;
static_assert(kFoldBatch % kFoldRun == 0);
// The points each level keeps before its oldest are folded into the next: six hours of
// points as they came, then two days in runs of 16; beyond, runs of 128, kept for good.
constexpr int kLevelKeeps[] = {21'600, 21'600};

// The runs of the coarser copies, and the points per pixel column a copy must still have to
// be drawn instead of a finer one (two per run: it then holds two runs per column).
constexpr int kCoarseSpans[] = {8, 64, 512, 4096};
constexpr double kCoarsePointsPerPixel = 4;

bool SameLook(const QCPScatterStyle& a, const QCPScatterStyle& b) {
    return a.shape() == b.shape() && a.size() == b.size() && a.pen() == b.pen() && a.brush() == b.brush();
}

// The lowest and the highest point of each run of kFoldRun, in time order, appended to `out`.
void FoldRuns(QCPGraphDataContainer::const_iterator from, QCPGraphDataContainer::const_iterator to,
              QVector<QCPGraphData>& out) {
    while (from != to) {
        const auto end = from + std::min<std::ptrdiff_t>(kFoldRun, to - from);
        const auto [lowest, highest] = std::minmax_element(
            from, end, [](const QCPGraphData& a, const QCPGraphData& b) { return a.value < b.value; });
        if (lowest == highest) {
            out.append(*lowest);
        } else {
            out.append(lowest < highest ? *lowest : *highest);
            out.append(lowest < highest ? *highest : *lowest);
        }
        from = end;
    }
}

}  // namespace

TFlowCurve::TFlowCurve(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPGraph(keyAxis, valueAxis), folded_(std::size(kLevelKeeps), 0) {
    setAdaptiveSampling(true);
    for (const int span : kCoarseSpans) {
        TCoarseCopy& copy = coarse_.emplace_back();
        copy.Span = span;
        copy.Points.reset(new QCPGraphDataContainer);
    }
}

int TFlowCurve::LevelStart(size_t level) const {
    int start = 0;
    for (size_t older = level; older < folded_.size(); ++older) start += folded_[older];
    return start;
}

// Level 0 is the points as they came, level n + 1 is folded_[n]; a point that went in out of
// order or behind the curve's back counts as one that came last.
void TFlowCurve::FoldAgedPoints(size_t level) {
    for (; level < std::size(kLevelKeeps); ++level) {
        const int held = level == 0 ? mDataContainer->size() - LevelStart(0) : folded_[level - 1];
        if (held < kLevelKeeps[level] + kFoldBatch) return;
        FoldOldestBatch(level);
    }
}

void TFlowCurve::FoldOldestBatch(size_t level) {
    const QCPGraphDataContainer& data = *mDataContainer;
    const auto from = data.constBegin() + LevelStart(level);
    const auto to = from + kFoldBatch;
    QVector<QCPGraphData> kept;
    // Room for the appends until the next fold, so that they need no new block.
    kept.reserve(data.size() + kFoldBatch);
    std::copy(data.constBegin(), from, std::back_inserter(kept));
    const qsizetype before = kept.size();
    FoldRuns(from, to, kept);
    const int folded = static_cast<int>(kept.size() - before);
    std::copy(to, data.constEnd(), std::back_inserter(kept));
    mDataContainer->set(kept, true);
    folded_[level] += folded;
    if (level > 0) folded_[level - 1] -= kFoldBatch;
    coarseCurrent_ = false;
}

std::size_t TFlowCurve::PointBytes() const {
    auto bytes = [](const QCPGraphDataContainer& points) {
        return static_cast<std::size_t>(points.size()) * sizeof(QCPGraphData);
    };
    std::size_t total = bytes(*mDataContainer);
    for (const TCoarseCopy& copy : coarse_) total += bytes(*copy.Points);
    return total;
}

void TFlowCurve::AddToCoarseCopies(const QCPGraphData& point) {
    for (TCoarseCopy& copy : coarse_) {
        QCPGraphDataContainer& points = *copy.Points;
        if (copy.InLastRun == copy.Span || points.isEmpty()) {
            copy.InLastRun = 0;
            copy.Lowest = copy.Highest = point;
            points.add(point);
            points.add(point);
        } else {
            if (point.value < copy.Lowest.value) copy.Lowest = point;
            if (point.value > copy.Highest.value) copy.Highest = point;
            const bool lowestFirst = copy.Lowest.key <= copy.Highest.key;
            auto last = points.end() - 1;
            *(last - 1) = lowestFirst ? copy.Lowest : copy.Highest;
            *last = lowestFirst ? copy.Highest : copy.Lowest;
        }
        ++copy.InLastRun;
    }
}

void TFlowCurve::RebuildCoarseCopies() {
    for (TCoarseCopy& copy : coarse_) {
        copy.Points->clear();
        copy.InLastRun = 0;
    }
    for (auto point = mDataContainer->constBegin(); point != mDataContainer->constEnd(); ++point)
        AddToCoarseCopies(*point);
    coarseCurrent_ = true;
}

int TFlowCurve::PointsWithin(const QCPGraphDataContainer& points, const QCPRange& keys) {
    return static_cast<int>(points.findEnd(keys.upper) - points.findBegin(keys.lower));
}

const TFlowCurve::TCoarseCopy* TFlowCurve::CopyToDraw() const {
    if (!coarseCurrent_ || keyAxis() == nullptr || keyAxis()->axisRect() == nullptr) return nullptr;
    const double columns = std::max(1, keyAxis()->axisRect()->width());
    const QCPRange keys = keyAxis()->range();
    const TCoarseCopy* chosen = nullptr;
    for (const TCoarseCopy& copy : coarse_)
        if (PointsWithin(*copy.Points, keys) >= kCoarsePointsPerPixel * columns) chosen = &copy;
    return chosen;
}

int TFlowCurve::PointsDrawn() const {
    const TCoarseCopy* copy = CopyToDraw();
    const QCPRange keys = keyAxis() ? keyAxis()->range() : QCPRange();
    return PointsWithin(copy ? *copy->Points : *mDataContainer, keys);
}

void TFlowCurve::draw(QCPPainter* painter) {
    // Copies out of date (after a fold, once an hour, or a point that went in before the last
    // one) are made again once.
    if (!coarseCurrent_) RebuildCoarseCopies();
    const TCoarseCopy* copy = CopyToDraw();
    if (copy == nullptr) return QCPGraph::draw(painter);
    // The copy takes the points' place for this drawing; the symbols keep their spacing.
    const QSharedPointer<QCPGraphDataContainer> all = mDataContainer;
    const int skip = mScatterSkip;
    const QCPRange keys = keyAxis()->range();
    const double kept = static_cast<double>(std::max(1, PointsWithin(*copy->Points, keys)));
    const double within = static_cast<double>(std::max(1, PointsWithin(*all, keys)));
    mScatterSkip = std::max(0, static_cast<int>(std::lround((skip + 1) * kept / within)) - 1);
    mDataContainer = copy->Points;
    QCPGraph::draw(painter);
    mDataContainer = all;
    mScatterSkip = skip;
}

void TFlowCurve::Include(double value) {
    if (std::isnan(value)) return;
    lowest_ = anyValue_ ? std::min(lowest_, value) : value;
    highest_ = anyValue_ ? std::max(highest_, value) : value;
    anyValue_ = true;
}

void TFlowCurve::AppendPoint(double key, double value) {
    const bool counted = counted_ == mDataContainer->size();
    if (!mDataContainer->isEmpty() && key < (mDataContainer->constEnd() - 1)->key) coarseCurrent_ = false;
    addData(key, value);
    if (coarseCurrent_) AddToCoarseCopies(QCPGraphData(key, value));
    FoldAgedPoints(0);
    if (!counted) return;
    Include(value);
    counted_ = mDataContainer->size();
}

void TFlowCurve::SetPoints(const QVector<double>& keys, const QVector<double>& values) {
    setData(keys, values, true);
    std::fill(folded_.begin(), folded_.end(), 0);
    RebuildCoarseCopies();
    anyValue_ = false;
    for (const double value : values) Include(value);
    counted_ = mDataContainer->size();
}

void TFlowCurve::ClearPoints() {
    mDataContainer->clear();
    std::fill(folded_.begin(), folded_.end(), 0);
    RebuildCoarseCopies();
    anyValue_ = false;
    counted_ = 0;
}

void TFlowCurve::ScaleKeys(double factor) {
    if (!(factor > 0)) return;
    for (auto point = mDataContainer->begin(); point != mDataContainer->end(); ++point) point->key *= factor;
    for (TCoarseCopy& copy : coarse_) {
        for (auto point = copy.Points->begin(); point != copy.Points->end(); ++point) point->key *= factor;
        copy.Lowest.key *= factor;
        copy.Highest.key *= factor;
    }
}

void TFlowCurve::BringToFront() {
    if (layer() != nullptr) moveToLayer(layer(), false);
}

void TFlowCurve::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
    applyDefaultAntialiasingHint(painter);
    painter->setPen(pen());
    painter->setBrush(Qt::NoBrush);
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
    if (scatterStyle().isNone()) return;
    QCPScatterStyle symbol = scatterStyle();
    symbol.setSize(std::min(symbol.size(), rect.height()));
    applyScattersAntialiasingHint(painter);
    symbol.applyTo(painter, pen());
    symbol.drawShape(painter, rect.center());
}

QCPRange TFlowCurve::getValueRange(bool& foundRange, QCP::SignDomain inSignDomain, const QCPRange& inKeyRange) const {
    if (inSignDomain != QCP::sdBoth || inKeyRange != QCPRange() || counted_ != mDataContainer->size())
        return QCPGraph::getValueRange(foundRange, inSignDomain, inKeyRange);
    foundRange = anyValue_;
    return anyValue_ ? QCPRange(lowest_, highest_) : QCPRange();
}

void TFlowCurve::drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const {
    const bool horizontal = keyAxis() && keyAxis()->orientation() == Qt::Horizontal;
    const double span_px = lines.size() < 2 ? 0 : std::abs(lines.last().x() - lines.first().x());
    const bool dense = horizontal && span_px >= 1 && static_cast<double>(lines.size()) >= kDenseLine * span_px;
    if (!dense || painter->modes().testFlag(QCPPainter::pmVectorized) || painter->pen().style() != Qt::SolidLine)
        return QCPGraph::drawLinePlot(painter, lines);
    DrawBand(painter, lines);
}

void TFlowCurve::DrawBand(QCPPainter* painter, const QVector<QPointF>& lines) const {
    const double left = std::floor(std::min(lines.first().x(), lines.last().x()));
    const double right = std::floor(std::max(lines.first().x(), lines.last().x()));
    const auto columns = static_cast<size_t>(right - left) + 1;
    std::vector<double> top(columns, std::numeric_limits<double>::infinity());
    std::vector<double> bottom(columns, -std::numeric_limits<double>::infinity());
    for (const QPointF& point : lines) {
        if (std::isnan(point.y()) || std::isnan(point.x())) continue;
        const double column = std::floor(point.x()) - left;
        if (column < 0 || column >= static_cast<double>(columns)) continue;
        const auto c = static_cast<size_t>(column);
        top[c] = std::min(top[c], point.y());
        bottom[c] = std::max(bottom[c], point.y());
    }

    // One upright bar per column, reaching the neighbour on its left so that the line stays
    // unbroken where it jumps, widened by the pen.
    const double halfWidth = std::max(1.0, painter->pen().widthF()) / 2;
    QVector<QRectF> bars;
    bars.reserve(static_cast<qsizetype>(columns));
    double previousTop = 0, previousBottom = 0;
    bool previous = false;
    for (size_t c = 0; c < columns; ++c) {
        if (top[c] > bottom[c]) continue;
        double upper = top[c], lower = bottom[c];
        if (previous) {
            upper = std::min(upper, previousBottom);
            lower = std::max(lower, previousTop);
        }
        previousTop = top[c];
        previousBottom = bottom[c];
        previous = true;
        bars.append(QRectF(left + static_cast<double>(c), upper - halfWidth, 1, lower - upper + 2 * halfWidth));
    }
    if (bars.isEmpty()) return QCPGraph::drawLinePlot(painter, lines);

    const QColor color = painter->pen().color();
    painter->save();
    // The bars' edges run along pixel columns already; smoothing them would cost more than
    // the rest of the redraw together.
    painter->setAntialiasing(false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawRects(bars);
    painter->restore();
}

void TFlowCurve::drawScatterPlot(QCPPainter* painter, const QVector<QPointF>& scatters,
                                 const QCPScatterStyle& style) const {
    if (painter->modes().testFlag(QCPPainter::pmVectorized) || style.isNone() ||
        style.shape() == QCPScatterStyle::ssPixmap || style.shape() == QCPScatterStyle::ssCustom)
        return QCPGraph::drawScatterPlot(painter, scatters, style);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap& symbol = SymbolImage(style, ratio);
    const QSizeF size = QSizeF(symbol.size()) / ratio;
    for (const QPointF& point : scatters)
        if (!std::isnan(point.x()) && !std::isnan(point.y()))
            painter->drawPixmap(QPointF(point.x() - size.width() / 2, point.y() - size.height() / 2), symbol);
}

const QPixmap& TFlowCurve::SymbolImage(const QCPScatterStyle& style, qreal pixelRatio) const {
    if (!symbol_.isNull() && symbolRatio_ == pixelRatio && SameLook(symbolStyle_, style)) return symbol_;
    const int side = static_cast<int>(std::ceil(style.size() + 2 * style.pen().widthF())) + 2;
    symbol_ = QPixmap(QSize(side, side) * pixelRatio);
    symbol_.setDevicePixelRatio(pixelRatio);
    symbol_.fill(Qt::transparent);
    QCPPainter painter(&symbol_);
    painter.setRenderHint(QPainter::Antialiasing, antialiasedScatters());
    style.applyTo(&painter, pen());
    style.drawShape(&painter, QPointF(side / 2.0, side / 2.0));
    painter.end();
    symbolStyle_ = style;
    symbolRatio_ = pixelRatio;
    return symbol_;
}

}  // namespace tessaro
