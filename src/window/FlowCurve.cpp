#include "FlowCurve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tessaro {

namespace {

// Points per pixel from which QCustomPlot's sampling leaves several points in every column.
constexpr double kDenseLine = 1.5;

bool SameLook(const QCPScatterStyle& a, const QCPScatterStyle& b) {
    return a.shape() == b.shape() && a.size() == b.size() && a.pen() == b.pen() && a.brush() == b.brush();
}

}  // namespace

TFlowCurve::TFlowCurve(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {
    setAdaptiveSampling(true);
}

void TFlowCurve::Include(double value) {
    if (std::isnan(value)) return;
    lowest_ = anyValue_ ? std::min(lowest_, value) : value;
    highest_ = anyValue_ ? std::max(highest_, value) : value;
    anyValue_ = true;
}

void TFlowCurve::AppendPoint(double key, double value) {
    const bool counted = counted_ == mDataContainer->size();
    addData(key, value);
    if (!counted) return;
    Include(value);
    counted_ = mDataContainer->size();
}

void TFlowCurve::SetPoints(const QVector<double>& keys, const QVector<double>& values) {
    setData(keys, values, true);
    anyValue_ = false;
    for (const double value : values) Include(value);
    counted_ = mDataContainer->size();
}

void TFlowCurve::ClearPoints() {
    mDataContainer->clear();
    anyValue_ = false;
    counted_ = 0;
}

void TFlowCurve::ScaleKeys(double factor) {
    if (!(factor > 0)) return;
    for (auto point = mDataContainer->begin(); point != mDataContainer->end(); ++point) point->key *= factor;
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

    const double halfWidth = std::max(1.0, painter->pen().widthF()) / 2;
    QPolygonF band;
    band.reserve(static_cast<qsizetype>(2 * columns));
    for (size_t c = 0; c < columns; ++c)
        if (top[c] <= bottom[c]) band << QPointF(left + static_cast<double>(c) + 0.5, top[c] - halfWidth);
    for (size_t c = columns; c-- > 0;)
        if (top[c] <= bottom[c]) band << QPointF(left + static_cast<double>(c) + 0.5, bottom[c] + halfWidth);
    if (band.size() < 2) return QCPGraph::drawLinePlot(painter, lines);

    const QColor color = painter->pen().color();
    painter->save();
    // The band's edges run along pixel columns already; smoothing them would cost more than
    // the rest of the redraw together.
    painter->setAntialiasing(false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawPolygon(band);
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
