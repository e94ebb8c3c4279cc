// The data area: planned curves from segment programs, achieved points from the engine, the
// time unit, the views, the curve toggles and the run buttons on the demo devices.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <thread>

#include "ChartNavigator.h"
#include "FlowCurve.h"
#include "TestApplication.h"
#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "segments/PlannedFlow.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
using test::kNitrogen;

std::vector<TPlannedPoint> PointsOf(const QCPGraph* curve) {
    std::vector<TPlannedPoint> points;
    for (auto point = curve->data()->constBegin(); point != curve->data()->constEnd(); ++point)
        points.push_back({point->key, point->value});
    return points;
}

void ExpectPoints(const std::vector<TPlannedPoint>& actual, const std::vector<TPlannedPoint>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].Time_min, expected[i].Time_min, 1e-12) << i;
        EXPECT_EQ(actual[i].Setpoint_pct, expected[i].Setpoint_pct) << i;
    }
}

TEST(FlowCurve, KeepsTheExtentOfItsValuesThroughEveryChange) {
    test::TestApplication();
    QCustomPlot plot;
    auto* curve = new TFlowCurve(plot.xAxis, plot.yAxis);
    bool found = true;
    curve->getValueRange(found);
    EXPECT_FALSE(found);

    for (const double value : {20.0, -3.0, 107.5}) curve->AppendPoint(curve->dataCount(), value);
    EXPECT_EQ(curve->getValueRange(found), QCPRange(-3, 107.5));
    EXPECT_TRUE(found);

    // Points added behind its back are still counted.
    curve->data()->add(QCPGraphData(10, 200));
    EXPECT_EQ(curve->getValueRange(found), QCPRange(-3, 200));

    curve->ClearPoints();
    curve->getValueRange(found);
    EXPECT_FALSE(found);
    curve->SetPoints({0, 1}, {5, 6});
    curve->ScaleKeys(0.5);
    EXPECT_EQ(curve->getValueRange(found), QCPRange(5, 6));
    EXPECT_EQ(curve->data()->at(1)->key, 0.5);
}

// Whether any pixel of the colour lies in the rows above `row` of the image.
bool ColourAbove(const QImage& image, QRgb colour, int row) {
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(qRed(image.pixel(x, y)) - qRed(colour)) < 40 && qGreen(image.pixel(x, y)) < 120 &&
                qBlue(image.pixel(x, y)) < 120)
                return true;  // the colour, or the colour smoothed into the white around it
    return false;
}

