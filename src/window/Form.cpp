#include "Form.h"
#include "registry/Brinvale_DeviceInfo.h"

#include <qcustomplot.h>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "FormAccessibility.h"
#include "FormWidgets.h"
#include "NumberEdit.h"
#include "StatusLed.h"
#include "discovery/BackgroundJobs.h"
#include "discovery/DeviceSearch.h"
#include "discovery/MaintenanceTools.h"
#include "engine/EngineTimer.h"
#include "engine/Startup.h"
#include "mqtt/MqttControl.h"
#include "text/TextScan.h"

namespace tessaro {

namespace {

constexpr int kCloseRetryMs = 200;

constexpr int kMinimumWindowWidth = 1000;
constexpr double kReferenceDpi = 96.0;
constexpr int kLedPitch = 18;
constexpr int kLedSize = 16;
constexpr int kLedTop = 2;
constexpr int kStatusBarHeight = 20;

QSplitter* NewSplitter(const char* name, Qt::Orientation orientation, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(name);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

// Windows line ends inside a message become plain line breaks of the log view.
QString LogText(const std::string& line) {
    QString text = QString::fromStdString(line);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    while (text.endsWith('\n')) text.chop(1);
    return text;
}

}  // namespace

void InitializeMainFormModule() { DiagLog(kMainFormChannel, "Initialization"); }

int DpiScalingFromLogicalDpi(double logicalDpi) {
    const double whole = RoundHalfToEven(logicalDpi / kReferenceDpi);
    // A screen reporting a tiny or nonsensical density still gets visible LEDs.
    if (!(whole >= 1.0)) return 1;
    return static_cast<int>(whole);
}

TEngineSettings DefaultEngineSettings() {
    TEngineSettings settings;
    settings.DataFolder = DefaultDataFolder();
    settings.DecimalSeparator = LocaleDecimalSeparator();
    settings.FallbackFolders = DefaultFallbackFolders();
    return settings;
}

TGUIF::TGUIF(QWidget* parent) : TGUIF(DefaultEngineSettings(), parent) {}

TGUIF::TGUIF(TEngineSettings settings, QWidget* parent) : QMainWindow(parent) {
    InstallChartAccessibility();
    setObjectName("GUIF");
    replotTimer_ = new QTimer(this);
    replotTimer_->setSingleShot(true);
    connect(replotTimer_, &QTimer::timeout, this, &TGUIF::ReplotIfDue);

    setMinimumWidth(kMinimumWindowWidth);
    BuildMainMenu();

    auto* central = new QWidget(this);
    central->setObjectName("PanelMain");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    SplitterAreas = NewSplitter("SplitterAreas", Qt::Vertical, central);
    SplitterAreas->addWidget(BuildDataArea());
    SplitterAreas->addWidget(BuildDeviceList());
    SplitterAreas->addWidget(BuildBottomArea());
    // Proportions only: the splitter scales them to the space it gets. The chart keeps its
    // minimum height; the pages below scroll when they get less than they need.
    SplitterAreas->setSizes({300, 420, 110});
    layout->addWidget(SplitterAreas, 1);
    layout->addWidget(BuildOperationPanel());
    layout->addLayout(BuildStatusBar(central));
    setCentralWidget(central);

    engine_ = std::make_unique<TEngine>(*this, std::move(settings));
    mqtt_ = std::make_unique<TMqttControl>(*engine_, MqttSettingsFile(engine_->Settings().DataFolder));
    connect(mqtt_.get(), &TMqttControl::StateChanged, this, &TGUIF::ShowMqttState);
    TimerEngine = new TEngineTimer(*engine_, this);
    search_ = std::make_unique<TDeviceSearch>(*engine_, *this, *this, TimerEngine);
    tools_ = std::make_unique<TMaintenanceTools>(*this, TimerEngine);

    ConnectMainMenu();
    ConnectConfigureTab();
    ConnectRunControls();
    ConnectTools();
    ConnectSegmentControls();
    ConnectMixtures();
    ConnectDesigner();
    InstallStopAllFlowsKey();
    InstallMenuKeys();
    SetTabOrders();
    FormCreate();
    MakeAccessible();
}

TGUIF::~TGUIF() {
    TimerEngine->Stop();
    // A window destroyed without being closed still ends the workers it started.
    const auto& devices = DevicesLocal();
    const bool workersLeft =
        std::any_of(devices.begin(), devices.end(), [](const TDeviceInfo& device) { return device.IsConfigured(); });
    if (!closed_ && workersLeft) Guarded([this] { engine_->TerminateThreads(); });
}

void TGUIF::FormCaption() { setWindowTitle(kFormCaption); }

int TGUIF::GetDPIScaling() const {
    const QScreen* shown = screen();
    return DpiScalingFromLogicalDpi(shown ? shown->logicalDotsPerInchX() : kReferenceDpi);
}

QCPAxis* TGUIF::XAxis1() const { return RtGraph2DMain->xAxis; }

QCPAxis* TGUIF::YAxis1() const { return RtGraph2DMain->yAxis2; }

// --- Start-up, tick and shutdown ----------------------------------------------------------------

void TGUIF::FormCreate() {
    FormCaption();
    PageControlMain->setCurrentIndex(0);
    // The engine's part: minutes as the time unit, the two data folders.
    Guarded([this] { engine_->FormCreate(); });
    InstallHoverHelp();

    ListViewDevices->clear();
    for (const TDeviceInfo& device : DevicesLocal()) AddDeviceRow(device);
    FillFluidLists();
    ActivityLed = AddLedForThread();
    ActivityLed->setObjectName("ActivityLed");
    ShowInterruptedRun();
    Guarded([this] { mqtt_->Start(); });
    ShowMqttState();

    TimerEngine->Start();
}

void TGUIF::closeEvent(QCloseEvent* event) {
    // A second request while the workers are being stopped waits for the first one.
    if (closing_) {
        event->ignore();
        return;
    }
    // A search or a tool still talks to its instruments on its own threads: the close
    // follows once it has ended, so nothing it reports lands on a closed window.
    if (OperationRunning()) {
        event->ignore();
        QTimer::singleShot(kCloseRetryMs, this, &QWidget::close);
        return;
    }
    if (!closed_) FormClose();
    event->accept();
}

void TGUIF::FormClose() {
    closing_ = true;
    // The rig says "offline" while its devices are still known to be running.
    Guarded([this] { mqtt_->Stop(); });
    Guarded([this] { engine_->FormClose(); });
    TimerEngine->Stop();
    delete ActivityLed.data();
    closing_ = false;
    closed_ = true;
}

void TGUIF::BeginShutdownWait(const std::string& caption, const std::string& panelText) {
    setWindowTitle(QString::fromStdString(caption));
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    auto* panel = new QLabel(QString::fromStdString(panelText), this);
    panel->setObjectName("PanelShutdown");
    panel->setAlignment(Qt::AlignCenter);
    panel->setWordWrap(true);
    panel->setAutoFillBackground(true);
    // The window is disabled; the warning keeps its full colour.
    panel->setStyleSheet("QLabel { background: #FFFF80; color: black; font-size: 16pt; font-weight: bold; }");
    panel->setGeometry(QRect(PageControlMain->mapTo(this, QPoint(0, 0)), PageControlMain->size()));
    panel->show();
    panel->raise();
    shutdownPanel_ = panel;
    QCoreApplication::processEvents();
}

void TGUIF::EndShutdownWait() {
    FormCaption();
    setEnabled(true);
    QApplication::restoreOverrideCursor();
    delete shutdownPanel_.data();
}

// --- On-screen log --------------------------------------------------------------------------------

void TGUIF::MM(const std::string& aMessage) { engine_->MM(aMessage); }

void TGUIF::AppendLogLine(const std::string& line) {
    pendingLogLines_.append(LogText(line));
    if (inTick_ == 0) FlushPendingLines();
}

void TGUIF::TickEnded() {
    if (inTick_ > 0) --inTick_;
    if (inTick_ == 0) FlushPendingLines();
}

namespace {

// A view that the new lines fill on their own is emptied first, so that its lines are not
// laid out only to be dropped. Fewer new lines are left to the document, whose own dropping
// of the oldest lines also frees their text (a removal of ours would leave it behind).
void ClearWhenReplaced(QPlainTextEdit* view, qsizetype adding) {
    const int kept = view->document()->maximumBlockCount();
    if (kept > 0 && adding >= kept) view->clear();
}

}  // namespace

// One insertion for the lines of a whole tick: the view lays itself out and drops its oldest
// lines once per batch instead of once per line.
void TGUIF::AppendLines(QPlainTextEdit* view, QStringList& lines) {
    if (lines.isEmpty()) return;
    // Lines beyond what the view keeps would only be laid out to be dropped again.
    if (lines.size() > kLogViewLines) lines.erase(lines.begin(), lines.end() - kLogViewLines);
    ClearWhenReplaced(view, lines.size());
    view->appendPlainText(lines.join('\n'));
    lines.clear();
}

void TGUIF::FlushPendingLines() {
    if (!pendingLogLines_.isEmpty()) {
        AppendLines(MemoMain, pendingLogLines_);
        QScrollBar* bar = MemoMain->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
    if (pendingDataLines_.isEmpty()) return;
    // The view stays where the operator left it; following the last line is the auto-scroll
    // option's business. The text cursor has to be kept as well: left at the end, it would
    // be carried along by every line and pull the view after it when the view is shown.
    QScrollBar* bar = MemoData->verticalScrollBar();
    const int place = bar->value();
    const QTextCursor before = MemoData->textCursor();
    const int anchor = before.anchor();
    const int position = before.position();
    AppendLines(MemoData, pendingDataLines_);
    // Lines dropped at the top may leave the kept places beyond the shortened text.
    QTextCursor kept(MemoData->document());
    const int end = MemoData->document()->characterCount() - 1;
    kept.setPosition(std::clamp(anchor, 0, end));
    kept.setPosition(std::clamp(position, 0, end), QTextCursor::KeepAnchor);
    MemoData->setTextCursor(kept);
    bar->setValue(place);
}

void TGUIF::ShowNotice(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    // While the workers are being stopped the window is disabled: the panel over the tabs
    // says it too, where it can be read without a click.
    if (auto* panel = qobject_cast<QLabel*>(shutdownPanel_.data())) panel->setText(panel->text() + "\n\n" + shown);
    auto* notice = new QMessageBox(QMessageBox::Warning, windowTitle(), shown, QMessageBox::Ok, this);
    notice->setObjectName("NoticeBox");
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setModal(false);
    notice->show();
}

// --- LEDs ------------------------------------------------------------------------------------------

TLed* TGUIF::AddLedForThread() {
    const int s = GetDPIScaling();
    const auto held = PanelStatusBar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
    auto* led = new TLed(PanelStatusBar);
    led->setObjectName(QString("Led%1").arg(held));
    led->setGeometry(static_cast<int>(held) * kLedPitch * s, kLedTop * s, kLedSize * s, kLedSize * s);
    led->SetOffColor(QColor(192, 192, 192));
    led->SetOnColor(QColor(0, 255, 0));
    led->show();
    deviceLeds_.emplace_back(led);
    return led;
}

void TGUIF::SetActivityLed(bool on) {
    if (ActivityLed) ActivityLed->SetOn(on);
}

QObject* TGUIF::AddDeviceLed() { return AddLedForThread(); }

void TGUIF::SetDeviceLedLook(QObject* led, TRtColor offColor) {
    const int s = GetDPIScaling();
    for (const QPointer<TLed>& known : deviceLeds_) {
        if (!known || known.data() != led) continue;
        known->SetOffColor(QColor::fromRgba(offColor));
        known->resize(kLedSize * s, kLedSize * s);
    }
}

void TGUIF::SetDeviceLed(QObject* led, bool on) {
    for (const QPointer<TLed>& known : deviceLeds_)
        if (known && known.data() == led) known->SetOn(on);
}

void TGUIF::SetDeviceLedFault(QObject* led, bool fault) {
    for (const QPointer<TLed>& known : deviceLeds_)
        if (known && known.data() == led) known->SetFault(fault);
}

void TGUIF::FreeLed(QObject* led) {
    const auto found = std::find_if(deviceLeds_.begin(), deviceLeds_.end(),
                                    [led](const QPointer<TLed>& known) { return known && known.data() == led; });
    if (found == deviceLeds_.end()) return;
    delete found->data();
    deviceLeds_.erase(found);
}

// --- Data table -------------------------------------------------------------------------------------

void TGUIF::DataTableLinesAppended(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) pendingDataLines_.append(QString::fromStdString(line));
    if (inTick_ == 0) FlushPendingLines();
}

void TGUIF::DataTableCleared() {
    pendingDataLines_.clear();
    MemoData->clear();
}

void TGUIF::ScrollDataTableToEnd() {
    FlushPendingLines();
    MemoData->moveCursor(QTextCursor::End);
    QScrollBar* bar = MemoData->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TGUIF::SetAutoScrollChecked(bool on) { MenuEntry("Autoscrolltolastline1")->setChecked(on); }

// --- Frame -----------------------------------------------------------------------------------------------

QAction* TGUIF::AddMenuEntry(QMenu* menu, const char* name, const QString& caption) {
    QAction* entry = menu->addAction(caption);
    entry->setObjectName(name);
    return entry;
}

QAction* TGUIF::MenuEntry(const char* name) const { return findChild<QAction*>(name); }

void TGUIF::BuildMainMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");

    QMenu* file = bar->addMenu("File");
    file->setObjectName("File1");
    // Nothing survives a run: both entries are disabled.
    AddMenuEntry(file, "Savesoftwarestate1", "Save software state")->setEnabled(false);
    AddMenuEntry(file, "Loadsoftwarestate1", "Load software state")->setEnabled(false);
    AddMenuEntry(file, "OpenRunFile1", "Open run file…");
    AddMenuEntry(file, "SaveRunFile1", "Save run file…");
    file->addSeparator();
    AddMenuEntry(file, "SaveChartAs1", "Save chart as…");
    file->addSeparator();
    AddMenuEntry(file, "Quit1", "Quit")->setShortcut(QKeySequence::fromString("Ctrl+Q"));

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
    AddMenuEntry(preferences, "PublishToMqtt1", "Publish to MQTT…");

    QMenu* dataMenu = bar->addMenu("Data");
    dataMenu->setObjectName("Data1");
    auto* views = new QActionGroup(dataMenu);
    for (const auto& [name, caption] : {std::pair{"ShowGraph1", "Show Graph"},
                                        {"ShowSegmentProgramTable1", "Show Segment Program Table"},
                                        {"ShowTable1", "Show Data Table"}}) {
        QAction* entry = AddMenuEntry(dataMenu, name, caption);
        entry->setCheckable(true);
        views->addAction(entry);
    }
    dataMenu->addSeparator();
    AddMenuEntry(dataMenu, "Graph1", "Graph")->setEnabled(false);
    AddMenuEntry(dataMenu, "ShowSegmentPrograms1", "Show Segment Programs")->setCheckable(true);
    AddMenuEntry(dataMenu, "Showachievedflows1", "Show Device Flows")->setCheckable(true);
    AddMenuEntry(dataMenu, "Cleargraphdiscarddata1", "Clear Graph && Remove Data");
    dataMenu->addSeparator();
    AddMenuEntry(dataMenu, "DataTable1", "Data Table")->setEnabled(false);
    AddMenuEntry(dataMenu, "Autoscrolltolastline1", "Auto-scroll to last line")->setCheckable(true);
    AddMenuEntry(dataMenu, "ExportDataTableAsCsv1", "Export data table as CSV…");

    QMenu* devices = bar->addMenu("Devices");
    devices->setObjectName("Devices1");
    AddMenuEntry(devices, "Searchdevices1", "Search Devices");
    AddMenuEntry(devices, "Resetsoftware1", "Reset Devices");
    devices->addSeparator();
    AddMenuEntry(devices, "HoldAllPrograms1", "Hold all programs");
    AddMenuEntry(devices, "ResumeAllPrograms1", "Resume all programs");

    BuildHelpMenu();

    // The check marks of the start-up state.
    for (const char* ticked : {"ShowGraph1", "ShowSegmentPrograms1", "Showachievedflows1"})
        MenuEntry(ticked)->setChecked(true);
}

void TGUIF::ConnectMainMenu() {
    for (const auto& [name, word] : {std::pair{"Minute1", "MINUTE"}, {"Hour1", "HOUR"}, {"Day1", "DAY"}})
        connect(MenuEntry(name), &QAction::triggered, this,
                [this, unit = std::string(word)] { Guarded([&] { engine_->SetTimeUnit(unit, FocusedPort()); }); });
    for (const char* view : {"ShowGraph1", "ShowSegmentProgramTable1", "ShowTable1"}) {
        QAction* entry = MenuEntry(view);
        connect(entry, &QAction::triggered, this, [this, entry] { Guarded([&] { ShowTable1Click(entry); }); });
    }
    connect(MenuEntry("ShowSegmentPrograms1"), &QAction::triggered, this,
            [this] { Guarded([this] { ShowSegmentPrograms1Click(); }); });
    connect(MenuEntry("Showachievedflows1"), &QAction::triggered, this,
            [this] { Guarded([this] { Showachievedflows1Click(); }); });
    connect(MenuEntry("Cleargraphdiscarddata1"), &QAction::triggered, this,
            [this] { Guarded([this] { Cleargraphdiscarddata1Click(); }); });
    connect(MenuEntry("Autoscrolltolastline1"), &QAction::triggered, this,
            [this] { Guarded([this] { engine_->Autoscrolltolastline1Click(); }); });
    connect(MenuEntry("PublishToMqtt1"), &QAction::triggered, this,
            [this] { Guarded([this] { PublishToMqtt1Click(); }); });
    connect(MenuEntry("SaveChartAs1"), &QAction::triggered, this, [this] { Guarded([this] { SaveChartAs1Click(); }); });
    connect(MenuEntry("OpenRunFile1"), &QAction::triggered, this, [this] { Guarded([this] { OpenRunFile1Click(); }); });
    connect(MenuEntry("SaveRunFile1"), &QAction::triggered, this, [this] { Guarded([this] { SaveRunFile1Click(); }); });
    connect(MenuEntry("ExportDataTableAsCsv1"), &QAction::triggered, this,
            [this] { Guarded([this] { ExportDataTableAsCsv1Click(); }); });
    // Through the normal close: the same checks and shutdown as the window's close button.
    connect(MenuEntry("Quit1"), &QAction::triggered, this, &QWidget::close);
    connect(MenuEntry("AboutTessaro1"), &QAction::triggered, this,
            [this] { Guarded([this] { AboutTessaro1Click(); }); });
    connect(MenuEntry("Searchdevices1"), &QAction::triggered, this,
            [this] { Guarded([this] { Searchdevices1Click(); }); });
    connect(MenuEntry("HoldAllPrograms1"), &QAction::triggered, this, [this] {
        Guarded([this] {
            engine_->HoldAllPrograms();
            ShowFocusedDevice();
        });
    });
    connect(MenuEntry("ResumeAllPrograms1"), &QAction::triggered, this, [this] {
        Guarded([this] {
            engine_->ResumeAllPrograms();
            ShowFocusedDevice();
        });
    });
    connect(MenuEntry("Resetsoftware1"), &QAction::triggered, this, [this] {
        Guarded([this] {
            engine_->Resetsoftware1Click();
            ShowFocusedDevice();
        });
    });
}

QWidget* TGUIF::BuildDataArea() {
    auto* area = new QWidget(this);
    area->setObjectName("PanelData");
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);

