// The "Tools" page and the device search menu command of the main window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <memory>

#include "SimulatedPorts.h"
#include "WindowFixture.h"
#include "discovery/BackgroundJobs.h"
#include "discovery/DeviceSearch.h"
#include "discovery/OperationWindow.h"
#include "sim/SimulatedTime.h"

namespace tessaro::test {
namespace {

using ToolsTest = WindowFixture;

TEST_F(ToolsTest, CloseWaitsForARunningSearchOrToolToEnd) {
    form->show();
    TNullOperationWindow nowhere;
    auto operation = std::make_unique<TOperationFrame>(nowhere, nullptr, "Searching");
    form->close();
    QTest::qWait(300);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(DevicesLocal().size() == 2);  // nothing was stopped or freed yet

    operation.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 2000));
}

TEST_F(ToolsTest, ToolsPageHoldsItsTextAndControls) {
    auto* text = Child<QLabel>("LabelToolsInfo");
    EXPECT_EQ(text->textFormat(), Qt::RichText);
    EXPECT_TRUE(text->text().contains("<p>These tools apply only to one device at a time. </p>"));
    EXPECT_TRUE(text->text().contains("the software <B>unresponsive</B> until the commanded task finishes"));
    EXPECT_TRUE(
        text->text().contains("<p>Instead, use only in a dedicated situation, for setup, maintenance, configuration, "
                              "debugging or testing.</p>"));
    EXPECT_EQ(Child<QGroupBox>("GroupBoxPrimePump")->title(), "Prime pump");
    EXPECT_EQ(Child<QLabel>("LabelPrimeLoops")->text(), "Loops");
    auto* loops = Child<QSpinBox>("SpinEditPrimeLoops");
    EXPECT_EQ(loops->minimum(), 1);
    EXPECT_EQ(loops->maximum(), 10);
    EXPECT_EQ(loops->value(), 1);
    EXPECT_EQ(Child<QPushButton>("BitBtn10")->text(), "Start pump priming loops");
    EXPECT_EQ(Child<QPushButton>("BitBtn9")->text(), "Change pump syringe");
    EXPECT_EQ(Child<QPushButton>("BitBtn11")->text(), "Initialize selected device");
    EXPECT_TRUE(Child<QAction>("Searchdevices1")->isEnabled());
}

TEST_F(ToolsTest, ToolButtonsActOnTheFocusedDevice) {
    Child<QPushButton>("BitBtn10")->click();
    Child<QPushButton>("BitBtn11")->click();
    EXPECT_TRUE(messages.messages.empty());  // no focused row: nothing

    Focus("COMX");
    for (const char* button : {"BitBtn10", "BitBtn9", "BitBtn11"}) Child<QPushButton>(button)->click();
    EXPECT_EQ(messages.messages, (std::vector<std::string>{"No pump selected", "No pump selected",
                                                           "There is no Initialize procedure for demo device"}));
}

// A silent port costs the probes' time-outs; meanwhile the window keeps serving events,
// shows the progress and refuses input.
// The probes' time-outs run on simulated time; the demo workers the search ends sleep on it
// too, and none is left once the search has ended.
TEST_F(ToolsTest, SearchKeepsTheWindowServingEventsAndShowsWhatItFound) {
    sim::SimulatedTime time;
    SimulatedPorts ports;
    ports.AddSilent("port-a");
    ports.AddMfc("port-b", "300003");
    form->DeviceSearch().SetPortLister([] { return std::vector<std::string>{"port-a", "port-b"}; });

    int ticks = 0;
    bool panelShown = false;
    bool listRefusedInput = false;
    QString progress;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        ++ticks;
        panelShown = panelShown || Child<QWidget>("PanelOperation")->isVisible();
        listRefusedInput = listRefusedInput || !Child<QWidget>("ListViewDevices")->isEnabled();
        // The first probing step; a slow start may show the search's caption at the first tick.
        const QString shown = Child<QLabel>("LabelOperation")->text();
        if (progress.isEmpty() && shown.startsWith("Probing")) progress = shown;
    });
    watcher.setTimerType(Qt::PreciseTimer);
    watcher.start(1);
    form->show();
    Focus("COMX");  // a demo device is shown before the search replaces it
    Child<QAction>("Searchdevices1")->trigger();
    watcher.stop();

    // The silent port's time-outs alone are over a dozen moves of the clock, each waiting
    // for a few real milliseconds of quiet.
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(panelShown);
    EXPECT_TRUE(listRefusedInput);
    EXPECT_TRUE(progress.startsWith("Probing port port-a")) << progress.toStdString();
    EXPECT_FALSE(Child<QWidget>("PanelOperation")->isVisible());
    EXPECT_TRUE(Child<QWidget>("ListViewDevices")->isEnabled());
    EXPECT_EQ(Child<QProgressBar>("ProgressBarOperation")->value(), 2);

    auto* list = Child<QTreeWidget>("ListViewDevices");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "port-b");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Unknown");
    EXPECT_EQ(list->topLevelItem(0)->text(4), "Kestra MFC-A");
    EXPECT_TRUE(Child<QPlainTextEdit>("MemoMain")->toPlainText().contains("Click found devices to configure them"));
    EXPECT_TRUE(messages.messages.empty());
    ExpectNoDeviceShown();
}

}  // namespace
}  // namespace tessaro::test