// A month of one reading a second is drawn from a coarser copy whose points do not grow
// with the run, and that copy keeps every run's lowest and highest reading: a single spike
// among millions of points still shows, also after the time unit changed.
TEST(FlowCurve, LongCurvesAreDrawnFromFewPointsThatKeepEveryPeak) {
    test::TestApplication();
    QCustomPlot plot;
    plot.resize(800, 400);
    auto* curve = new TFlowCurve(plot.xAxis, plot.yAxis);
    const QColor colour(200, 30, 40);
    curve->setPen(QPen(colour, 2));
    constexpr int kPoints = 2'000'000;
    for (int i = 0; i < kPoints; ++i) curve->AppendPoint(i, i == 1'234'567 ? 90 : 10);
    plot.xAxis->setRange(0, kPoints);
    plot.yAxis->setRange(0, 100);
    plot.replot();
    const int columns = plot.axisRect()->width();
    // The copy drawn has fewer than 4 points per column times the 8 of the next coarser one.
    EXPECT_LT(curve->PointsDrawn(), 32 * columns);
    EXPECT_TRUE(ColourAbove(plot.toPixmap().toImage(), colour.rgb(), static_cast<int>(plot.yAxis->coordToPixel(50))));

    curve->ScaleKeys(1.0 / 60);
    plot.xAxis->setRange(0, kPoints / 60.0);
    plot.replot();
    EXPECT_TRUE(ColourAbove(plot.toPixmap().toImage(), colour.rgb(), static_cast<int>(plot.yAxis->coordToPixel(50))));

    // Zoomed in on a few hundred recent points, every point is drawn.
    plot.xAxis->setRange((kPoints - 601) / 60.0, (kPoints - 1) / 60.0);
    EXPECT_GE(curve->PointsDrawn(), 601);
    EXPECT_LE(curve->PointsDrawn(), 603);  // and the neighbour beyond each end

    // A point that went in out of order is drawn where it belongs.
    curve->ClearPoints();
    for (int i = 0; i < kPoints; i += 2) curve->AppendPoint(i / 60.0, 10);
    curve->AppendPoint(999'999 / 60.0, 95);
    plot.xAxis->setRange(0, kPoints / 60.0);
    plot.replot();
    EXPECT_TRUE(ColourAbove(plot.toPixmap().toImage(), colour.rgb(), static_cast<int>(plot.yAxis->coordToPixel(50))));
}

// The lowest and highest value the curve holds between two keys.
QCPRange ValuesWithin(const QCPGraph& curve, double from, double to) {
    bool found = false;
    return curve.getValueRange(found, QCP::sdBoth, QCPRange(from, to));
}

// A week of one reading a second keeps its last hours as they came and folds older readings
// into each run's lowest and highest one: the points held grow far slower than the run, and
// a spike or a dip days old is still drawn when zoomed into, also after the time unit changed.
TEST(FlowCurve, OldReadingsAreFoldedKeepingEveryPeakAndDip) {
    test::TestApplication();
    QCustomPlot plot;
    plot.resize(800, 400);
    auto* curve = new TFlowCurve(plot.xAxis, plot.yAxis);
    const QColor colour(200, 30, 40);
    curve->setPen(QPen(colour, 2));
    constexpr int kDay = 86'400;
    constexpr int kWeek = 7 * kDay;
    constexpr int kSpike = kWeek - kDay - 1234;
    constexpr int kDip = kWeek - 3 * kDay - 77;
    auto reading = [](int second) { return second == kSpike ? 90.0 : second == kDip ? 1.0 : 10.0 + second % 3; };
    for (int i = 0; i < kWeek; ++i) curve->AppendPoint(i / 60.0, reading(i));
    const int weekHeld = curve->dataCount();
    EXPECT_LT(weekHeld, kWeek / 8);

    bool found = false;
    EXPECT_EQ(curve->getValueRange(found), QCPRange(1, 90));
    EXPECT_EQ(ValuesWithin(*curve, (kDip - 300) / 60.0, (kDip + 300) / 60.0), QCPRange(1, 12));
    plot.yAxis->setRange(0, 100);
    plot.xAxis->setRange((kSpike - 300) / 60.0, (kSpike + 300) / 60.0);
    plot.replot();
    EXPECT_TRUE(ColourAbove(plot.toPixmap().toImage(), colour.rgb(), static_cast<int>(plot.yAxis->coordToPixel(50))));

    // The last hour: every reading.
    plot.xAxis->setRange((kWeek - 3600) / 60.0, (kWeek - 1) / 60.0);
    EXPECT_GE(curve->PointsDrawn(), 3600);

    // A second week adds a small part of what the first one kept.
    for (int i = kWeek; i < 2 * kWeek; ++i) curve->AppendPoint(i / 60.0, reading(i));
    EXPECT_LT(curve->dataCount() - weekHeld, kWeek / 32);
    EXPECT_LT(curve->PointBytes(), std::size_t{2 * kWeek} * sizeof(QCPGraphData) / 8);

    curve->ScaleKeys(1.0 / 60);
    plot.xAxis->setRange((kSpike - 300) / 3600.0, (kSpike + 300) / 3600.0);
    plot.replot();
    EXPECT_TRUE(ColourAbove(plot.toPixmap().toImage(), colour.rgb(), static_cast<int>(plot.yAxis->coordToPixel(50))));
    EXPECT_EQ(ValuesWithin(*curve, (kDip - 300) / 3600.0, (kDip + 300) / 3600.0), QCPRange(1, 12));
}

class GraphTest : public test::WindowFixture {
protected:
    QCustomPlot* Chart() const { return Child<QCustomPlot>("RtGraph2DMain"); }
    void Trigger(const char* action) { Child<QAction>(action)->trigger(); }
    void SetProgram(const char* port, const std::string& program) {
        TDeviceInfo device = Device(port);
        device.SegmentProgram = program;
        StoreDevice(device);
    }
};

TEST_F(GraphTest, PlannedCurvesFollowTheSelection) {
    SetProgram("COMX", "5 40 Step");
    Focus("COMX");
    const QCPGraph* first = form->PlannedCurve("COMX");
    ASSERT_NE(first, nullptr);
    // After the last point the device goes to 0 %, the default end.
    ExpectPoints(PointsOf(first), {{0, 0}, {5, 0}, {5, 40}, {5, 0}, {5.05, 0}});
    EXPECT_EQ(first->pen().color(), QColor(128, 0, 128));
    EXPECT_EQ(first->pen().widthF(), 2);
    EXPECT_EQ(first->scatterStyle().shape(), QCPScatterStyle::ssNone);
    EXPECT_EQ(Device("COMX").SerieSegment, first);

    SelectRows({"COMX", "COMY"});
    ASSERT_NE(form->PlannedCurve("COMY"), nullptr);
    EXPECT_EQ(first->dataCount(), 5);
    EXPECT_EQ(form->PlannedCurve("COMY")->dataCount(), 12);

    SelectRows({"COMY"});
    EXPECT_EQ(first->dataCount(), 0);
    EXPECT_EQ(form->PlannedCurve("COMY")->dataCount(), 12);
}

TEST_F(GraphTest, HoursDivideBothCurvesTimesBySixty) {
    SetProgram("COMX", "90 40 Ramp");
    Focus("COMX");
    TDeviceInfo running = Device("COMX");
    running.ControlMode = dcmSegment;
    StoreDevice(running);
    form->FlowSerie(running, 90, 12.5, false);

    Trigger("Hour1");
    EXPECT_TRUE(Child<QAction>("Hour1")->isChecked());
    EXPECT_FALSE(Child<QAction>("Minute1")->isChecked());
    EXPECT_EQ(form->XAxis1()->label(), "Time, h");
    EXPECT_EQ(Child<QLabel>("LabelSegmentStartTime")->text(), "Start time, h");
    EXPECT_EQ(form->RtPointSeriesXValueTransformation(90), 1.5);
    ExpectPoints(PointsOf(form->PlannedCurve("COMX")), {{0, 0}, {1.5, 40}, {1.5, 0}, {1.515, 0}});
    ExpectPoints(PointsOf(form->AchievedCurve("COMX")), {{1.5, 12.5}});

    // A point added in hours lands where its minutes say.
    form->FlowSerie(running, 120, 20, false);
    ExpectPoints(PointsOf(form->AchievedCurve("COMX")), {{1.5, 12.5}, {2, 20}});

    Trigger("Day1");
    EXPECT_EQ(form->XAxis1()->label(), "Time, d");
    ExpectPoints(PointsOf(form->AchievedCurve("COMX")), {{90.0 / 1440, 12.5}, {120.0 / 1440, 20}});
}

TEST_F(GraphTest, AchievedCurveHasTheDeviceLookAndIgnoresIdleDevices) {
    TDeviceInfo device = Device("COMY");
    device.ControlMode = dcmIdle;
    form->FlowSerie(device, 1, 50, false);
    EXPECT_EQ(form->AchievedCurve("COMY"), nullptr);

    device.ControlMode = dcmDirect;
    form->FlowSerie(device, 1, 50, false);
    form->FlowSerie(device, 2, 60, false);
    const QCPGraph* curve = form->AchievedCurve("COMY");
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->dataCount(), 2);
    EXPECT_EQ(curve->pen().widthF(), 3);
    EXPECT_EQ(curve->pen().color(), QColor(0, 128, 0));
    const QCPScatterStyle& symbols = curve->scatterStyle();
    EXPECT_EQ(symbols.size(), 25);
    EXPECT_EQ(symbols.pen(), QPen(Qt::black, 2));
    EXPECT_EQ(symbols.brush().color(), QColor(0, 128, 0));
    EXPECT_EQ(Device("COMY").SerieFlow, curve);

    form->FlowSerie(device, 0, 0, true);
    EXPECT_EQ(curve->dataCount(), 0);
}

