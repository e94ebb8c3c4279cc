// What assistive technology reads from the main window: the names and descriptions of its
// controls, the LEDs' states, the chart's summary, refused numbers, and moving through the
// lists with the keyboard.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <algorithm>
#include <utility>
#include <vector>

#include "FormAccessibility.h"
#include "NumberEdit.h"
#include "StatusLed.h"
#include "TestApplication.h"
#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

QString AccessibleText(QObject* object, QAccessible::Text which) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible == nullptr ? QString() : accessible->text(which);
}

std::string Said(QObject* object, QAccessible::Text which) { return AccessibleText(object, which).toStdString(); }

// The name of the label the control is captioned by.
QString CaptionLabel(QObject* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    const auto labels = accessible->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

bool IsInteractive(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) != nullptr ||
           qobject_cast<const QLineEdit*>(widget) != nullptr || qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
           qobject_cast<const QTextEdit*>(widget) != nullptr || qobject_cast<const QSlider*>(widget) != nullptr;
}

// A list's header, a spin box's text field or a combo box's pop-up is part of its control,
// and Qt's own helpers (named "qt_...") speak for themselves.
bool IsPartOfAControl(const QWidget* widget, const QWidget* window) {
    if (widget->objectName().startsWith("qt_")) return true;
    for (const QWidget* above = widget->parentWidget(); above != nullptr && above != window;
         above = above->parentWidget())
        if (IsInteractive(above)) return true;
    return false;
}

class AccessibilityTest : public test::WindowFixture {
protected:
    QString Pane() const { return Child<QTextBrowser>("DzHTMLTextTips")->toPlainText(); }
    void ShowPageOf(const QWidget* control) const {
        auto* pages = Child<QTabWidget>("PageControlMain");
        for (int page = 0; page < pages->count(); ++page)
            if (pages->widget(page)->isAncestorOf(control)) pages->setCurrentIndex(page);
    }

    // The interactive controls of the window, the designer's groups of both devices included.
    QList<QWidget*> Controls() {
        SelectRows({"COMX", "COMY"});
        form->ListViewDevicesClick();
        QList<QWidget*> controls;
        for (QWidget* widget : form->findChildren<QWidget*>())
            if (IsInteractive(widget) && !IsPartOfAControl(widget, form.get())) controls.append(widget);
        return controls;
    }
};

TEST_F(AccessibilityTest, EveryInteractiveControlOfEveryPageHasAName) {
    const QList<QWidget*> controls = Controls();
    QStringList unnamed;
    for (QWidget* control : controls)
        if (AccessibleText(control, QAccessible::Name).trimmed().isEmpty())
            unnamed << control->objectName() + " (" + control->metaObject()->className() + ")";
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.size() << " of " << controls.size()
                                   << " controls have no name: " << unnamed.join(", ").toStdString();
}

TEST_F(AccessibilityTest, ControlsAreNamedAfterTheirCaptionsOrWhatTheyShow) {
    Controls();
    const std::pair<const char*, const char*> expected[] = {
        {"EditDeviceName", "Device Name"},
        {"RtDoubleEditSyringeSizeµL", "Syringe size, µL"},
        {"RtColorPickComboDeviceColor", "Device color in software"},
        {"ComboBoxDeviceFluid", "Fluid"},
        {"ComboBoxDeviceFluidPump", "Fluid"},
        {"SpinEditPrimeLoops", "Loops"},
        {"TrackBarDesignerTime", "Time, m"},  // by its group's title
        {"EditNote", "Note"},                 // by its placeholder
        {"BitBtn8", "Stop flow & stop tracking device"},
        {"ListViewDevices", "Devices"},
        {"ListViewSegmentProgram", "Segment program"},
        {"MemoMain", "Log"},
        {"MemoData", "Data table"},
        {"MemoSegments", "Segment program listing"},
        {"DzHTMLTextTips", "Help"},
        {"RtGraph2DMain", "Flow chart"},
    };
    for (const auto& [name, shown] : expected) {
        QWidget* control = Child<QWidget>(name);
        // Screen readers on Linux read a drop-down list by its value and its caption label.
        if (qobject_cast<QComboBox*>(control) != nullptr) {
            EXPECT_EQ(CaptionLabel(control).toStdString(), shown) << name;
            EXPECT_EQ(control->accessibleName().toStdString(), shown) << name;  // elsewhere
        } else {
            EXPECT_EQ(Said(control, QAccessible::Name), shown) << name;
        }
    }
}

