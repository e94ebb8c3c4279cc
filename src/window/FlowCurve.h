#pragma once
// One curve of the flow chart. Its points change only through the methods below, which keep
// the extent of its values up to date, so that following the data costs nothing per redraw
// however many points a week of recording leaves.
//
// Drawing stays fast with hundreds of thousands of points: where the points lie denser than
// the pixels, the line becomes the band between the lowest and highest point of each pixel
// column, widened by the pen, and filled in one go; point symbols are drawn from an image
// rendered once per look.

#include <qcustomplot.h>
#include <QPixmap>

namespace tessaro {

class TFlowCurve : public QCPGraph {
    Q_OBJECT

public:
    TFlowCurve(QCPAxis* keyAxis, QCPAxis* valueAxis);

    void AppendPoint(double key, double value);
    // Replaces all points; `keys` ascending.
    void SetPoints(const QVector<double>& keys, const QVector<double>& values);
    void ClearPoints();
    // Multiplies every key by `factor` (> 0), as a change of the time unit does.
    void ScaleKeys(double factor);
    // Draws the curve after every other curve of its layer.
    void BringToFront();

    QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange& inKeyRange = QCPRange()) const override;

protected:
    // The legend shows the line and the symbol, the symbol no taller than the icon.
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const override;
    void drawScatterPlot(QCPPainter* painter, const QVector<QPointF>& scatters,
                         const QCPScatterStyle& style) const override;

private:
    void Include(double value);
    void DrawBand(QCPPainter* painter, const QVector<QPointF>& lines) const;
    const QPixmap& SymbolImage(const QCPScatterStyle& style, qreal pixelRatio) const;

    // The extent of the values, valid while it covers exactly the points the curve holds.
    double lowest_ = 0;
    double highest_ = 0;
    int counted_ = 0;
    bool anyValue_ = false;

    mutable QPixmap symbol_;
    mutable QCPScatterStyle symbolStyle_;
    mutable qreal symbolRatio_ = 0;
};

}  // namespace tessaro