TEST_F(GraphTest, ManyPointsBetweenTwoEventsCostOneRedraw) {
    int redraws = 0;
    QObject::connect(Chart(), &QCustomPlot::afterReplot, [&redraws] { ++redraws; });
    QCoreApplication::processEvents();
    redraws = 0;
    for (const char* port : {"COMX", "COMY"}) {
        TDeviceInfo device = Device(port);
        device.ControlMode = dcmSegment;
        for (int i = 0; i < 10; ++i) form->FlowSerie(device, i, 50, false);
    }
    EXPECT_EQ(redraws, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(redraws, 1);
}

TEST_F(GraphTest, ViewsShowOneAtATimeAndTogglesHideOnlyExistingCurves) {
    auto* data = Child<QPlainTextEdit>("MemoData");
    Trigger("ShowTable1");
    EXPECT_TRUE(data->isVisibleTo(form.get()));
    EXPECT_FALSE(Chart()->isVisibleTo(form.get()));
    EXPECT_TRUE(Child<QAction>("ShowTable1")->isChecked());
    EXPECT_FALSE(Child<QAction>("ShowGraph1")->isChecked());
    Trigger("ShowSegmentProgramTable1");
    EXPECT_TRUE(Child<QPlainTextEdit>("MemoSegments")->isVisibleTo(form.get()));
    EXPECT_FALSE(data->isVisibleTo(form.get()));
    Trigger("ShowGraph1");
    EXPECT_TRUE(Chart()->isVisibleTo(form.get()));

    Focus("COMX");
    TDeviceInfo running = Device("COMX");
    running.ControlMode = dcmSegment;
    form->FlowSerie(running, 1, 10, false);
    Trigger("ShowSegmentPrograms1");
    Trigger("Showachievedflows1");
    EXPECT_FALSE(form->PlannedCurve("COMX")->visible());
    EXPECT_FALSE(form->AchievedCurve("COMX")->visible());

    TDeviceInfo later = Device("COMY");
    later.ControlMode = dcmSegment;
    form->FlowSerie(later, 1, 10, false);
    EXPECT_TRUE(form->AchievedCurve("COMY")->visible());

    Trigger("ShowSegmentPrograms1");
    Trigger("Showachievedflows1");
    EXPECT_TRUE(form->PlannedCurve("COMX")->visible());
    EXPECT_TRUE(form->AchievedCurve("COMX")->visible());

    Trigger("Cleargraphdiscarddata1");
    EXPECT_EQ(form->AchievedCurve("COMX")->dataCount(), 0);
    EXPECT_EQ(form->AchievedCurve("COMY")->dataCount(), 0);
    EXPECT_EQ(form->PlannedCurve("COMX")->dataCount(), 0);
}

TEST_F(GraphTest, AchievedCurvesAreDrawnThickInEveryColourTheChartsDefaultBlueIncluded) {
    for (const TRtColor color : {TRtColor{0xFF0000FF}, TRtColor{0xFF800080}}) {
        TDeviceInfo device = Device("COMX");
        device.Color = color;
        device.ControlMode = dcmSegment;
        form->FlowSerie(device, 1, 10, false);
        EXPECT_EQ(form->AchievedCurve("COMX")->pen().widthF(), 3);
        EXPECT_EQ(form->AchievedCurve("COMX")->pen().color(), QColor::fromRgba(color));
    }
}

TEST_F(GraphTest, EngineTicksFillTheDataTableView) {
    form->Engine().TimerEngineTimer();
    const QStringList lines = Child<QPlainTextEdit>("MemoData")->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[1].startsWith("-             Device |"));
    EXPECT_TRUE(lines[5].endsWith("|               ? |               ? | "));
}

