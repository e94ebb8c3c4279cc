#include "Form.h"

#include <qcustomplot.h>
#include <QAction>
#include <QActionGroup>
#include <QFontDatabase>
#include <QFrame>
#include <QHeaderView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "text/Messages.h"

namespace tessaro {

namespace {

constexpr int kMinimumWindowWidth = 1000;
constexpr double kReferenceDpi = 96.0;

QPlainTextEdit* NewTextView(const char* name, QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

QSplitter* NewSplitter(const char* name, Qt::Orientation orientation, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(name);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

}  // namespace

void InitializeMainFormModule() { DiagLog(kMainFormChannel, "Initialization"); }

int DpiScalingFromLogicalDpi(double logicalDpi) {
    const double ratio = logicalDpi / kReferenceDpi;
    double whole = std::floor(ratio);
    const double fraction = ratio - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    // A screen reporting a tiny or nonsensical density still gets visible LEDs.
    if (!(whole >= 1.0)) return 1;
    return static_cast<int>(whole);
}

TGUIF::TGUIF(QWidget* parent) : QMainWindow(parent) {
    setObjectName("GUIF");
    setMinimumWidth(kMinimumWindowWidth);
    BuildMainMenu();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    SplitterAreas = NewSplitter("SplitterAreas", Qt::Vertical, central);
    SplitterAreas->addWidget(BuildDataArea());
    SplitterAreas->addWidget(BuildDeviceList());
    SplitterAreas->addWidget(BuildBottomArea());
    // Proportions only: the splitter scales them to the space it gets.
    SplitterAreas->setSizes({450, 320, 150});
    layout->addWidget(SplitterAreas, 1);
    layout->addWidget(BuildStatusBar());
    setCentralWidget(central);

    FormCreate();
}

TGUIF::~TGUIF() = default;

void TGUIF::FormCaption() { setWindowTitle(kFormCaption); }

int TGUIF::GetDPIScaling() const {
    const QScreen* shown = screen();
    return DpiScalingFromLogicalDpi(shown ? shown->logicalDotsPerInchX() : kReferenceDpi);
}

QCPAxis* TGUIF::XAxis1() const { return RtGraph2DMain->xAxis; }

QCPAxis* TGUIF::YAxis1() const { return RtGraph2DMain->yAxis2; }

void TGUIF::FormCreate() {
    FormCaption();
    PageControlMain->setCurrentIndex(0);
}

QAction* TGUIF::AddMenuEntry(QMenu* menu, const char* name, const QString& caption) {
    QAction* entry = menu->addAction(caption);
    entry->setObjectName(name);
    // Entries start disabled; each is enabled where its action is connected.
    entry->setEnabled(false);
    return entry;
}

void TGUIF::BuildMainMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");

    QMenu* file = bar->addMenu("File");
    file->setObjectName("File1");
    AddMenuEntry(file, "Savesoftwarestate1", "Save software state");
    AddMenuEntry(file, "Loadsoftwarestate1", "Load software state");

    QMenu* preferences = bar->addMenu("Preferences");
    preferences->setObjectName("Preferences1");
    QMenu* timeUnit = preferences->addMenu("Time Unit");
    timeUnit->setObjectName("TimeUnit1");
    auto* timeUnits = new QActionGroup(timeUnit);
    for (const auto& [name, caption] : {std::pair{"Minute1", "Minute"}, {"Hour1", "Hour"}, {"Day1", "Day"}}) {
        QAction* entry = AddMenuEntry(timeUnit, name, caption);
        entry->setCheckable(true);
        timeUnits->addAction(entry);
    }

    QMenu* data = bar->addMenu("Data");
    data->setObjectName("Data1");
    auto* views = new QActionGroup(data);
    for (const auto& [name, caption] : {std::pair{"ShowGraph1", "Show Graph"},
                                        {"ShowSegmentProgramTable1", "Show Segment Program Table"},
                                        {"ShowTable1", "Show Data Table"}}) {
        QAction* entry = AddMenuEntry(data, name, caption);
        entry->setCheckable(true);
        views->addAction(entry);
    }
    data->addSeparator();
    AddMenuEntry(data, "Graph1", "Graph");
    AddMenuEntry(data, "ShowSegmentPrograms1", "Show Segment Programs")->setCheckable(true);
    AddMenuEntry(data, "Showachievedflows1", "Show Device Flows")->setCheckable(true);
    AddMenuEntry(data, "Cleargraphdiscarddata1", "Clear Graph && Remove Data");
    data->addSeparator();
    AddMenuEntry(data, "DataTable1", "Data Table");
    AddMenuEntry(data, "Autoscrolltolastline1", "Auto-scroll to last line")->setCheckable(true);

    QMenu* devices = bar->addMenu("Devices");
    devices->setObjectName("Devices1");
    AddMenuEntry(devices, "Searchdevices1", "Search Devices");
    AddMenuEntry(devices, "Resetsoftware1", "Reset Devices");

    // The check marks of the start-up state.
    for (const char* ticked : {"ShowGraph1", "ShowSegmentPrograms1", "Showachievedflows1"})
        findChild<QAction*>(ticked)->setChecked(true);
}

QWidget* TGUIF::BuildDataArea() {
    auto* area = new QWidget(this);
    area->setObjectName("PanelData");
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);

