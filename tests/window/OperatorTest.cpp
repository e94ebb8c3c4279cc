// The operator's conveniences of the main window: the key that stops every flow, Quit and
// About, the menus from the keyboard, the Tab order of the pages, the bounded log view and
// the data table's export.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "Sinks.h"
#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "run/RunFile.h"

namespace tessaro {
namespace {

class OperatorTest : public test::WindowFixture {
public:
    using WindowFixture::Child;
    using WindowFixture::Device;

protected:
    // Keyboard shortcuts act only for the active window.
    void ShowActive(QWidget* window) {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    bool LogShows(const QString& text) const { return Child<QPlainTextEdit>("MemoMain")->toPlainText().contains(text); }
};

TEST_F(OperatorTest, StopAllFlowsKeyReachesTheEngineFromTheWindowAndFromAnOpenNotice) {
    Configure("COMX", test::kNitrogen);
    SelectRows({"COMX"});
    Child<QPushButton>("BitBtn1")->click();  // start its segment program
    ASSERT_EQ(Device("COMX").ControlMode, dcmSegment);
    EXPECT_TRUE(Child<QPushButton>("ButtonStopAllFlows")->toolTip().contains("F12"));
    ShowActive(form.get());
    Child<QTreeWidget>("ListViewDevices")->clearSelection();

    QTest::keyClick(form.get(), Qt::Key_F12);
    EXPECT_EQ(Device("COMX").ControlMode, dcmIdle);
    EXPECT_TRUE(LogShows("Stop all flows: idle at 0 % asked of"));

    // Again while a box that waits for nobody has the focus.
    form->AboutTessaro1Click();
    auto* about = form->findChild<QMessageBox*>("AboutBox");
    ASSERT_NE(about, nullptr);
    ShowActive(about);
    QTest::keyClick(about, Qt::Key_F12);
    EXPECT_EQ(Child<QPlainTextEdit>("MemoMain")->toPlainText().count("Stop all flows: idle at 0 % asked of"), 2);
    about->close();
}

// A modal window blocks the main window and its shortcuts; F12 must stop the flows all the
// same. `open` shows a modal window of the program and returns once it is closed; meanwhile F12
// is pressed in that window, and the window closed. Whether COMX was idle right after the key.
bool StoppedFromModalWindow(OperatorTest& test, const std::function<void()>& open) {
    test.Child<QPushButton>("BitBtn1")->click();  // (re)start COMX's segment program
    EXPECT_EQ(test.Device("COMX").ControlMode, dcmSegment);
    bool modalSeen = false;
    bool stopped = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        poll.stop();
        modalSeen = true;
        QTest::keyClick(modal->windowHandle(), Qt::Key_F12);
        stopped = test.Device("COMX").ControlMode == dcmIdle;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll.start();
    open();
    poll.stop();
    EXPECT_TRUE(modalSeen) << "no modal window was opened";
    return stopped;
}

TEST_F(OperatorTest, StopAllFlowsKeyReachesTheEngineFromModalBoxesAndFileDialogs) {
    InstallMessageBoxSink();                                      // the boxes the operator sees
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);  // Qt's own file dialog, really open
    Configure("COMX", test::kNitrogen);
    SelectRows({"COMX"});
    ShowActive(form.get());

