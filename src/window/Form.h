#pragma once
// The program's only window. The constructor builds the frame in code: the data area on
// top, the device list and the page control in the middle, the on-screen log and the help
// pane at the bottom, the status bar below them. Widgets carry their names as objectName()
// so that tests and the help pane find them.

#include <QMainWindow>

class QAction;
class QCPAxis;
class QCustomPlot;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QWidget;

namespace tessaro {

inline constexpr const char* kMainFormChannel = "Main form";
inline constexpr const char* kFormCaption = "Tessaro 2026-02-04";

// Module start of the window: opens the "Main form" channel. Runs before the window exists.
void InitializeMainFormModule();

// Screen scaling for fixed pixel geometry (the status-bar LEDs): logical dots per inch over
// 96, rounded to the nearest whole number with halves to the even one, and never below 1.
int DpiScalingFromLogicalDpi(double logicalDpi);

class TGUIF : public QMainWindow {
    Q_OBJECT

public:
    explicit TGUIF(QWidget* parent = nullptr);
    ~TGUIF() override;

    void FormCaption();
    int GetDPIScaling() const;

    // The chart's time axis (bottom) and flow axis (right).
    QCPAxis* XAxis1() const;
    QCPAxis* YAxis1() const;

private:
    void FormCreate();

    void BuildMainMenu();
    QWidget* BuildDataArea();
    QWidget* BuildDeviceList();
    QWidget* BuildPageControl();
    QWidget* BuildConfigureTab();
    QWidget* BuildConfigureDeviceFields();
    QWidget* BuildConfigurePumpGroup();
    QWidget* BuildConfigureFlowUnitGroup();
    QWidget* BuildBottomArea();
    QWidget* BuildStatusBar();

    QAction* AddMenuEntry(QMenu* menu, const char* name, const QString& caption);

    // Data area
    QCustomPlot* RtGraph2DMain = nullptr;
    QPlainTextEdit* MemoData = nullptr;
    QPlainTextEdit* MemoSegments = nullptr;

    // Middle
    QTreeWidget* ListViewDevices = nullptr;
    QTabWidget* PageControlMain = nullptr;

    // Bottom
    QPlainTextEdit* MemoMain = nullptr;
    QTextBrowser* DzHTMLTextTips = nullptr;
    QFrame* PanelStatusBar = nullptr;

    QSplitter* SplitterAreas = nullptr;
};

}  // namespace tessaro