    ChartPanel = BuildChart(area);
    layout->addWidget(ChartPanel);

    MemoSegments = NewTextView("MemoSegments", area);
    MemoSegments->hide();
    layout->addWidget(MemoSegments);

    MemoData = NewTextView("MemoData", area);
    MemoData->hide();
    // A month's table has nearly a million lines: the view keeps the last ones, the log files
    // and the export all of them.
    MemoData->setMaximumBlockCount(kLogViewLines);
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
    PageControlMain->addTab(VerticallyScrolled(BuildDesignSegmentsTab()), "Design segments");
    PageControlMain->addTab(VerticallyScrolled(BuildDirectControlTab()), "Direct control");
    QWidget* mixtures = BuildMixturesTab();
    mixtures->setObjectName("TabSheetMixtures");
    PageControlMain->addTab(VerticallyScrolled(mixtures), "Mixtures");
    QWidget* tools = BuildToolsTab();
    tools->setObjectName("TabSheetTools");
    PageControlMain->addTab(VerticallyScrolled(tools), "Tools");
    QWidget* designer = BuildDesignerTab();
    designer->setObjectName("TabSheetDesigner");
    PageControlMain->addTab(VerticallyScrolled(designer), "Designer");
    return PageControlMain;
}

// A page too tall for a low window scrolls up and down instead of squeezing the chart above
// it. The scroll area takes the page's name, so the page is found by it as the tab it is.
QWidget* TGUIF::VerticallyScrolled(QWidget* page) {
    auto* scroll = new QScrollArea(PageControlMain);
    scroll->setObjectName(page->objectName());
    page->setObjectName(page->objectName() + "Fields");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab moves between the page's fields, never onto the scroll area itself.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(page);
    return scroll;
}

QWidget* TGUIF::BuildBottomArea() {
    QSplitter* bottom = NewSplitter("SplitterBottom", Qt::Horizontal, this);

    MemoMain = new QPlainTextEdit(bottom);
    MemoMain->setObjectName("MemoMain");
    MemoMain->setReadOnly(true);
    MemoMain->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A week-long run writes millions of lines; the view keeps the last ones, the screen log
    // file all of them.
    MemoMain->setMaximumBlockCount(kLogViewLines);

    DzHTMLTextTips = new QTextBrowser(bottom);
    DzHTMLTextTips->setObjectName("DzHTMLTextTips");
    DzHTMLTextTips->setOpenLinks(false);

    bottom->addWidget(MemoMain);
    bottom->addWidget(DzHTMLTextTips);
    bottom->setSizes({600, 400});
    return bottom;
}

QLayout* TGUIF::BuildStatusBar(QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);

