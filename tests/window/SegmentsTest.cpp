// The "Design segments" page: typing a program row by row, picking rows, the type button,
// the table's context menu and the merged listing view.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "NumberEdit.h"
#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using test::kNitrogen;

class SegmentsTest : public test::WindowFixture {
protected:
    QTreeWidget* Table() const { return Child<QTreeWidget>("ListViewSegmentProgram"); }
    QPushButton* TypeButton() const { return Child<QPushButton>("BitBtn3"); }
    void Type(double startTime, double flow, const char* type, const char* note = "") {
        Child<TNumberEdit>("RtDoubleEditSegmentTime")->setValue(startTime);
        Child<TNumberEdit>("RtDoubleEditSegmentFlow")->setValue(flow);
        if (TypeButton()->text() != type) TypeButton()->click();
        Child<QLineEdit>("EditNote")->setText(note);
        Child<QPushButton>("BitBtn4")->click();
    }
    std::vector<QStringList> Rows() const {
        std::vector<QStringList> rows;
        for (int i = 0; i < Table()->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int column = 0; column < 4; ++column) cells << Table()->topLevelItem(i)->text(column);
            rows.push_back(cells);
        }
        return rows;
    }
    void SetProgram(const char* port, const std::string& program) {
        TDeviceInfo device = Device(port);
        device.SegmentProgram = program;
        StoreDevice(device);
    }
};

TEST_F(SegmentsTest, AProgramTypedRowByRowRunsAndIsDrawn) {
    Configure("COMX", kNitrogen);
    Child<QPushButton>("BitBtn5")->click();  // nothing selected: nothing happens
    SetProgram("COMX", "");
    Focus("COMY");
    Focus("COMX");
    ASSERT_EQ(Table()->topLevelItemCount(), 0);

    Type(20, 0, "Ramp");
    Type(10, 80, "Ramp", "warm up");
    Type(15, 80, "Step");
    // The added row's empty note cell ends its line in a space; rows read back from the
    // program have no note cell.
    EXPECT_EQ(Device("COMX").SegmentProgram, "10 80 Ramp warm_up\r\n15 80 Step \r\n20 0 Ramp");
    Type(10, 60, "Ramp", "warm up");  // the same time again replaces its row
    EXPECT_EQ(Rows(), (std::vector<QStringList>{
                          {"10", "60", "Ramp", "warm up"}, {"15", "80", "Step", ""}, {"20", "0", "Ramp", ""}}));
    EXPECT_EQ(Device("COMX").SegmentProgram, "10 60 Ramp warm_up\r\n15 80 Step\r\n20 0 Ramp");

    Child<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(Row("COMX")->text(1), "Segment");
    const QCPGraph* planned = form->PlannedCurve("COMX");
    ASSERT_NE(planned, nullptr);
    std::vector<std::pair<double, double>> points;
    for (auto point = planned->data()->constBegin(); point != planned->data()->constEnd(); ++point)
        points.emplace_back(point->key, point->value);
    // After the last point the device goes to 0 %, the default end.
    const std::vector<std::pair<double, double>> expected = {{0, 0},  {10, 60}, {15, 60}, {15, 80},
                                                             {20, 0}, {20, 0},  {20.2, 0}};
    ASSERT_EQ(points.size(), expected.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].first, expected[i].first, 1e-12) << i;
        EXPECT_EQ(points[i].second, expected[i].second) << i;
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SegmentsTest, HoldAndResumeReachTheSelectedProgramsAndTheRowShowsTheState) {
    Configure("COMX", kNitrogen);
    SetProgram("COMX", "10 100 Ramp");
    Focus("COMX");
    Child<QPushButton>("BitBtn1")->click();
    Child<QPushButton>("ButtonHoldPrograms")->click();
    EXPECT_EQ(Device("COMX").Run.Pause, TProgramPause::Hold);
    EXPECT_EQ(Row("COMX")->text(1), "Hold");
    // While held, the planned curve holds its value and moves the rest later.
    EXPECT_TRUE(TickEngineUntil([&] { return form->PlannedCurve("COMX")->dataCount() == 6; }));
    Child<QPushButton>("ButtonResumePrograms")->click();
    EXPECT_EQ(Row("COMX")->text(1), "Segment");
    Child<QAction>("HoldAllPrograms1")->trigger();
    EXPECT_EQ(Row("COMX")->text(1), "Hold");
    Child<QAction>("ResumeAllPrograms1")->trigger();
    EXPECT_EQ(Device("COMX").Run.Pause, TProgramPause::None);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SegmentsTest, RunSettingsAreStoredForTheFocusedDeviceAndShownForEachDevice) {
    Focus("COMX");
    auto* zero = Child<QRadioButton>("RadioButtonGoToZero");
    auto* keep = Child<QRadioButton>("RadioButtonKeepLastFlow");
    EXPECT_TRUE(zero->isChecked());
    keep->click();
    Child<TNumberEdit>("RtDoubleEditProgramRepeat")->setValue(3);
    Child<TNumberEdit>("RtDoubleEditAlarmBand")->setValue(2.5);
    EXPECT_EQ(Device("COMX").SegmentProgramTermination, TSegProgTermination::tspttKeep);
    EXPECT_EQ(Device("COMX").ProgramRepeat, 3);
    EXPECT_EQ(Device("COMX").AlarmBand_pct, 2.5);

    // Showing another device shows its own settings and changes none.
    Focus("COMY");
    EXPECT_TRUE(zero->isChecked());
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditProgramRepeat")->value(), 1);
    EXPECT_EQ(Device("COMY").ProgramRepeat, 1);
    Focus("COMX");
    EXPECT_TRUE(keep->isChecked());
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditAlarmBand")->value(), 2.5);
}