    RtGraph2DMain = new QCustomPlot(area);
    RtGraph2DMain->setObjectName("RtGraph2DMain");
    RtGraph2DMain->setMinimumHeight(120);
    RtGraph2DMain->xAxis->setLabel("Time, m");
    RtGraph2DMain->yAxis->setVisible(false);
    RtGraph2DMain->yAxis2->setVisible(true);
    RtGraph2DMain->yAxis2->setLabel("Flow, %");
    RtGraph2DMain->yAxis2->setRange(0, 100);
    layout->addWidget(RtGraph2DMain);

    MemoSegments = NewTextView("MemoSegments", area);
    MemoSegments->hide();
    layout->addWidget(MemoSegments);

    MemoData = NewTextView("MemoData", area);
    MemoData->hide();
    layout->addWidget(MemoData);
    return area;
}

QWidget* TGUIF::BuildDeviceList() {
    QSplitter* middle = NewSplitter("SplitterMiddle", Qt::Horizontal, this);

    ListViewDevices = new QTreeWidget(middle);
    ListViewDevices->setObjectName("ListViewDevices");
    ListViewDevices->setColumnCount(5);
    ListViewDevices->setHeaderLabels({"COM port", "State", "Instrument", "Device", "Name or role"});
    ListViewDevices->setRootIsDecorated(false);
    ListViewDevices->setItemsExpandable(false);
    ListViewDevices->setUniformRowHeights(true);
    ListViewDevices->setSortingEnabled(false);
    ListViewDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewDevices->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewDevices->header()->setSectionsClickable(false);
    ListViewDevices->header()->setSectionsMovable(false);
    ListViewDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListViewDevices->header()->setStretchLastSection(true);

    middle->addWidget(ListViewDevices);
    middle->addWidget(BuildPageControl());
    middle->setSizes({400, 600});
    return middle;
}

QWidget* TGUIF::BuildPageControl() {
    PageControlMain = new QTabWidget(this);
    PageControlMain->setObjectName("PageControlMain");
    PageControlMain->addTab(BuildConfigureTab(), "Configure");
    for (const auto& [name, caption] : {std::pair{"TabSheetDesignSegments", "Design segments"},
                                        {"TabSheetDirectControl", "Direct control"},
                                        {"TabSheetMixtures", "Mixtures"},
                                        {"TabSheetTools", "Tools"},
                                        {"TabSheetDesigner", "Designer"}}) {
        auto* page = new QWidget(PageControlMain);
        page->setObjectName(name);
        PageControlMain->addTab(page, caption);
    }
    return PageControlMain;
}

QWidget* TGUIF::BuildBottomArea() {
    QSplitter* bottom = NewSplitter("SplitterBottom", Qt::Horizontal, this);

    MemoMain = new QPlainTextEdit(bottom);
    MemoMain->setObjectName("MemoMain");
    MemoMain->setReadOnly(true);
    MemoMain->setLineWrapMode(QPlainTextEdit::NoWrap);

    DzHTMLTextTips = new QTextBrowser(bottom);
    DzHTMLTextTips->setObjectName("DzHTMLTextTips");
    DzHTMLTextTips->setOpenLinks(false);

    bottom->addWidget(MemoMain);
    bottom->addWidget(DzHTMLTextTips);
    bottom->setSizes({600, 400});
    return bottom;
}

QWidget* TGUIF::BuildStatusBar() {
    // The LEDs are placed at fixed positions inside this panel, so it has no layout.
    PanelStatusBar = new QFrame(this);
    PanelStatusBar->setObjectName("PanelStatusBar");
    PanelStatusBar->setFrameShape(QFrame::StyledPanel);
    PanelStatusBar->setFixedHeight(20 * GetDPIScaling());
    return PanelStatusBar;
}

}  // namespace tessaro
