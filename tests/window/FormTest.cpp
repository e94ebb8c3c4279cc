#include "Form.h"

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>

#include "TestApplication.h"

namespace tessaro {
namespace {

class FormTest : public ::testing::Test {
protected:
    template <typename T>
    T* Child(const char* name) {
        T* child = form.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    // Captions of a menu's entries in order; a submenu shows as its title followed by ">".
    static QStringList EntryCaptions(const QMenu* menu) {
        QStringList captions;
        for (const QAction* entry : menu->actions()) {
            if (entry->isSeparator()) continue;
            captions << (entry->menu() ? entry->text() + " >" : entry->text());
        }
        return captions;
    }

    QApplication& app = test::TestApplication();  // before the window
    TGUIF form;
};

TEST_F(FormTest, OpensCaptionedOnTheConfigureTabOfSixInOrder) {
    EXPECT_EQ(form.windowTitle(), "Tessaro 2026-02-04");
    EXPECT_GT(form.minimumWidth(), 0);

    auto* pages = Child<QTabWidget>("PageControlMain");
    ASSERT_NE(pages, nullptr);
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i) captions << pages->tabText(i);
    EXPECT_EQ(captions,
              QStringList({"Configure", "Design segments", "Direct control", "Mixtures", "Tools", "Designer"}));
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(FormTest, AreasStackFromDataAreaToStatusBar) {
    auto* areas = Child<QSplitter>("SplitterAreas");
    ASSERT_NE(areas, nullptr);
    ASSERT_EQ(areas->count(), 3);
    EXPECT_EQ(areas->widget(0)->objectName(), "PanelData");
    auto* middle = qobject_cast<QSplitter*>(areas->widget(1));
    auto* bottom = qobject_cast<QSplitter*>(areas->widget(2));
    ASSERT_TRUE(middle && bottom);
    EXPECT_EQ(middle->widget(0), Child<QTreeWidget>("ListViewDevices"));
    EXPECT_EQ(middle->widget(1), Child<QTabWidget>("PageControlMain"));
    EXPECT_EQ(bottom->widget(0), Child<QPlainTextEdit>("MemoMain"));
    EXPECT_EQ(bottom->widget(1), Child<QTextBrowser>("DzHTMLTextTips"));

    auto* statusBar = Child<QFrame>("PanelStatusBar");
    ASSERT_NE(statusBar, nullptr);
    EXPECT_EQ(statusBar->parentWidget(), areas->parentWidget());
    EXPECT_GE(statusBar->height(), 20 * form.GetDPIScaling());

    // The data area shows the graph; the two text views wait hidden in the same place.
    auto* graph = Child<QCustomPlot>("RtGraph2DMain");
    ASSERT_NE(graph, nullptr);
    EXPECT_TRUE(graph->isVisibleTo(&form));
    EXPECT_FALSE(Child<QPlainTextEdit>("MemoData")->isVisibleTo(&form));
    EXPECT_FALSE(Child<QPlainTextEdit>("MemoSegments")->isVisibleTo(&form));
    EXPECT_EQ(form.XAxis1()->label(), "Time, m");
    EXPECT_EQ(form.YAxis1()->label(), "Flow, %");
    EXPECT_EQ(form.YAxis1()->axisType(), QCPAxis::atRight);
    EXPECT_EQ(form.YAxis1()->range(), QCPRange(0, 100));
}

TEST_F(FormTest, MainMenuHoldsEveryEntryDisabledUntilItsActionExists) {
    const QList<QAction*> menus = form.menuBar()->actions();
    QStringList titles;
    for (const QAction* menu : menus) titles << menu->text();
    ASSERT_EQ(titles, QStringList({"File", "Preferences", "Data", "Devices"}));

    EXPECT_EQ(EntryCaptions(menus[0]->menu()), QStringList({"Save software state", "Load software state"}));
    EXPECT_EQ(EntryCaptions(menus[1]->menu()), QStringList({"Time Unit >"}));
    EXPECT_EQ(EntryCaptions(Child<QMenu>("TimeUnit1")), QStringList({"Minute", "Hour", "Day"}));
    EXPECT_EQ(
        EntryCaptions(menus[2]->menu()),
        QStringList({"Show Graph", "Show Segment Program Table", "Show Data Table", "Graph", "Show Segment Programs",
                     "Show Device Flows", "Clear Graph && Remove Data", "Data Table", "Auto-scroll to last line"}));
    EXPECT_EQ(EntryCaptions(menus[3]->menu()), QStringList({"Search Devices", "Reset Devices"}));
    EXPECT_EQ(Child<QAction>("Cleargraphdiscarddata1")->iconText(), "Clear Graph & Remove Data");

    struct Entry {
        const char* name;
        bool checked;
    };
    for (const Entry& entry : {Entry{"Savesoftwarestate1", false},
                               {"Loadsoftwarestate1", false},
                               {"Minute1", false},
                               {"Hour1", false},
                               {"Day1", false},
                               {"ShowGraph1", true},
                               {"ShowSegmentProgramTable1", false},
                               {"ShowTable1", false},
                               {"Graph1", false},
                               {"ShowSegmentPrograms1", true},
                               {"Showachievedflows1", true},
                               {"Cleargraphdiscarddata1", false},
                               {"DataTable1", false},
                               {"Autoscrolltolastline1", false},
                               {"Searchdevices1", false},
                               {"Resetsoftware1", false}}) {
        const auto* action = Child<QAction>(entry.name);
        ASSERT_NE(action, nullptr);
        EXPECT_FALSE(action->isEnabled()) << entry.name;
        EXPECT_EQ(action->isChecked(), entry.checked) << entry.name;
    }
}

TEST_F(FormTest, DeviceListIsAReadOnlyMultiSelectReportOfFiveColumns) {
    auto* list = Child<QTreeWidget>("ListViewDevices");
    ASSERT_NE(list, nullptr);
    const QTreeWidgetItem* header = list->headerItem();
    QStringList columns;
    for (int i = 0; i < list->columnCount(); ++i) columns << header->text(i);
    EXPECT_EQ(columns, QStringList({"COM port", "State", "Instrument", "Device", "Name or role"}));
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_FALSE(list->isSortingEnabled());
}

TEST_F(FormTest, ConfigureTabCarriesItsNamedControlsWithTheirStartValues) {
    EXPECT_EQ(Child<QLineEdit>("EditDeviceName")->text(), "e.g. Cathode side");
    EXPECT_TRUE(Child<QLineEdit>("EditDeviceType")->isReadOnly());
    EXPECT_NE(Child<QComboBox>("RtColorPickComboDeviceColor"), nullptr);
    EXPECT_EQ(Child<QLabel>("LabelDeviceColor")->text(), "Color code");
    EXPECT_EQ(Child<QPushButton>("BitBtn6")->text(), "Apply");

    auto* gases = Child<QComboBox>("ComboBoxDeviceFluid");
    auto* pumpFluids = Child<QComboBox>("ComboBoxDeviceFluidPump");
    EXPECT_EQ(gases->maxVisibleItems(), 30);
    EXPECT_EQ(pumpFluids->maxVisibleItems(), 30);
    EXPECT_TRUE(gases->isVisibleTo(&form));
    EXPECT_FALSE(pumpFluids->isVisibleTo(&form));

    EXPECT_FALSE(Child<QGroupBox>("GroupBoxConfigurePump")->isVisibleTo(&form));
    auto* syringe = Child<QDoubleSpinBox>("RtDoubleEditSyringeSizeµL");
    ASSERT_NE(syringe, nullptr);
    EXPECT_EQ(syringe->minimum(), 12.5);
    EXPECT_EQ(syringe->maximum(), 12500);
    EXPECT_EQ(syringe->value(), 12500);
    auto* fluidTemperature = Child<QDoubleSpinBox>("RtDoubleEditFluidTemperature");
    EXPECT_EQ(fluidTemperature->minimum(), -273.15);
    EXPECT_EQ(fluidTemperature->maximum(), 2000);
    EXPECT_EQ(fluidTemperature->value(), -273.15);

    EXPECT_TRUE(Child<QGroupBox>("GroupBoxFlowUnit")->isVisibleTo(&form));
    EXPECT_EQ(Child<QLineEdit>("EditFlowUnitName")->text(), "g/min");
    auto* predefined = Child<QComboBox>("ComboBoxFlowUnitPredefined");
    ASSERT_EQ(predefined->count(), 22);
    EXPECT_EQ(predefined->itemText(1), "n/a    n/a   n/a      g, grams");
    EXPECT_EQ(predefined->itemText(21),
              "22     71.6  1.01325  American Association of Physicists in Medicine (RH: 20-80%)");
    auto* temperature = Child<QDoubleSpinBox>("EditFlowUnitTemperatureC");
    EXPECT_EQ(temperature->value(), 20);
    EXPECT_EQ(temperature->minimum(), -273.15);
    EXPECT_EQ(temperature->maximum(), 900000);
    EXPECT_EQ(Child<QDoubleSpinBox>("EditFlowUnitPressureBar")->value(), 1.01325);
    EXPECT_EQ(Child<QLabel>("LabelUnitTemp")->text(), "Irrelevant when unit is g");
    EXPECT_EQ(Child<QLabel>("LabelPSI")->text(), "Irrelevant when unit is g");
}

TEST_F(FormTest, FieldCaptionFollowsTheFieldsVisibility) {
    auto* temperature = Child<QDoubleSpinBox>("EditFlowUnitTemperatureC");
    auto* caption = Child<QLabel>("LabelFlowUnitTemperature");
    EXPECT_EQ(caption->buddy(), temperature);
    EXPECT_FALSE(caption->isVisibleTo(&form));
    temperature->show();
    EXPECT_TRUE(caption->isVisibleTo(&form));
    temperature->hide();
    EXPECT_FALSE(caption->isVisibleTo(&form));
}

TEST(DpiScaling, RoundsToNearestWithHalvesToEvenAndNeverBelowOne) {
    const std::pair<double, int> cases[] = {{96, 1},  {120, 1}, {144, 2}, {192, 2}, {240, 2}, {288, 3},
                                            {336, 4}, {143, 1}, {145, 2}, {48, 1},  {0, 1},   {-96, 1}};
    for (const auto& [dpi, scaling] : cases) EXPECT_EQ(DpiScalingFromLogicalDpi(dpi), scaling) << dpi << " dpi";
}

}  // namespace
}  // namespace tessaro