// A group's title is no button's name: "Start segment program(s)" and "Stop segment
// program(s)" would both be read as "Selected devices".
TEST_F(AccessibilityTest, EveryButtonRadioButtonAndCheckBoxIsNamedByItsOwnText) {
    std::vector<QAbstractButton*> buttons;
    for (QWidget* control : Controls())
        if (auto* button = qobject_cast<QAbstractButton*>(control); button != nullptr && !button->text().isEmpty())
            buttons.push_back(button);
    ASSERT_GE(buttons.size(), 15u);
    for (QAbstractButton* button : buttons)
        EXPECT_EQ(Said(button, QAccessible::Name), AccessibleCaption(button->text()).toStdString())
            << button->objectName().toStdString();

    // The group's title still tells what a button without help of its own belongs to (one
    // with help is described by it: the help tests check that).
    for (QAbstractButton* button : buttons) {
        auto* group = qobject_cast<QGroupBox*>(button->parentWidget());
        if (group == nullptr || group->title().isEmpty() || !button->toolTip().isEmpty()) continue;
        EXPECT_EQ(Said(button, QAccessible::Description), AccessibleCaption(group->title()).toStdString())
            << button->objectName().toStdString();
    }

    // A button whose text changes is read by the text it shows.
    auto* type = Child<QAbstractButton>("BitBtn3");
    const QString before = type->text();
    type->click();
    ASSERT_NE(type->text(), before);
    EXPECT_EQ(Said(type, QAccessible::Name), type->text().toStdString());
}

TEST(AccessibleCaption, DropsTheKeyMarkAndTheTrailingColon) {
    const std::pair<const char*, const char*> cases[] = {
        {"&Loops:", "Loops"},           {"Stop flow && stop", "Stop flow & stop"},
        {"Time, m", "Time, m"},         {" Unit &name : ", "Unit name"},
        {"Ends with &", "Ends with &"}, {"", ""},
    };
    for (const auto& [caption, name] : cases) EXPECT_EQ(AccessibleCaption(caption).toStdString(), name) << caption;
}

TEST_F(AccessibilityTest, HelpTextsAreTooltipsAndDescriptionsAndFollowTheKeyboardFocus) {
    Controls();
    const std::string multiDevice =
        "Multi device button. To select more than one device, use ctrl or shift-click functionality on available "
        "devices. Action applies to all selected devices.";
    auto* start = Child<QWidget>("BitBtn1");
    EXPECT_EQ(Said(start, QAccessible::Description), multiDevice);
    EXPECT_TRUE(start->toolTip().contains("Multi device button.")) << start->toolTip().toStdString();

    // Help found through the caption, through the area and for the fluid lists.
    EXPECT_TRUE(AccessibleText(Child<QWidget>("RtColorPickComboDeviceColor"), QAccessible::Description)
                    .startsWith("Select unique color for this device."));
    EXPECT_TRUE(AccessibleText(Child<QWidget>("TrackBarDesignerDynamic_COMX"), QAccessible::Description)
                    .startsWith("Set the flow for this device."));
    EXPECT_TRUE(AccessibleText(Child<QWidget>("ComboBoxDeviceFluidPump"), QAccessible::Description)
                    .startsWith("All1 gases and fluids available for this device"));
    EXPECT_TRUE(AccessibleText(Child<QWidget>("EditDeviceType"), QAccessible::Description).isEmpty());

    // A number field keeps its range in the tooltip above the help.
    auto* time = Child<TNumberEdit>("RtDoubleEditDesignMixTime");
    EXPECT_TRUE(time->toolTip().startsWith("Allowed: from 0 to ")) << time->toolTip().toStdString();
    EXPECT_TRUE(time->toolTip().endsWith("specifying times after the last segment."));
    EXPECT_TRUE(time->accessibleDescription().startsWith("Manually entering the time"));

    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const std::pair<const char*, const char*> focused[] = {
        {"BitBtn6", "Checks the selected configuration"},
        {"RtColorPickComboDeviceColor", "Select unique color for this device."},
        {"RtDoubleEditDesignMixTime", "Manually entering the time"},
        {"TrackBarDesignerDynamic_COMX", "Set the flow for this device."},
        {"ComboBoxFlowUnitPredefined", "Gas flow can be measured by mass or by volume."},
    };
    for (const auto& [name, help] : focused) {
        QWidget* control = Child<QWidget>(name);
        ShowPageOf(control);
        control->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(Pane().startsWith(help)) << name << ": " << Pane().toStdString();
    }
}

// The field's whole text replaced, as typing over a selection does.
void Replace(TNumberEdit* field, const char* text) { field->findChild<QLineEdit*>()->setText(text); }

TEST_F(AccessibilityTest, ARefusedNumberIsDescribedUntilAccepted) {
    auto* setpoint = Child<TNumberEdit>("RtDoubleEditDirectControlDesiredFlow");
    auto* time = Child<TNumberEdit>("RtDoubleEditDesignMixTime");
    const QString help = time->accessibleDescription();
    ASSERT_FALSE(help.isEmpty());

    Replace(setpoint, "abc");
    EXPECT_EQ(Said(setpoint, QAccessible::Description), "Not a number from 0 to 100");
    Replace(setpoint, "50");
    EXPECT_EQ(Said(setpoint, QAccessible::Description), "Allowed: from 0 to 100");  // the tooltip
    Replace(setpoint, "-1");
    EXPECT_EQ(Said(setpoint, QAccessible::Description), "Not a number from 0 to 100");

    Replace(time, "x");
    EXPECT_TRUE(time->accessibleDescription().startsWith("Not a number from 0 to "));
    Replace(time, "2");
    EXPECT_EQ(time->accessibleDescription().toStdString(), help.toStdString());
}

