#pragma once
// One curve of the flow chart. Its points change only through the methods below, which keep
// the extent of its values up to date, so that following the data costs nothing per redraw
// however many points a week of recording leaves.
//
// Memory stays proportional to what the chart can usefully show: appended points are kept
// as they came for the last six hours or so (of one point a second); older ones are folded,
// per run of 16, into the run's lowest and highest point, and after two days folded once
// more. Zoomed into old data the chart draws fewer points there, but every peak and every
// trough of the run is still among them. The chart owns no device data: the data table
// keeps every reading.
//
// Drawing stays fast however long the run: the curve keeps coarser copies of what it holds
// (per run of 8, 64, 512 and 4096 of its points the lowest and the highest one, made again
// when older points are folded), and a redraw reads the coarsest copy that still has several
// points per pixel column of the time shown, so its cost depends on the chart's width, not
// on the run's age. Where the points lie denser than the pixels, the line becomes one bar
// per pixel column from its lowest to its highest point, widened by the pen and joined to
// the bar before, all filled in one call; point symbols are drawn from an image rendered
// once per look.

#include <qcustomplot.h>
#include <QPixmap>
#include <vector>

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

    // The points a redraw of the time shown would read.
    int PointsDrawn() const;
    // Bytes held for the points, their folded past and their coarser copies.
    std::size_t PointBytes() const;

    void draw(QCPPainter* painter) override;

protected:
    // The legend shows the line and the symbol, the symbol no taller than the icon.
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;
    void drawLinePlot(QCPPainter* painter, const QVector<QPointF>& lines) const override;
    void drawScatterPlot(QCPPainter* painter, const QVector<QPointF>& scatters,
                         const QCPScatterStyle& style) const override;

private:
    // A coarser copy: per run of `Span` points of the curve, its lowest and its highest point
    // in time order; the last run, still filling, is kept up to date as it grows.
    struct TCoarseCopy {
        int Span = 0;
        QSharedPointer<QCPGraphDataContainer> Points;
        int InLastRun = 0;  // points of the curve in the last run
        QCPGraphData Lowest;
        QCPGraphData Highest;
    };
    // Folds the oldest points of `level` (0: as they came) into the next level while it
    // holds more than it keeps, and so on up the levels.
    void FoldAgedPoints(size_t level);
    void FoldOldestBatch(size_t level);
    int LevelStart(size_t level) const;
    void AddToCoarseCopies(const QCPGraphData& point);
    void RebuildCoarseCopies();
    const TCoarseCopy* CopyToDraw() const;
    static int PointsWithin(const QCPGraphDataContainer& points, const QCPRange& keys);

    void Include(double value);
    void DrawBand(QCPPainter* painter, const QVector<QPointF>& lines) const;
    const QPixmap& SymbolImage(const QCPScatterStyle& style, qreal pixelRatio) const;

    // The extent of the values, valid while it covers exactly the points the curve holds.
    double lowest_ = 0;
    double highest_ = 0;
    int counted_ = 0;
    bool anyValue_ = false;

    // Points of the curve in each folded level, the finest first; the curve holds them
    // oldest level first, then the points as they came.
    std::vector<int> folded_;

    std::vector<TCoarseCopy> coarse_;
    // False after a point went in before the last one or older points were folded: the
    // copies are made again at the next drawing.
    bool coarseCurrent_ = true;

    mutable QPixmap symbol_;
    mutable QCPScatterStyle symbolStyle_;
    mutable qreal symbolRatio_ = 0;
};

}  // namespace tessaro