    Child<QPlainTextEdit>("MemoMixRecipe")->setPlainText("not a recipe");
    EXPECT_TRUE(StoppedFromModalWindow(*this, [&] { Child<QPushButton>("ButtonMixSegmentsAdd")->click(); }))
        << "Cannot add invalid recipe";
    EXPECT_TRUE(StoppedFromModalWindow(*this, [&] { Child<QAction>("SaveChartAs1")->trigger(); })) << "chart";
    EXPECT_TRUE(StoppedFromModalWindow(*this, [&] { Child<QAction>("SaveSegmentProgramAs1")->trigger(); }))
        << "segment program";
    EXPECT_EQ(Child<QPlainTextEdit>("MemoMain")->toPlainText().count("Stop all flows: idle at 0 % asked of"), 3);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false);
}

TEST_F(OperatorTest, AboutNamesTheVersionTheDataFolderAndQt) {
    const QString text = form->AboutText();
    EXPECT_TRUE(text.contains(QString("Tessaro ") + TESSARO_VERSION)) << text.toStdString();
    EXPECT_TRUE(text.contains(folder.path())) << text.toStdString();
    EXPECT_TRUE(text.contains(QString("Qt ") + qVersion())) << text.toStdString();
}

TEST_F(OperatorTest, AltAndALetterOpensEachMenuWithItsCaptionUnchanged) {
    ShowActive(form.get());
    struct Case {
        Qt::Key key;
        const char* menu;
        const char* title;
    };
    for (const Case& c :
         {Case{Qt::Key_F, "File1", "File"}, Case{Qt::Key_P, "Preferences1", "Preferences"},
          Case{Qt::Key_D, "Data1", "Data"}, Case{Qt::Key_V, "Devices1", "Devices"}, Case{Qt::Key_H, "Help1", "Help"}}) {
        form->menuBar()->setActiveAction(nullptr);
        QTest::keyClick(form.get(), c.key, Qt::AltModifier);
        auto* menu = Child<QMenu>(c.menu);
        EXPECT_EQ(form->menuBar()->activeAction(), menu->menuAction()) << c.menu;
        EXPECT_EQ(menu->title(), c.title);
        menu->close();
    }
}

TEST_F(OperatorTest, QuitClosesTheWindowTheNormalWay) {
    ShowActive(form.get());
    Child<QAction>("Quit1")->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder.path().toStdString()) / "Logs"));
    EXPECT_TRUE(LogShows("Active threads: 0"));  // the engine's close ran
}

// Tab goes through a page's fields as they are read: down a column, then to the column on
// its right; never back up within a column, never to the left within a row.
TEST_F(OperatorTest, TabFollowsTheFieldsOfEveryPageAsTheyAreRead) {
    form->resize(1366, 768);
    form->show();
    auto* pages = Child<QTabWidget>("PageControlMain");
    for (int index = 0; index < pages->count(); ++index) {
        pages->setCurrentIndex(index);
        QWidget* page = pages->widget(index);
        QCoreApplication::processEvents();
        std::vector<QWidget*> chain;
        QWidget* first = page->nextInFocusChain();
        for (QWidget* widget = first; chain.size() < 500; widget = widget->nextInFocusChain()) {
            if (page->isAncestorOf(widget) && widget->isVisible() && widget->isEnabled() &&
                (widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr)
                chain.push_back(widget);
            if (widget->nextInFocusChain() == first) break;
        }
        if (index == 0) {  // "Apply" below the device fields takes the whole page: it comes last
            std::vector<QString> names;
            for (const QWidget* widget : chain) names.push_back(widget->objectName());
            EXPECT_EQ(names, (std::vector<QString>{"EditDeviceName", "EditDeviceType", "RtColorPickComboDeviceColor",
                                                   "ComboBoxDeviceFluid", "EditFlowUnitName",
                                                   "ComboBoxFlowUnitPredefined", "EditFlowUnitTemperatureC",
                                                   "EditFlowUnitPressureBar", "BitBtn6", "TabSheetConfigure"}));
            continue;
        }
        for (std::size_t i = 1; i < chain.size(); ++i) {
            const QRect before(chain[i - 1]->mapTo(page, QPoint(0, 0)), chain[i - 1]->size());
            const QRect after(chain[i]->mapTo(page, QPoint(0, 0)), chain[i]->size());
            const bool upInSameColumn = after.bottom() < before.top() && after.left() <= before.left();
            const bool leftInSameRow =
                after.top() < before.bottom() && after.bottom() > before.top() && after.right() < before.left();
            EXPECT_FALSE(upInSameColumn || leftInSameRow)
                << pages->tabText(index).toStdString() << ": " << chain[i - 1]->objectName().toStdString() << " -> "
                << chain[i]->objectName().toStdString();
        }
    }
}

TEST_F(OperatorTest, LogViewKeepsTheLastLinesAndTheScreenLogFileAllOfThem) {
    const int lines = kLogViewLines + 5;
    for (int i = 0; i < lines; ++i) form->MM("line " + std::to_string(i));
    auto* view = Child<QPlainTextEdit>("MemoMain");
    EXPECT_EQ(view->blockCount(), kLogViewLines);
    EXPECT_TRUE(view->document()->lastBlock().text().endsWith("line " + QString::number(lines - 1)));
    EXPECT_FALSE(view->toPlainText().contains(" line 4\n"));

    std::ifstream file(form->Engine().ScreenLogFile());
    const auto written = std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n');
    EXPECT_GE(written, lines);
}

TEST_F(OperatorTest, ExportEntryWritesTheTableToTheChosenFileAndShowsAFailureInABox) {
    form->Engine().TimerEngineTimer();  // a data line of the two demo devices
    const std::filesystem::path root(folder.path().toStdString());
    std::vector<TFileDialogRequest> asked;
    std::optional<std::filesystem::path> answer = root / "table.csv";
    form->SetExportCsvFileDialog([&](const TFileDialogRequest& request) {
        asked.push_back(request);
        return answer;
    });
    auto* entry = Child<QAction>("ExportDataTableAsCsv1");

    entry->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Folder, form->Engine().LogsFolder());
    EXPECT_TRUE(asked[0].FileName.ends_with(" data table.csv")) << asked[0].FileName;
    std::ifstream file(*answer, std::ios::binary);
    std::stringstream read;
    read << file.rdbuf();
    const std::string written = read.str();
    const std::string header =
        "time,elapsed min,Virtual Demo COMX planned %,Virtual Demo COMX planned,Virtual Demo COMX achieved,"
        "Virtual Demo COMY planned %,Virtual Demo COMY planned,Virtual Demo COMY achieved\r\n";
    EXPECT_TRUE(written.starts_with(header)) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);
    EXPECT_TRUE(LogShows(QString::fromStdString("The data table was exported to " + answer->string())));
    EXPECT_TRUE(messages.messages.empty());

    // Cancelled: nothing happens. Refused: the reason in a box.
    answer.reset();
    entry->trigger();
    EXPECT_TRUE(messages.messages.empty());
    answer = root / "table.csv" / "inside a file.csv";
    entry->trigger();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"The data table could not be exported to " +
                                                          answer->string() + ": Not a directory"});
}