// A start time before 0 makes a line the program text calls invalid: the field says so, has
// no conversion, and "Add / Apply Segment" refuses it by the field's name and range.
TEST_F(SegmentsTest, ANegativeStartTimeIsRefusedByItsFieldAndByAdd) {
    SetProgram("COMX", "10 100 Ramp");
    Focus("COMX");
    Child<QAction>("Hour1")->trigger();
    auto* time = Child<TNumberEdit>("RtDoubleEditSegmentTime");
    time->selectAll();
    QTest::keyClicks(time, "-5");
    EXPECT_FALSE(time->HasAcceptableText());
    EXPECT_FALSE(time->styleSheet().isEmpty());
    EXPECT_EQ(Child<QLabel>("LabelSegmentStartTimeTimeConversions")->text(), "");

    Child<QPushButton>("BitBtn4")->click();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Start time, h: type a number from 0 to 1000000000000."});
    EXPECT_EQ(Device("COMX").SegmentProgram, "10 100 Ramp");
    EXPECT_EQ(Table()->topLevelItemCount(), 1);

    time->selectAll();
    QTest::keyClicks(time, "0.5");
    EXPECT_EQ(Child<QLabel>("LabelSegmentStartTimeTimeConversions")->text(), "0 days, 0 hours, 30 minutes");
}

