// The frame of the main window: areas, tabs, menus, the device list and the Configure tab as
// they are at start.

#include <gtest/gtest.h>

#include <qcustomplot.h>
#include <QAbstractItemView>
#include <QAction>
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
#include <filesystem>

#include "StatusLed.h"
#include "WindowFixture.h"

namespace tessaro {
namespace {

using test::WindowFixture;

class FormTest : public WindowFixture {
protected:
    // Captions of a menu's entries in order; a submenu shows as its title followed by ">".
    static QStringList EntryCaptions(const QMenu* menu) {
        QStringList captions;
        for (const QAction* entry : menu->actions()) {
            if (entry->isSeparator()) continue;
            captions << (entry->menu() ? entry->text() + " >" : entry->text());
        }
        return captions;
    }
};

TEST_F(FormTest, OpensCaptionedOnTheConfigureTabOfSixInOrder) {
    EXPECT_EQ(form->windowTitle(), "Tessaro 2026-02-04");
    EXPECT_GT(form->minimumWidth(), 0);

    auto* pages = Child<QTabWidget>("PageControlMain");
    ASSERT_NE(pages, nullptr);
    QStringList captions;
    for (int i = 0; i < pages->count(); ++i) captions << pages->tabText(i);
    EXPECT_EQ(captions,
              QStringList({"Configure", "Design segments", "Direct control", "Mixtures", "Tools", "Designer"}));
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(FormTest, StartsWithTheTwoDemoRowsTheActivityLedAndBothFolders) {
    auto* list = Child<QTreeWidget>("ListViewDevices");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const QStringList expected[] = {{"COMX", "Unknown", "Simulated", "MFC", "Virtual Demo"},
                                    {"COMY", "Unknown", "Simulated", "MFC", "Virtual Demo"}};
    for (int row = 0; row < 2; ++row) {
        QStringList texts;
        for (int column = 0; column < 5; ++column) texts << list->topLevelItem(row)->text(column);
        EXPECT_EQ(texts, expected[row]);
        EXPECT_TRUE(list->topLevelItem(row)->icon(0).isNull());
    }
    EXPECT_EQ(list->currentItem(), nullptr);

    ASSERT_EQ(StatusBarLeds(), 1);
    auto* activity = Child<TLed>("ActivityLed");
    EXPECT_EQ(activity->geometry(),
              QRect(0, 2 * form->GetDPIScaling(), 16 * form->GetDPIScaling(), 16 * form->GetDPIScaling()));
    EXPECT_EQ(activity->OffColor(), QColor(192, 192, 192));
    EXPECT_EQ(activity->OnColor(), QColor(0, 255, 0));

    const std::filesystem::path data(folder.path().toStdString());
    EXPECT_TRUE(std::filesystem::is_directory(data / "Logs"));
    EXPECT_TRUE(std::filesystem::is_directory(data / "Segment Programs"));
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
    EXPECT_GE(statusBar->height(), 20 * form->GetDPIScaling());

    // The data area shows the graph; the two text views wait hidden in the same place, both
    // with their scroll bars.
    auto* graph = Child<QCustomPlot>("RtGraph2DMain");
    ASSERT_NE(graph, nullptr);
    EXPECT_TRUE(graph->isVisibleTo(form.get()));
    for (const char* view : {"MemoData", "MemoSegments"}) {
        auto* memo = Child<QPlainTextEdit>(view);
        EXPECT_FALSE(memo->isVisibleTo(form.get()));
        EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_TRUE(memo->font().fixedPitch());
    }
    EXPECT_EQ(form->XAxis1()->label(), "Time, m");
    EXPECT_EQ(form->YAxis1()->label(), "Flow, %");
    EXPECT_EQ(form->YAxis1()->axisType(), QCPAxis::atRight);
    EXPECT_EQ(form->YAxis1()->range(), QCPRange(0, 100));
}

TEST_F(FormTest, MainMenuHoldsItsEntriesWithTheStartChecksAndOnlyTheUnusedOnesDisabled) {
    const QList<QAction*> menus = form->menuBar()->actions();
    QStringList titles;
    for (const QAction* menu : menus) titles << menu->text();
    ASSERT_EQ(titles, QStringList({"File", "Preferences", "Data", "Devices", "Help"}));

    EXPECT_EQ(EntryCaptions(menus[0]->menu()),
              QStringList({"Save software state", "Load software state", "Open run file…", "Save run file…",
                           "Save chart as…", "Quit"}));
    EXPECT_EQ(EntryCaptions(menus[1]->menu()), QStringList({"Time Unit >", "Publish to MQTT…"}));
    EXPECT_EQ(EntryCaptions(Child<QMenu>("TimeUnit1")), QStringList({"Minute", "Hour", "Day"}));
    EXPECT_EQ(EntryCaptions(menus[2]->menu()),
              QStringList({"Show Graph", "Show Segment Program Table", "Show Data Table", "Graph",
                           "Show Segment Programs", "Show Device Flows", "Clear Graph && Remove Data", "Data Table",
                           "Auto-scroll to last line", "Export data table as CSV…"}));
    EXPECT_EQ(EntryCaptions(menus[3]->menu()),
              QStringList({"Search Devices", "Reset Devices", "Hold all programs", "Resume all programs"}));
    EXPECT_EQ(EntryCaptions(menus[4]->menu()), QStringList({"About Tessaro"}));
    EXPECT_EQ(Child<QAction>("Quit1")->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(Child<QAction>("Cleargraphdiscarddata1")->iconText(), "Clear Graph & Remove Data");

    struct Entry {
        const char* name;
        bool enabled;
        bool checked;
    };
    for (const Entry& entry : {Entry{"Savesoftwarestate1", false, false},
                               {"Loadsoftwarestate1", false, false},
                               {"OpenRunFile1", true, false},
                               {"SaveRunFile1", true, false},
                               {"Minute1", true, true},
                               {"Hour1", true, false},
                               {"Day1", true, false},
                               {"ShowGraph1", true, true},
                               {"ShowSegmentProgramTable1", true, false},
                               {"ShowTable1", true, false},
                               {"Graph1", false, false},
                               {"ShowSegmentPrograms1", true, true},
                               {"Showachievedflows1", true, true},
                               {"Cleargraphdiscarddata1", true, false},
                               {"DataTable1", false, false},
                               {"Autoscrolltolastline1", true, false},
                               {"ExportDataTableAsCsv1", true, false},
                               {"Searchdevices1", true, false},
                               {"Resetsoftware1", true, false},
                               {"SaveChartAs1", true, false},
                               {"Quit1", true, false},
                               {"AboutTessaro1", true, false}}) {
        const auto* action = Child<QAction>(entry.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isEnabled(), entry.enabled) << entry.name;
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
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_EQ(list->header()->sectionResizeMode(0), QHeaderView::ResizeToContents);
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
    EXPECT_TRUE(gases->isVisibleTo(form.get()));
    EXPECT_FALSE(pumpFluids->isVisibleTo(form.get()));

    EXPECT_FALSE(Child<QGroupBox>("GroupBoxConfigurePump")->isVisibleTo(form.get()));
    auto* syringe = Child<QDoubleSpinBox>("RtDoubleEditSyringeSizeµL");
    ASSERT_NE(syringe, nullptr);
    EXPECT_EQ(syringe->minimum(), 12.5);
    EXPECT_EQ(syringe->maximum(), 12500);
    EXPECT_EQ(syringe->value(), 12500);
    auto* fluidTemperature = Child<QDoubleSpinBox>("RtDoubleEditFluidTemperature");
    EXPECT_EQ(fluidTemperature->minimum(), -273.15);
    EXPECT_EQ(fluidTemperature->maximum(), 2000);
    EXPECT_EQ(fluidTemperature->value(), -273.15);

    EXPECT_TRUE(Child<QGroupBox>("GroupBoxFlowUnit")->isVisibleTo(form.get()));
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
    EXPECT_FALSE(caption->isVisibleTo(form.get()));
    temperature->show();
    EXPECT_TRUE(caption->isVisibleTo(form.get()));
    temperature->hide();
    EXPECT_FALSE(caption->isVisibleTo(form.get()));
}

TEST_F(FormTest, ClosingWritesTheLastLogFileAndFreesTheActivityLed) {
    form->close();
    EXPECT_EQ(StatusBarLeds(), 0);
    const std::filesystem::path logs = std::filesystem::path(folder.path().toStdString()) / "Logs";
    bool onClose = false;
    for (const auto& file : std::filesystem::directory_iterator(logs))
        onClose |= file.path().filename().string().ends_with(" log OnClose.txt");
    EXPECT_TRUE(onClose);
}

TEST_F(FormTest, ShutdownWaitDisablesTheWindowUnderItsCaptionWithTheEmergencyPanelOverTheTabs) {
    form->BeginShutdownWait("Waiting", "In case on emergency, cut the power to any device to stop gas flow.");
    EXPECT_EQ(form->windowTitle(), "Waiting");
    EXPECT_FALSE(form->isEnabled());
    auto* panel = Child<QLabel>("PanelShutdown");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), "In case on emergency, cut the power to any device to stop gas flow.");
    const auto* pages = Child<QTabWidget>("PageControlMain");
    EXPECT_EQ(panel->geometry(), QRect(pages->mapTo(form.get(), QPoint(0, 0)), pages->size()));

    form->EndShutdownWait();
    EXPECT_EQ(form->windowTitle(), "Tessaro 2026-02-04");
    EXPECT_TRUE(form->isEnabled());
    EXPECT_EQ(form->findChild<QLabel*>("PanelShutdown"), nullptr);
}

TEST(DpiScaling, RoundsToNearestWithHalvesToEvenAndNeverBelowOne) {
    const std::pair<double, int> cases[] = {{96, 1},  {120, 1}, {144, 2}, {192, 2}, {240, 2}, {288, 3},
                                            {336, 4}, {143, 1}, {145, 2}, {48, 1},  {0, 1},   {-96, 1}};
    for (const auto& [dpi, scaling] : cases) EXPECT_EQ(DpiScalingFromLogicalDpi(dpi), scaling) << dpi << " dpi";
}

}  // namespace
}  // namespace tessaro
