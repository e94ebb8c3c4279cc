#pragma once
// How the operator moves around the chart: the ranges follow the data until the operator
// zooms (drag with the left button) or pans (Shift and drag); a click beside the data area
// goes one step back, a double-click beside it returns to following the data. The last 20
// views are kept. Two scroll bars show where the view lies within the data and move it.

#include <qcustomplot.h>
#include <QObject>
#include <QPoint>
#include <deque>

class QScrollBar;

namespace tessaro {

class TChartNavigator : public QObject {
    Q_OBJECT

public:
    static constexpr int kUndoSteps = 20;

    TChartNavigator(QCustomPlot* plot, QCPAxis* xAxis, QCPAxis* yAxis, QScrollBar* horizontal, QScrollBar* vertical);

    // True while the ranges follow the data (at start and after a reset).
    bool FollowsData() const { return following_; }
    int UndoDepth() const { return static_cast<int>(history_.size()); }

    // One view back; with no view left, back to following the data.
    void StepBack();
    // Forgets the views and follows the data again.
    void Reset();
    // The time axis changed its unit: the shown x range and the kept views are multiplied by
    // `factor`, so that the same stretch of time stays in view.
    void ScaleTime(double factor);

    // The extent of the shown curves' points; false when there are none.
    bool DataExtent(QCPRange& keys, QCPRange& values) const;

private:
    struct TView {
        QCPRange x;
        QCPRange y;
    };

    TView CurrentView() const;
    void ApplyView(const TView& view);
    void Remember(const TView& view);
    void FitToData();
    void UpdateScrollBars();
    void ScrollBarMoved();

    void MousePressed(QMouseEvent* event);
    void MouseReleased(QMouseEvent* event);
    void MouseDoubleClicked(QMouseEvent* event);
    void RangeChanged();
    bool BesideDataArea(const QPoint& position) const;

    QCustomPlot* plot_;
    QCPAxis* xAxis_;
    QCPAxis* yAxis_;
    QScrollBar* horizontal_;
    QScrollBar* vertical_;

    std::deque<TView> history_;
    bool following_ = true;
    // A press of the mouse starts a gesture; the first range change within it keeps the view
    // it started from.
    bool inGesture_ = false;
    bool gestureRemembered_ = false;
    TView gestureStart_;
    QPoint pressPosition_;
    bool settingRanges_ = false;
};

}  // namespace tessaro