TEST_F(SegmentsTest, PickingARowFillsTheFieldsAndDeleteRemovesIt) {
    SetProgram("COMX", "30 100 Ramp Flow_5%\r\n90 50 Step");
    Focus("COMX");
    Child<QAction>("Hour1")->trigger();
    Table()->setCurrentItem(Table()->topLevelItem(0));
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditSegmentTime")->value(), 0.5);
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditSegmentFlow")->value(), 100);
    EXPECT_EQ(TypeButton()->text(), "Ramp");
    EXPECT_EQ(TypeButton()->property("iconName").toString(), "increase-arrow-up");
    EXPECT_EQ(Child<QLineEdit>("EditNote")->text(), "Flow 5%");
    EXPECT_EQ(Child<QLabel>("LabelSegmentStartTimeTimeConversions")->text(), "0 days, 0 hours, 30 minutes");
    TypeButton()->click();
    EXPECT_EQ(TypeButton()->text(), "Step");
    EXPECT_EQ(TypeButton()->property("iconName").toString(), "corner-right-up-line");

    Table()->setCurrentItem(Table()->topLevelItem(1));
    EXPECT_EQ(Child<QLineEdit>("EditNote")->text(), "");
    EXPECT_EQ(Child<QLabel>("LabelSegmentStartTimeTimeConversions")->text(), "0 days, 1 hour, 30 minutes");
    Child<QPushButton>("BitBtn5")->click();
    EXPECT_EQ(Device("COMX").SegmentProgram, "30 100 Ramp Flow_5%");
    EXPECT_EQ(Table()->topLevelItemCount(), 1);
}

TEST_F(SegmentsTest, CellsKeepThePointInACommaLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetProgram("COMY", "");
    Focus("COMY");
    Type(2.5, 12.5, "Step");
    QLocale::setDefault(before);
    EXPECT_EQ(Rows().at(0).mid(0, 2), (QStringList{"2.5", "12.5"}));
    EXPECT_EQ(Device("COMY").SegmentProgram, "2.5 12.5 Step");
}

TEST_F(SegmentsTest, WithoutAFocusedDeviceTheTableShowsTheEditOnly) {
    Type(5, 50, "Step");
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Could not get assigned device."});
    EXPECT_EQ(Rows(), (std::vector<QStringList>{{"5", "50", "Step", ""}}));
}

TEST_F(SegmentsTest, TheContextMenuSavesAndLoadsThroughTheDialogs) {
    auto* menu = Child<QMenu>("PopupMenuSegment");
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "Load Segment Program");
    EXPECT_EQ(menu->actions()[1]->text(), "Save Segment Program As");

    const std::filesystem::path file = form->Engine().SegmentProgramsFolder() / "saved.txt";
    int asked = 0;
    form->SetSegmentFileDialogs([&](const TFileDialogRequest&) { return ++asked, std::optional(file); },
                                [&](const TFileDialogRequest&) { return ++asked, std::optional(file); });
    SetProgram("COMX", "3 30 Step");
    Focus("COMX");
    Child<QAction>("SaveSegmentProgramAs1")->trigger();
    SetProgram("COMY", "");
    Focus("COMY");
    Child<QAction>("LoadSegmentProgram2")->trigger();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Device("COMY").SegmentProgram, "3 30 Step");
    EXPECT_EQ(Rows().at(0).at(0), "3");
}

TEST_F(SegmentsTest, TheListingViewFollowsTheSelectionAndKeepsItsPlace) {
    std::string program;
    for (int minute = 1; minute <= 300; ++minute) program += std::to_string(minute) + " 10 Step\r\n";
    SetProgram("COMX", program);
    SelectRows({"COMY", "COMX"});
    auto* view = Child<QPlainTextEdit>("MemoSegments");
    EXPECT_TRUE(view->toPlainText().startsWith(" Segment programs \n" + QString(62, '=')));
    EXPECT_TRUE(view->toPlainText().contains("COMX MFC |       COMY MFC |"));

    form->resize(800, 900);
    form->show();
    Child<QAction>("ShowSegmentProgramTable1")->trigger();
    QCoreApplication::processEvents();
    view->verticalScrollBar()->setValue(120);
    SetProgram("COMY", "150 20 Ramp");
    form->Engine().TimerEngineTimer();
    EXPECT_TRUE(view->toPlainText().contains("20  Ramp"));
    EXPECT_EQ(view->verticalScrollBar()->value(), 120);

    Child<QAction>("ShowSegmentPrograms1")->trigger();  // unticked: the listing is empty
    EXPECT_TRUE(view->toPlainText().isEmpty());
}

}  // namespace
}  // namespace tessaro