    // The LEDs are placed at fixed positions inside this panel, so it has no layout.
    PanelStatusBar = new QFrame(parent);
    PanelStatusBar->setObjectName("PanelStatusBar");
    PanelStatusBar->setFrameShape(QFrame::NoFrame);
    PanelStatusBar->setFixedHeight(kStatusBarHeight * GetDPIScaling());
    row->addWidget(PanelStatusBar, 1);

    LedMqtt = new TLed(parent);
    LedMqtt->setObjectName("LedMqtt");
    LedMqtt->setFixedSize(kLedSize * GetDPIScaling(), kLedSize * GetDPIScaling());
    LedMqtt->SetCaption("MQTT");
    row->addWidget(LedMqtt);
    LabelMqttState = new QLabel("MQTT: Off", parent);
    LabelMqttState->setObjectName("LabelMqttState");
    row->addWidget(LabelMqttState);

    ButtonStopAllFlows = new QPushButton("Stop all flows", parent);
    ButtonStopAllFlows->setObjectName("ButtonStopAllFlows");
    ButtonStopAllFlows->setToolTip(
        QString("Puts every configured device to idle at 0 %, selected or not (%1)").arg(kStopAllFlowsKey));
    row->addWidget(ButtonStopAllFlows);
    return row;
}

}  // namespace tessaro