TEST(StatusLedWords, NameDescriptionAndTooltipFollowTheState) {
    test::TestApplication();
    TLed led;
    EXPECT_EQ(Said(&led, QAccessible::Name), "Off");
    led.SetCaption("COMX Cathode");
    led.SetStateWords("Connected", "Reading");
    struct Case {
        bool on, fault;
        const char* state;
    };
    for (const Case& c : {Case{false, false, "Connected"}, Case{true, false, "Reading"}, Case{true, true, "No reply"},
                          Case{false, true, "No reply"}, Case{false, false, "Connected"}}) {
        led.SetOn(c.on);
        led.SetFault(c.fault);
        EXPECT_EQ(Said(&led, QAccessible::Name), std::string("COMX Cathode: ") + c.state);
        EXPECT_EQ(Said(&led, QAccessible::Description), c.state);
        EXPECT_EQ(led.toolTip().toStdString(), std::string("COMX Cathode: ") + c.state);
    }
}

TEST_F(AccessibilityTest, StatusBarLedsSayWhatTheyStandForAndTheirState) {
    EXPECT_EQ(Said(Child<TLed>("ActivityLed"), QAccessible::Name), "Engine: Idle");
    Configure("COMX", test::kNitrogen);
    auto* led = qobject_cast<TLed*>(Device("COMX").Led);
    ASSERT_NE(led, nullptr);
    EXPECT_EQ(Said(led, QAccessible::Name), "COMX Virtual Demo: Connected");
    form->SetDeviceLedFault(led, true);
    EXPECT_EQ(Said(led, QAccessible::Name), "COMX Virtual Demo: No reply");
}

TEST_F(AccessibilityTest, TheChartIsDescribedByTheLegendsLiveValues) {
    auto* chart = Child<QCustomPlot>("RtGraph2DMain");
    EXPECT_EQ(Said(chart, QAccessible::Name), "Flow chart");
    EXPECT_EQ(Said(chart, QAccessible::Description), "Flow chart: no configured devices.");

    Configure("COMY", test::kAir);
    Configure("COMX", test::kNitrogen);
    EXPECT_NE(Said(chart, QAccessible::Description).find("Virtual Demo COMY planned: idle;"), std::string::npos)
        << Said(chart, QAccessible::Description);

    TDeviceInfo device = Device("COMX");
    device.ControlMode = dcmDirect;
    device.Setpoint_pct = 50;
    StoreDevice(device);
    ASSERT_TRUE(TickEngineUntil([&] { return Device("COMX").LastHandledSequence != 0; }));

    // Read when asked, so never older than the last tick: the setpoint, its flow in the
    // device's unit (full scale 50 ml/min) and the last reading.
    const QString said = AccessibleText(chart, QAccessible::Description);
    const QString achieved = "Virtual Demo COMX achieved: ";
    EXPECT_TRUE(said.startsWith("Flow chart. Virtual Demo COMX planned: 50 % = 25 ml/min; " + achieved))
        << said.toStdString();
    const QString reading = said.mid(said.indexOf(achieved) + achieved.size()).section(' ', 0, 0);
    EXPECT_NEAR(reading.toDouble(), Device("COMX").FlowUnitUser.GasFlowValue, 0.0006) << said.toStdString();
}

TEST_F(AccessibilityTest, ArrowKeysMoveTheCurrentDeviceAndSegmentAndThePageFollows) {
    TDeviceInfo anode = Device("COMY");
    anode.NameRole = "Anode";
    anode.SegmentProgram = "0 10 Step\r\n5 30 Ramp\r\n9 20 Step";
    StoreDevice(anode);
    form->show();

    auto* list = Child<QTreeWidget>("ListViewDevices");
    auto* table = Child<QTreeWidget>("ListViewSegmentProgram");
    for (QWidget* view : {static_cast<QWidget*>(list), static_cast<QWidget*>(table)})
        EXPECT_TRUE(view->focusPolicy() & Qt::TabFocus) << view->objectName().toStdString();

    Focus("COMX");
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentItem(), Row("COMY"));
    EXPECT_EQ(form->SelectedPorts(), std::vector<std::string>{"COMY"});
    EXPECT_EQ(Child<QLineEdit>("EditDeviceName")->text(), "Anode");
    EXPECT_EQ(table->topLevelItemCount(), 3);
    EXPECT_EQ(Row("COMY")->icon(0).isNull(), false);  // the focused row's mark

    table->setCurrentItem(table->topLevelItem(0));
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditSegmentTime")->value(), 5);
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditSegmentFlow")->value(), 30);
    QTest::keyClick(table, Qt::Key_End);
    EXPECT_EQ(Child<TNumberEdit>("RtDoubleEditSegmentTime")->value(), 9);

    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->currentItem(), Row("COMX"));
    EXPECT_NE(Child<QLineEdit>("EditDeviceName")->text(), "Anode");
    EXPECT_TRUE(Row("COMY")->icon(0).isNull());
}

}  // namespace
}  // namespace tessaro