// The view keeps the last lines of a long table (the files and the export keep all) and
// takes a tick's lines in one go.
TEST_F(GraphTest, DataTableViewKeepsTheLastLinesAndShowsTheNewest) {
    for (int i = 0; i < kLogViewLines + 300; i += 100) {
        std::vector<std::string> lines;
        for (int j = i; j < i + 100; ++j) lines.push_back("line " + std::to_string(j));
        form->DataTableLinesAppended(lines);
        if (i % 5000 == 0) QCoreApplication::processEvents();
    }
    form->DataTableLinesAppended({"newest"});
    QCoreApplication::processEvents();
    auto* data = Child<QPlainTextEdit>("MemoData");
    EXPECT_EQ(data->blockCount(), kLogViewLines);
    EXPECT_EQ(data->document()->lastBlock().text(), "newest");
    EXPECT_EQ(data->document()->firstBlock().text(), "line 301");

    form->ScrollDataTableToEnd();
    EXPECT_EQ(data->verticalScrollBar()->value(), data->verticalScrollBar()->maximum());
}

// A point added within a second of the last redraw is drawn once the second has passed,
// not at once.
TEST_F(GraphTest, ChartRedrawsAtMostOnceASecond) {
    form->resize(1200, 900);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    int replots = 0;
    QObject::connect(Chart(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    TDeviceInfo device = Device("COMX");
    device.ControlMode = dcmSegment;
    QTest::qWait(1100);
    replots = 0;

    form->FlowSerie(device, 1, 10, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return replots == 1; }, 900));
    form->FlowSerie(device, 2, 20, false);
    QTest::qWait(300);
    EXPECT_EQ(replots, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return replots == 2; }, 3000));
}

