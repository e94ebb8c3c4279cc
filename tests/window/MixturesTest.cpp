// The "Mixtures" and "Designer" pages: a recipe typed and added reaches the devices'
// programs and the chart; the designer follows the selection and the time, and moving a
// device's flow shows the new mixture.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <tuple>

#include "NumberEdit.h"
#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

using test::kNitrogen;

bool HasPoint(const QCPGraph* curve, double key, double value) {
    if (curve == nullptr) return false;
    for (const QCPGraphData& point : *curve->data())
        if (point.key == key && point.value == value) return true;
    return false;
}

class MixturesTest : public test::WindowFixture {
protected:
    MixturesTest() {
        Configure("COMX", kNitrogen);  // 50 ml/min full scale
        Configure("COMY", kNitrogen);  // 500 ml/min
    }
    QString Report() const { return Child<QPlainTextEdit>("MemoMixResult")->toPlainText(); }
    QString DesignerReport() const { return Child<QPlainTextEdit>("MemoMixDesigner")->toPlainText(); }
};

TEST_F(MixturesTest, ARecipeTypedAndAddedReachesBothProgramsAndTheChart) {
    Child<QPushButton>("ButtonMixSegmentsAdd")->click();  // the default recipe is not evaluated yet
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Cannot add invalid recipe"});

    Child<QPlainTextEdit>("MemoMixRecipe")->setPlainText("COMX 150");
    EXPECT_EQ(Report(), "Invalid setpoint on line 1\n");
    Child<QPlainTextEdit>("MemoMixRecipe")->setPlainText("comx 50\nCOMY 20 r");
    Child<QLineEdit>("EditMixtureName")->setText("Dry");
    EXPECT_TRUE(Report().startsWith("Mixture: 'Dry'\n\n  Inputs:\n")) << Report().toStdString();
    EXPECT_TRUE(Report().contains("  Partial pressures:\n    N2")) << Report().toStdString();

    for (const char* port : {"COMX", "COMY"}) {  // whole minutes: segments can be merged in
        TDeviceInfo device = Device(port);
        device.SegmentProgram = "0 10 Step\r\n40 10 Step";
        StoreDevice(device);
    }
    SelectRows({"COMX", "COMY"});
    Child<TNumberEdit>("RtDoubleEditMixSegmentsAddTime")->setValue(30.5);
    Child<QLineEdit>("EditNoteMixture")->setText("dry run");
    Child<QPushButton>("ButtonMixSegmentsAdd")->click();
    EXPECT_NE(Device("COMX").SegmentProgram.Text().find("30 50 Step dry_run"), std::string::npos);
    EXPECT_NE(Device("COMY").SegmentProgram.Text().find("30 20 Ramp dry_run"), std::string::npos);
    EXPECT_TRUE(HasPoint(form->PlannedCurve("COMX"), 30, 50));
    EXPECT_TRUE(HasPoint(form->PlannedCurve("COMY"), 30, 20));
    EXPECT_EQ(messages.messages.size(), 1u);
}

// The time of "Add" is typed in the window's time unit; the programs count minutes.
TEST_F(MixturesTest, AnAddTimeTypedInHoursOrDaysBecomesItsMinutes) {
    TDeviceInfo device = Device("COMX");
    device.SegmentProgram = "0 10 Step";  // whole minutes: segments can be merged in
    StoreDevice(device);
    Child<QPlainTextEdit>("MemoMixRecipe")->setPlainText("COMX 50");
    struct Case {
        const char* UnitAction;
        double Typed;
        std::string Line;
    };
    for (const Case& c :
         {Case{"Hour1", 1.5, "90 50 Step"}, Case{"Day1", 0.25, "360 50 Step"}, Case{"Minute1", 7, "7 50 Step"}}) {
        Child<QAction>(c.UnitAction)->trigger();
        Child<TNumberEdit>("RtDoubleEditMixSegmentsAddTime")->setValue(c.Typed);
        Child<QPushButton>("ButtonMixSegmentsAdd")->click();
        EXPECT_NE(Device("COMX").SegmentProgram.Text().find(c.Line), std::string::npos)
            << c.UnitAction << ": " << Device("COMX").SegmentProgram;
    }
    EXPECT_EQ(messages.messages, std::vector<std::string>{});
}

TEST_F(MixturesTest, TheDesignerFollowsTheSelectionTheTimeAndTheSliders) {
    SelectRows({"COMX", "COMY"});
    form->ListViewDevicesClick();
    auto* panel = Child<QWidget>("FlowPanelControls");
    const auto groups = panel->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0]->title(), "COMX - N2 - ml/min");
    auto* timeSlider = Child<QSlider>("TrackBarDesignerTime");
    EXPECT_EQ(timeSlider->maximum(), 250);  // programs of 24 and 8 minutes
    EXPECT_FALSE(Child<QPushButton>("BitBtnDesignerApply")->isEnabled());

    auto* time = Child<TNumberEdit>("RtDoubleEditDesignMixTime");
    time->setValue(12.25);
    auto* slider = Child<QSlider>("TrackBarDesignerDynamic_COMX");
    auto* field = Child<TNumberEdit>("DoubleEditDynamic_COMX");
    EXPECT_EQ(slider->value(), 65);
    EXPECT_DOUBLE_EQ(field->value(), 32.5);
    const QCPGraph* marker = form->DesignerTimeMarker();
    ASSERT_NE(marker, nullptr);
    EXPECT_TRUE(HasPoint(marker, 12.25, 100));
    // Within a ramp the field shows the program's flow to the last digit.
    time->setValue(0.7);
    EXPECT_DOUBLE_EQ(Child<TNumberEdit>("DoubleEditDynamic_COMY")->value(), 500 * (100 * 0.7 / 1.5) / 100);
    time->setValue(12.25);
    const QString atTime = DesignerReport();
    EXPECT_TRUE(atTime.startsWith(" *************************** \n")) << atTime.toStdString();

    // Dragging the slider, and moving it with the keyboard, designs a new flow at once.
    slider->setValue(80);
    EXPECT_DOUBLE_EQ(field->value(), 40);
    const QString dragged = DesignerReport();
    EXPECT_NE(dragged, atTime);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->value(), 81);
    EXPECT_DOUBLE_EQ(field->value(), 40.5);
    EXPECT_NE(DesignerReport(), dragged);

    // A typed flow below a ten-thousandth of full scale (here 0.005) snaps to 0 or to that;
    // the slider follows the field that has the focus.
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    field->setFocus();
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_3, Qt::NoModifier, "3");
    for (const auto& [typed, kept, position] : {std::tuple{0.003, 0.005, 0}, {0.002, 0.0, 0}, {20.0, 20.0, 40}}) {
        field->setValue(typed);
        QCoreApplication::sendEvent(field, &release);
        EXPECT_DOUBLE_EQ(field->value(), kept) << typed;
        EXPECT_EQ(slider->value(), position) << typed;
    }
    time->setFocus();

    // A time typed beyond the slider's reach extends it.
    time->setValue(40);
    QCoreApplication::sendEvent(time, &release);
    EXPECT_EQ(timeSlider->maximum(), 410);
    EXPECT_EQ(timeSlider->value(), 400);
}

}  // namespace
}  // namespace tessaro