TEST_F(OperatorTest, RunFileEntriesConfigureFromTheChosenFileAndSaveTheConfiguration) {
    const std::filesystem::path root(folder.path().toStdString());
    std::ofstream(root / "run.json") << R"({"devices": [{"port": "COMY", "kind": "flow controller",
        "name": "Carrier", "gas": "N2", "program": "0 40 Step\r\n5 0 Step", "end": "keep"}]})";
    std::ofstream(root / "bad.json") << R"({"devices": [{"port": "COMX", "kind": "flow controller", "gas": "N3"},
        {"kind": "pump"}]})";
    std::vector<TFileDialogRequest> asked;
    std::optional<std::filesystem::path> answer = root / "run.json";
    const TChooseFile choose = [&](const TFileDialogRequest& request) {
        asked.push_back(request);
        return answer;
    };
    form->SetRunFileDialogs(choose, choose);

    Child<QAction>("OpenRunFile1")->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Folder, form->Engine().Settings().DataFolder);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(Device("COMY").IsConfigured());
    EXPECT_EQ(Device("COMY").ControlMode, dcmIdle);
    EXPECT_EQ(Row("COMY")->text(4), "Carrier");
    EXPECT_TRUE(LogShows("Segment program of COMY loaded from the run file (2 segments)"));

    answer = root / "saved.json";
    Child<QAction>("SaveRunFile1")->trigger();
    const TRunFileRead saved = ReadRunFile(*answer);
    ASSERT_TRUE(saved.Run);
    ASSERT_EQ(saved.Run->Devices.size(), 1u);
    EXPECT_EQ(saved.Run->Devices[0].Program, "0 40 Step\r\n5 0 Step");

    // Every problem of a file that is not valid in one box; nothing changes.
    answer = root / "bad.json";
    Child<QAction>("OpenRunFile1")->trigger();
    ASSERT_EQ(messages.messages.size(), 1u);
    const std::string& box = messages.messages[0];
    EXPECT_NE(box.find("devices[0].gas: unknown gas \"N3\""), std::string::npos) << box;
    EXPECT_NE(box.find("devices[1]: a \"port\""), std::string::npos) << box;
    EXPECT_FALSE(Device("COMX").IsConfigured());
}

}  // namespace
}  // namespace tessaro