TEST_F(GraphTest, DataTableLinesAddedWhileHiddenLeaveTheViewAtItsTop) {
    form->resize(1200, 900);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    for (int i = 0; i < 200; ++i) form->DataTableLinesAppended({"line " + std::to_string(i)});
    Trigger("ShowTable1");
    QCoreApplication::processEvents();
    auto* data = Child<QPlainTextEdit>("MemoData");
    EXPECT_EQ(data->verticalScrollBar()->value(), 0);

    form->ScrollDataTableToEnd();
    QCoreApplication::processEvents();
    EXPECT_EQ(data->verticalScrollBar()->value(), data->verticalScrollBar()->maximum());
    EXPECT_GT(data->verticalScrollBar()->maximum(), 0);
}

TEST_F(GraphTest, ProgramsStartedOnBothDemoDevicesDrawPlannedAndAchievedFlowsUntilReset) {
    Configure("COMX", kNitrogen);
    Configure("COMY", kNitrogen);
    SelectRows({"COMX", "COMY"});
    Child<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(Row("COMX")->text(1), "Segment");
    EXPECT_EQ(Row("COMY")->text(1), "Segment");
    EXPECT_GT(form->PlannedCurve("COMX")->dataCount(), 0);
    EXPECT_GT(form->PlannedCurve("COMY")->dataCount(), 0);

    // The simulated workers report about once a second; the engine ticks meanwhile.
    QElapsedTimer waited;
    waited.start();
    while ((!form->AchievedCurve("COMX") || form->AchievedCurve("COMX")->dataCount() == 0 ||
            form->AchievedCurve("COMY")->dataCount() == 0) &&
           waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        form->Engine().TimerEngineTimer();
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_NE(form->AchievedCurve("COMX"), nullptr);
    ASSERT_NE(form->AchievedCurve("COMY"), nullptr);
    EXPECT_GT(form->AchievedCurve("COMX")->dataCount(), 0);
    EXPECT_GT(form->AchievedCurve("COMY")->dataCount(), 0);

    Child<QPushButton>("BitBtn2")->click();
    EXPECT_EQ(Row("COMX")->text(1), "Ready");

    Trigger("Resetsoftware1");
    EXPECT_EQ(Row("COMX")->text(1), "Unknown");
    EXPECT_EQ(Row("COMY")->text(1), "Unknown");
    EXPECT_EQ(StatusBarLeds(), 1);
    EXPECT_EQ(Device("COMX").ThreadMFC, nullptr);
    EXPECT_EQ(form->AchievedCurve("COMX")->dataCount(), 0);
    EXPECT_EQ(form->windowTitle(), "Tessaro 2026-02-04");
}

class ChartNavigationTest : public GraphTest {
protected:
    ChartNavigationTest() {
        form->resize(1200, 900);
        form->show();
        QVERIFY_EXPECT(QTest::qWaitForWindowExposed(form.get()));
        Focus("COMX");  // the demo program: 0 to 24.24 minutes
        QCoreApplication::processEvents();
    }
    static void QVERIFY_EXPECT(bool ok) { EXPECT_TRUE(ok); }

    TChartNavigator* Navigator() const { return Chart()->findChild<TChartNavigator*>(); }
    QPoint Inside(double fx, double fy) const {
        const QRect area = Chart()->axisRect()->rect();
        return {area.left() + static_cast<int>(area.width() * fx), area.top() + static_cast<int>(area.height() * fy)};
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mousePress(Chart(), Qt::LeftButton, modifiers, from);
        QTest::mouseMove(Chart(), (from + to) / 2);
        QTest::mouseMove(Chart(), to);
        QTest::mouseRelease(Chart(), Qt::LeftButton, modifiers, to);
        QCoreApplication::processEvents();
    }
    void ClickBeside() {
        QTest::mouseClick(Chart(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        QCoreApplication::processEvents();
    }
};

TEST_F(ChartNavigationTest, DragZoomsClickBesideStepsBackAndTwentyViewsAreKept) {
    TChartNavigator* navigator = Navigator();
    ASSERT_NE(navigator, nullptr);
    EXPECT_TRUE(navigator->FollowsData());
    EXPECT_NEAR(form->XAxis1()->range().upper, 24.24, 1e-9);

    Drag(Inside(0.2, 0.2), Inside(0.4, 0.8));
    EXPECT_FALSE(navigator->FollowsData());
    EXPECT_EQ(navigator->UndoDepth(), 1);
    const QCPRange zoomed = form->XAxis1()->range();
    EXPECT_LT(zoomed.size(), 24.24 / 2);

    Drag(Inside(0.5, 0.5), Inside(0.7, 0.5), Qt::ShiftModifier);
    EXPECT_EQ(navigator->UndoDepth(), 2);
    EXPECT_NEAR(form->XAxis1()->range().size(), zoomed.size(), 1e-9);
    EXPECT_LT(form->XAxis1()->range().lower, zoomed.lower);

    ClickBeside();
    EXPECT_EQ(navigator->UndoDepth(), 1);
    EXPECT_EQ(form->XAxis1()->range(), zoomed);

    for (int i = 0; i < 25; ++i) Drag(Inside(0.1, 0.1), Inside(0.9, 0.9));
    EXPECT_EQ(navigator->UndoDepth(), TChartNavigator::kUndoSteps);

    QTest::mouseDClick(Chart(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCoreApplication::processEvents();
    EXPECT_TRUE(navigator->FollowsData());
    EXPECT_EQ(navigator->UndoDepth(), 0);
}

// --- Legend, saved chart, small screens ---------------------------------------------------------

double NumberAfter(const QString& text, const QString& marker) {
    const qsizetype at = text.indexOf(marker);
    if (at < 0) return std::nan("");
    return text.mid(at + marker.size()).section(' ', 0, 0).toDouble();
}

TEST_F(GraphTest, LegendNamesTheCurvesOfEachDeviceWithItsLiveValuesAfterATick) {
    Configure("COMX", kNitrogen);
    TDeviceInfo device = Device("COMX");
    device.ControlMode = dcmDirect;
    device.Setpoint_pct = 50;
    StoreDevice(device);

    QCPLegend* legend = Chart()->legend;
    TickEngineUntil([&] { return legend->itemCount() >= 2 && Device("COMX").LastHandledSequence != 0; });
    ASSERT_EQ(legend->itemCount(), 2);

    // The planned curve above the achieved one, each entry drawn with its curve's look.
    auto* planned = qobject_cast<QCPPlottableLegendItem*>(legend->item(0));
    auto* achieved = qobject_cast<QCPPlottableLegendItem*>(legend->item(1));
    ASSERT_NE(planned, nullptr);
    ASSERT_NE(achieved, nullptr);
    EXPECT_EQ(planned->plottable(), form->PlannedCurve("COMX"));
    EXPECT_EQ(achieved->plottable(), form->AchievedCurve("COMX"));
    EXPECT_TRUE(legend->visible());

    // The texts follow the record the tick has just renewed: the setpoint, its flow in the
    // device's unit (its full scale is 50 ml/min) and the last reading.
    EXPECT_EQ(planned->plottable()->name(), "Virtual Demo COMX planned: 50 % = 25 ml/min");
    const QString achievedNow = achieved->plottable()->name();
    EXPECT_TRUE(achievedNow.startsWith("Virtual Demo COMX achieved: ")) << achievedNow.toStdString();
    EXPECT_NEAR(NumberAfter(achievedNow, "achieved: "), Device("COMX").FlowUnitUser.GasFlowValue, 0.0006);

    // Hidden achieved curves leave the legend.
    Trigger("Showachievedflows1");
    EXPECT_EQ(legend->itemCount(), 1);
}

TEST_F(GraphTest, AchievedSymbolsOfDevicesWhosePointsCoincideAllStayVisible) {
    form->resize(1200, 900);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // Both demo devices are of one kind; the second one gets a symbol of its own and is
    // drawn beneath the first, whose symbol covers less.
    for (const char* port : {"COMX", "COMY"}) {
        TDeviceInfo device = Device(port);
        device.ControlMode = dcmSegment;
        for (const double minute : {1.0, 2.0, 3.0}) form->FlowSerie(device, minute, 50, false);
    }
    const QCPGraph* first = form->AchievedCurve("COMX");
    const QCPGraph* second = form->AchievedCurve("COMY");
    EXPECT_NE(first->scatterStyle().shape(), second->scatterStyle().shape());

    const QImage drawn = Chart()->toPixmap(800, 400).toImage();
    int purple = 0, green = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            purple += pixel == qRgb(128, 0, 128);
            green += pixel == qRgb(0, 128, 0);
        }
    EXPECT_GT(purple, 50);
    EXPECT_GT(green, 50);
}

TEST_F(GraphTest, SaveChartWritesPngOrPdfByTheEndingAndTellsWhatHappened) {
    const QString base = folder.path() + "/chart";
    struct Case {
        QString name;
        QByteArray magic;
    };
    for (const Case& c : {Case{base + ".png", QByteArray("\x89PNG\r\n\x1a\n", 8)}, Case{base + ".PDF", "%PDF-"}}) {
        EXPECT_TRUE(form->SaveChart(c.name)) << c.name.toStdString();
        QFile file(c.name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_GT(bytes.size(), 1000);
        EXPECT_TRUE(bytes.startsWith(c.magic)) << c.name.toStdString();
        EXPECT_TRUE(Child<QPlainTextEdit>("MemoMain")->toPlainText().contains("Chart saved to " + c.name));
    }
    EXPECT_TRUE(messages.messages.empty());

    // A folder that does not exist, and a name that says neither format: a message naming
    // the file, nothing written.
    for (const QString& refused : {folder.path() + "/missing/chart.png", base + ".jpg"}) {
        messages.messages.clear();
        EXPECT_FALSE(form->SaveChart(refused));
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_NE(messages.messages[0].find(refused.toStdString()), std::string::npos) << messages.messages[0];
        EXPECT_FALSE(QFile::exists(refused));
    }
}

TEST_F(GraphTest, OnLaptopScreensEveryPageFitsItsWidthAndTheChartKeepsItsHeight) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* pages = Child<QTabWidget>("PageControlMain");
    for (const QSize screen : {QSize(1024, 600), QSize(1366, 768)}) {
        form->resize(screen);
        QCoreApplication::processEvents();
        // The window takes the size: nothing's minimum makes it larger than the screen.
        EXPECT_LE(form->frameGeometry().height(), screen.height() + 40) << screen.width();
        EXPECT_EQ(form->width(), screen.width());
        EXPECT_LE(form->height(), screen.height());
        EXPECT_GE(Chart()->height(), kChartMinimumHeight) << screen.width();
        for (int index = 0; index < pages->count(); ++index) {
            pages->setCurrentIndex(index);
            QCoreApplication::processEvents();
            auto* scroll = qobject_cast<QScrollArea*>(pages->widget(index));
            ASSERT_NE(scroll, nullptr) << index;
            EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible()) << screen.width() << " page " << index;
            EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width()) << screen.width() << " page " << index;
        }
    }

    // At 1024 the flow-unit group stands below the device fields, within the page.
    form->resize(1024, 600);
    pages->setCurrentIndex(0);
    QCoreApplication::processEvents();
    auto* group = Child<QWidget>("GroupBoxFlowUnit");
    auto* page = qobject_cast<QScrollArea*>(pages->widget(0));
    const QRect groupOnPage(group->mapTo(page->widget(), QPoint(0, 0)), group->size());
    EXPECT_GT(groupOnPage.top(), Child<QWidget>("BitBtn6")->mapTo(page->widget(), QPoint(0, 0)).y());
    EXPECT_LE(groupOnPage.right(), page->viewport()->width());
}

}  // namespace
}  // namespace tessaro
