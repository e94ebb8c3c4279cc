// The help pane, its mark-up and the on-screen log.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "FormAccessibility.h"
#include "HelpTexts.h"
#include "WindowFixture.h"
#include "engine/Clock.h"

namespace tessaro {
namespace {

class HelpTest : public test::WindowFixture {
protected:
    void Hover(QWidget* widget) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(widget, &enter);
    }
    QString Pane() const { return Child<QTextBrowser>("DzHTMLTextTips")->toPlainText(); }
};

TEST_F(HelpTest, HoveringAControlShowsItsTextOrTheDefault) {
    Hover(Child<QWidget>("BitBtn1"));
    EXPECT_EQ(form->LastHoveredName(), "BitBtn1");
    EXPECT_EQ(Pane(),
              "Multi device button. To select more than one device, use ctrl or shift-click functionality on available "
              "devices. Action applies to all selected devices.");

    Hover(Child<QWidget>("EditDeviceType"));
    EXPECT_EQ(form->LastHoveredName(), "EditDeviceType");
    EXPECT_EQ(Pane(), "Hover mouse over items (or adjacent labels) to see help, tips and information.");

    // The parts of a control speak for it.
    Hover(Child<QTreeWidget>("ListViewDevices")->viewport());
    EXPECT_EQ(form->LastHoveredName(), "ListViewDevices");
    EXPECT_TRUE(Pane().startsWith("List of available devices."));

    auto* dynamic = new QWidget(Child<QWidget>("TabSheetDesigner"));
    dynamic->setObjectName("DoubleEditDynamic_COM3");
    dynamic->installEventFilter(form.get());
    Hover(dynamic);
    EXPECT_EQ(Pane(), "Manually entering the flow gives more precission, allowing fractions.");

    Hover(Child<QWidget>("ComboBoxFlowUnitPredefined"));
    EXPECT_TRUE(Pane().startsWith("Gas flow can be measured by mass or by volume."));
    Hover(Child<QWidget>("ComboBoxDeviceFluid"));
    EXPECT_TRUE(Pane().startsWith("All1 gases and fluids available for this device"));
    // Both fluid lists' captions.
    for (const char* caption : {"LabelFluid", "LabelFluidPump"}) {
        Hover(Child<QWidget>(caption));
        EXPECT_TRUE(Pane().startsWith("For MFCs, special, custom and dynamic gases")) << caption;
    }
}

// The window's help table: the controls it names and how their texts begin.
const std::pair<const char*, const char*> kHelpTable[] = {
    {"BitBtn3", "Segment type <b>step</b>"},
    {"BitBtn1", "<BC:#FF0000>Multi device button.</BC>"},
    {"BitBtn2", "<BC:#FF0000>Multi device button.</BC>"},
    {"BitBtn7", "Clicking apply will immediately"},
    {"BitBtn8", "<B>Applies setpoint zero</B>"},
    {"BitBtn6", "Checks the selected configuration"},
    {"BitBtn9", "Moves the pump syringe to the bottom position."},
    {"BitBtn10", "Starts x loops of"},
    {"BitBtn11", "<b>Initialize</b> does an extensive factory reset"},
    {"DzHTMLTextTips", "Short information sniplets"},
    {"RtGraph2DMain", "<B>Drag</B> on graph to zoom."},
    {"MemoMain", "Log and feedback of software use."},
    {"LabelColor", "Select unique color for this device."},
    {"LabelFluid", "For MFCs, special, custom and dynamic gases"},
    {"ButtonMixSegmentsAdd", "Add mixture as defined"},
    {"EditFlowUnitName", "Enter name for the flow unit"},
    {"EditNoteMixture", "A note to be added"},
    {"ListViewSegmentProgram", "Right mouse click"},
    {"ListViewDevices", "List of available devices."},
    {"MixDesignGroupBox", "Set the time for mixture designer."},
    {"RtDoubleEditDesignMixTime", "Manually entering the time"},
    {"ScrollBoxFlow", "Set the flow for this device."},
    {"DoubleEditDynamic_COMX", "Manually entering the flow"},
};

// Who reads a control's help by keyboard or screen reader: the control, a caption's field, or
// the controls inside an area.
std::vector<QWidget*> HelpReaders(QWidget* control) {
    std::vector<QWidget*> readers{control};
    if (auto* label = qobject_cast<QLabel*>(control)) readers.push_back(label->buddy());
    for (QWidget* inside : control->findChildren<QWidget*>())
        if (IsAccessibleControl(inside)) readers.push_back(inside);
    return readers;
}

TEST_F(HelpTest, EveryHelpTextReachesItsControlByPointerFocusAndDescription) {
    SelectRows({"COMX", "COMY"});
    form->ListViewDevicesClick();  // the designer's fields
    for (const auto& [name, begins] : kHelpTable) {
        auto* control = form->findChild<QWidget*>(name);
        ASSERT_NE(control, nullptr) << name;
        const QString markup = HelpTextFor(name);
        EXPECT_TRUE(markup.startsWith(begins)) << name;
        EXPECT_EQ(form->HelpMarkupOf(control), markup) << name;  // what the keyboard focus shows

        Hover(control);
        QTextDocument shown;
        shown.setHtml(HelpMarkupToRichText(markup));
        EXPECT_EQ(Pane(), shown.toPlainText()) << name;

        const std::vector<QWidget*> readers = HelpReaders(control);
        const QString described = HelpPlainText(markup);
        EXPECT_TRUE(std::any_of(
            readers.begin(), readers.end(),
            [&](QWidget* reader) { return reader != nullptr && reader->accessibleDescription() == described; }))
            << name << " is described to nobody";
    }
}

TEST_F(HelpTest, EveryHelpTextIsFiledUnderAControlOfTheWindow) {
    const QStringList names = HelpTableControlNames();
    EXPECT_GE(names.size(), static_cast<qsizetype>(std::size(kHelpTable)) - 1);
    for (const QString& name : names) EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name.toStdString();
}

TEST(HelpMarkup, BecomesRichTextWithBoxesSideBySide) {
    const QString html = HelpMarkupToRichText("a <B>b</b> <BC:#FFFF00>c</bc><BR>x<SUB>1</SUB> & <LINE:width=250>");
    EXPECT_EQ(html,
              "a <b>b</b> <span style=\"background-color:#FFFF00\">c</span><br>x<sub>1</sub> &amp; "
              "<hr width=\"250\">");
    EXPECT_EQ(HelpMarkupToRichText("<LINE:width=full>"), "<hr>");

    const QString boxes = HelpMarkupToRichText(kFluidListHelp);
    EXPECT_EQ(boxes.count("<table"), 1);
    EXPECT_EQ(boxes.count("<td"), 3);
    EXPECT_EQ(boxes.count("</table>"), 1);
    EXPECT_FALSE(boxes.contains("<div", Qt::CaseInsensitive));
}

TEST(HelpTexts, LookUpByNameWithTheDynamicFieldsAndTheDefault) {
    EXPECT_TRUE(HelpTextFor("BitBtn8").endsWith("Action applies to all selected devices.</BC> "));
    EXPECT_TRUE(HelpTextFor("BitBtn6").contains("reset)  allows"));
    EXPECT_EQ(HelpTextFor("ScrollBoxDoubleEditDynamic_COM4"),
              "Manually entering the flow gives more precission, allowing fractions.");
    EXPECT_EQ(HelpTextFor("BitBtn99"), kDefaultHelp);
}

TEST_F(HelpTest, LogLinesCarryTheTimeStampAndFollowTheEnd) {
    TFakeClock clock(QDateTime(QDate(2026, 2, 4), QTime(14, 3, 7, 250)));
    const TScopedClock installed(clock);
    form->MM("Invalid segment program");
    form->MM("two\r\nlines");
    const QStringList lines = Child<QPlainTextEdit>("MemoMain")->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[lines.size() - 3], "14:03:07:250 Invalid segment program");
    EXPECT_EQ(lines[lines.size() - 2], "14:03:07:250 two");
    EXPECT_EQ(lines.last(), "lines");
}

}  // namespace
}  // namespace tessaro
