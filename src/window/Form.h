#pragma once
// The program's only window. The constructor builds the frame in code: the data area on
// top, the device list and the page control in the middle, the on-screen log and the help
// pane at the bottom, the status bar below them. Widgets carry their names as objectName()
// so that tests and the help pane find them.
//
// The window is thin: its handlers turn widget events into calls on the run engine and the
// device registry and show what comes back. It is also the engine's window (TWindowPort).

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/OperationWindow.h"
#include "engine/Engine.h"
#include "engine/WindowPort.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QCPAxis;
class QCPGraph;
class QCustomPlot;
class QFrame;
class QGroupBox;
class QDialog;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tessaro {

struct TRunDeviceFinder;

struct TDeviceInfo;
class TChartNavigator;
class TDeviceSearch;
class TMaintenanceTools;
class TColorPickCombo;
class TEngineTimer;
class TMqttControl;
class TFlowCurve;
class TLed;
class TNumberEdit;

inline constexpr const char* kMainFormChannel = "Main form";
inline constexpr const char* kFormCaption = "Tessaro 2026-02-04";
// The key of "Stop all flows", active in every window of the program. F12 is used by nothing
// else here and needs no modifier.
inline constexpr const char* kStopAllFlowsKey = "F12";
// The on-screen log view and the data table view keep this many of the last lines; the screen
// log file, the log files and the export keep all.
inline constexpr int kLogViewLines = 20000;
// The chart is redrawn at most this often; what changes meanwhile is drawn together.
inline constexpr int kReplotIntervalMs = 1000;
// The chart's plot never gets lower than this, whatever the window's height.
inline constexpr int kChartMinimumHeight = 200;

// Module start of the window: opens the "Main form" channel. Runs before the window exists.
void InitializeMainFormModule();

// Screen scaling for fixed pixel geometry (the status-bar LEDs): logical dots per inch over
// 96, rounded to the nearest whole number with halves to the even one, and never below 1.
int DpiScalingFromLogicalDpi(double logicalDpi);

// The engine as the program runs it: the default data folder and the locale's separator.
TEngineSettings DefaultEngineSettings();

// Which way DeviceDetailsUI copies: into the window's controls, or from them into the record.
enum TDirectionTo { tdGUI, tdCODE };

class TGUIF : public QMainWindow, public TWindowPort, public TOperationWindow {
    Q_OBJECT

public:
    explicit TGUIF(QWidget* parent = nullptr);
    explicit TGUIF(TEngineSettings settings, QWidget* parent = nullptr);
    ~TGUIF() override;

    TEngine& Engine() { return *engine_; }
    TMqttControl& MqttControl() { return *mqtt_; }
    TEngineTimer& EngineTimer() { return *TimerEngine; }
    TDeviceSearch& DeviceSearch() { return *search_; }

    void FormCaption();
    int GetDPIScaling() const;

    // The chart's time axis (bottom) and flow axis (right).
    QCPAxis* XAxis1() const;
    QCPAxis* YAxis1() const;

    // --- Device list and configuration -----------------------------------------------------
    // The COM ports of the selected rows, top to bottom, and of the focused row.
    std::vector<std::string> SelectedPorts() const;
    std::optional<std::string> FocusedPort() const;
    // A copy of the device of the focused row; false when no row has the focus or its port
    // is not in the registry.
    bool GetSelectedDevice(TDeviceInfo& aDev) const;
    void DeviceDetailsUI(TDirectionTo aDirection, TDeviceInfo& aDevInfo);
    void ListViewDevicesClick();
    // Shows the device of the focused row again (nothing when there is none).
    void ShowFocusedDevice();
    void ButtonApplyConfigurationClick();
    void RtColorPickComboDeviceColorChanged();
    void FillFluidLists();
    TLed* AddLedForThread();

    // --- Flow unit group and flow displays ---------------------------------------------------
    void ComboBoxFlowUnitPredefinedChange();
    void ComboBoxFlowUnitPredefinedMouseEnter();
    void ComboBoxDeviceFluidMouseEnter();
    void EditFlowUnitTemperatureCValueChanged();
    void EditFlowUnitPressureBarValueChanged();
    void UpdateGasFlowUnits();

    // --- Design segments: the segment table and its program files ---------------------------
    void ButtonSegmentApplyClick();
    void ButtonSegmentDeleteClick();
    void ButtonSegmentTypeClick();
    void ListViewSegmentProgramChange();
    // The right button released over the table at `globalPos` opens PopupMenuSegment.
    void ListViewSegmentProgramMouseUp(Qt::MouseButton button, const QPoint& globalPos);
    void RtDoubleEditSegmentTimeValueChanged();
    // The Configure tab without a device: its fields empty or disabled until a row is
    // focused, so nothing of the device shown before is left to be taken for the new one.
    void ShowNoDevice();
    void EnableConfigurationFields(bool enabled);
    void RtDoubleEditSegmentFlowValueChanged();
    void SaveSegmentProgramAs1Click();
    void LoadSegmentProgram2Click();
    // The dialogs of the two items above; tests answer them instead of an operator.
    void SetSegmentFileDialogs(TChooseFile save, TChooseFile open);
    // The segment table shows `program` (part of showing a device).
    void FillSegmentTable(const std::string& program);
    // The merged listing of the selected devices into MemoSegments, while "Show Segment
    // Programs" is ticked.
    void MergeSegments();

    // --- Graph and views -----------------------------------------------------------------------
    void SegmentSerie(TDeviceInfo& aDevice, bool Clear);
    void ShowTable1Click(QAction* sender);
    void ShowSegmentPrograms1Click();
    void Showachievedflows1Click();
    void Cleargraphdiscarddata1Click();
    // The x shown for a stored x in minutes: divided by the time unit's factor.
    double RtPointSeriesXValueTransformation(double x_min) const;
    // File → "Save chart as…": PNG or PDF by the chosen name's ending.
    void SaveChartAs1Click();
    // Writes the chart to `fileName` (".png" or ".pdf"); a failure is told in a message that
    // names the file, a success in the on-screen log.
    bool SaveChart(const QString& fileName);
    // The planned and achieved curves of a port, when they exist.
    QCPGraph* PlannedCurve(const std::string& port) const;
    QCPGraph* AchievedCurve(const std::string& port) const;
    // The chart in words, for screen readers: each configured device with its planned and
    // its last achieved flow.
    QString ChartSummary() const;

    // --- Mixtures: recipes -------------------------------------------------------------------
    // The change handler of the recipe and of the mixture's name: evaluates the recipe.
    void MemoMixRecipeChange();
    void ButtonMixSegmentsAddClick();
    bool MixRecipeValid = false;

    // --- Designer -------------------------------------------------------------------------------
    // Rebuilds one group per selected device and the time slider's range.
    void MixMakerComponentSetup();
    void TrackBarDesignerTimeChange();
    void RtDoubleEditDesignMixTimeKeyUp();
    void RtDoubleEditDesignMixTimeValueChanged();
    // A device slider changed, or a device field asks to couple its slider.
    void DesignerChange(QObject* Sender);
    void RtDoubleEditDynamicKeyUp(TNumberEdit* field);
    // Recomputes and shows the mixture of the designed flows; `Caller` names the trigger.
    void ShowNewMix(const std::string& Caller);
    // "Apply to device(s)": the designer changes no device.
    void BitBtnDesignerApplyClick() {}
    // The chart's marker of the designer time, as the chart shows it.
    QCPGraph* DesignerTimeMarker() const { return RtLineSeriesTimeHighlight; }

    // --- Device search and tools ----------------------------------------------------------
    void Searchdevices1Click();
    void ButtonPrimePumpClick();
    void ButtonChangeSyringeClick();
    void ButtonDeviceInitializeClick();

    // --- TOperationWindow ------------------------------------------------------------------------
    void BeginOperation(const std::string& caption) override;
    void OperationProgress(const std::string& step, int done, int total) override;
    void EndOperation() override;
    void ShowDeviceRows(const std::vector<TDeviceRowTexts>& rows) override;

    // --- Operator conveniences ------------------------------------------------------------------
    // "Stop all flows" (the status bar's button and kStopAllFlowsKey from anywhere in the
    // program): every configured device to idle at 0 %, whatever is selected.
    void ButtonStopAllFlowsClick();
    // A start after a run that did not end cleanly: the engine has stopped its devices; a
    // notice ("NoticeInterruptedRun") tells which and where their programs stood, with the
    // button "Resume the interrupted run" when there is a run to resume.
    void ShowInterruptedRun();
    // That button: the engine resumes the run; the devices it configured join the list.
    void ButtonResumeInterruptedRunClick();
    // Help → "About Tessaro": a box that waits for nobody.
    void AboutTessaro1Click();
    // The text of that box: the version, the data folder and the Qt version.
    QString AboutText() const;
    // Data → "Export data table as CSV…": a file dialog, then the table goes to the chosen
    // file; the outcome is in the on-screen log, a failure also in a message box.
    void ExportDataTableAsCsv1Click();
    // The dialog of that item; tests answer it instead of an operator.
    void SetExportCsvFileDialog(TChooseFile choose);
    // File → "Open run file…": a file dialog, then the run's devices are configured and their
    // programs loaded (nothing starts); the device list follows, and the problems of a file
    // that is not valid or not complete are shown together in one box.
    void OpenRunFile1Click();
    // File → "Save run file…": the configured devices and their programs.
    void SaveRunFile1Click();
    // The dialogs of the two items and how the run's devices are found; tests answer them.
    void SetRunFileDialogs(TChooseFile save, TChooseFile open);
    void SetRunDeviceFinder(TRunDeviceFinder finder);

    // --- Help and log ----------------------------------------------------------------------------
    void ShowHelp(QObject* Sender);
    // The help text of a control, found through the label it is captioned by and the areas it
    // lies in when it has none of its own; kDefaultHelp when none of them has one.
    QString HelpMarkupOf(const QWidget* control) const;
    const QString& LastHoveredName() const { return lastHoveredName_; }
    void MM(const std::string& aMessage);

    // --- TWindowPort -----------------------------------------------------------------------------
    void AppendLogLine(const std::string& line) override;
    void TickBegins() override { ++inTick_; }
    void TickEnded() override;
    void ShowNotice(const std::string& text) override;
    void SetActivityLed(bool on) override;
    void SetDeviceLed(QObject* led, bool on) override;
    void SetDeviceLedFault(QObject* led, bool fault) override;
    void ShowDeviceRow(const TDeviceInfo& device) override { SetRowTexts(device); }
    void PlannedCurveChanged(const TDeviceInfo& device) override;
    void FreeLed(QObject* led) override;
    QObject* AddDeviceLed() override;
    void SetDeviceLedLook(QObject* led, TRtColor offColor) override;
    void FlowSerie(const TDeviceInfo& device, double x_min, double y_pct, bool clear) override;
    void ClearGraph(bool removeData) override;
    void ChartValuesChanged() override;
    void ShowDevice(TDeviceInfo& device) override;
    void SetAllRowsState(const std::string& state) override;
    void RefreshFlowDisplays() override;
    void FullScaleChanged(const TDeviceInfo& device) override;
    void DataTableLinesAppended(const std::vector<std::string>& lines) override;
    void DataTableCleared() override;
    void ScrollDataTableToEnd() override;
    void SetAutoScrollChecked(bool on) override;
    void MemoSegmentsUpdate() override;
    void TimeUnitChanged(const std::string& symbol, double factor) override;
    void BeginShutdownWait(const std::string& caption, const std::string& panelText) override;
    void EndShutdownWait() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TDeviceCurves {
        QPointer<TFlowCurve> planned;
        QPointer<TFlowCurve> achieved;
        // The revision of the engine's planned curve the planned curve holds, in this unit.
        std::uint64_t plannedRevision = 0;
        double plannedFactor = 0;
    };

    void FormCreate();
    void FormClose();

    // Building the frame.
    void BuildMainMenu();
    void ConnectMainMenu();
    QWidget* BuildDataArea();
    QWidget* BuildChart(QWidget* parent);
    QWidget* BuildDeviceList();
    QWidget* BuildPageControl();
    QWidget* VerticallyScrolled(QWidget* page);
    QWidget* BuildConfigureTab();
    QWidget* BuildConfigureDeviceFields();
    QWidget* BuildConfigurePumpGroup();
    QWidget* BuildConfigureFlowUnitGroup();
    QWidget* BuildDesignSegmentsTab();
    QWidget* BuildProgramRunGroup(QWidget* parent);
    QWidget* BuildDirectControlTab();
    QWidget* BuildToolsTab();
    QWidget* BuildMixturesTab();
    QWidget* BuildDesignerTab();
    QWidget* BuildDesignerTimeGroup();
    void ConnectMixtures();
    void ConnectDesigner();
    void NewDesignerGroup(const TDeviceInfo& device);
    void RemoveDesignerGroups();
    // Rebuilds the designer when the selection is no longer the one it shows, or always
    // with `force`, then shows the flows at the designer time.
    void FollowSelectionInDesigner(bool force);
    void SetDesignerTimeMarker(double time_min);
    QSlider* DesignerSlider(const std::string& port) const;
    TNumberEdit* DesignerField(const std::string& port) const;
    QWidget* BuildOperationPanel();
    void ConnectTools();
    QWidget* BuildBottomArea();
    QLayout* BuildStatusBar(QWidget* parent);

    // Publishing to MQTT: the status bar's light and words, the settings dialog.
    void ShowMqttState();
    void PublishToMqtt1Click();
    void DialogMqttAccepted();
    void BuildHelpMenu();
    // Alt + the letter opens each menu of the menu bar; the captions stay as they are.
    void InstallMenuKeys();
    void InstallStopAllFlowsKey();
    void SetTabOrders();
    void ConnectConfigureTab();
    void ConnectRunControls();
    void ConnectSegmentControls();
    QAction* AddMenuEntry(QMenu* menu, const char* name, const QString& caption);
    QAction* MenuEntry(const char* name) const;

    // Device list.
    void AddDeviceRow(const TDeviceInfo& device);
    QTreeWidgetItem* RowOf(const std::string& port) const;
    void SetRowTexts(const TDeviceInfo& device);
    void MarkFocusAndSelection();
    void RedrawPlannedCurvesOfSelection();

    // Showing and taking a device.
    void ShowDeviceIdentity(const TDeviceInfo& device);
    void ShowDirectSetpoint(double value);
    void ShowSegmentTable(const TSegmentTable& table);
    TSegmentTable SegmentTableShown() const;
    int SelectedSegmentRow() const;
    void ShowSegmentType(const std::string& caption);
    TSegmentEntry SegmentEntryTyped() const;
    int TerminationItemSelected() const;
    // The run settings of the "Design segments" page: shown for a device, read back.
    void ShowProgramOptions(const TDeviceInfo& device);
    TProgramOptions ProgramOptionsShown() const;
    // The ports the listing view lists: the selected rows while "Show Segment Programs" is
    // ticked, none otherwise.
    std::vector<std::string> ListedPorts() const;
    // The system's save dialog with `title`, opened on the request's folder and file name.
    std::optional<std::filesystem::path> ChooseSaveFile(const TFileDialogRequest& request, const QString& title);
    std::optional<std::filesystem::path> ChooseOpenFile(const TFileDialogRequest& request,
                                                        const QString& title = "Load Segment Program");
    void ShowPumpDetails(const TDeviceInfo& device);
    void ShowFlowControllerDetails(const TDeviceInfo& device);
    TConfigurationEntry ConfigurationEntry(const TDeviceInfo& device) const;
    // True when every field holds a number in its range; otherwise the first one that does
    // not is named in a message.
    bool FieldsAccepted(std::initializer_list<const TNumberEdit*> fields) const;
    void ShowFlowUnitFields(bool volumetric);
    void SelectRowTagged(QComboBox* list, int tag);

    // Curves.
    TDeviceCurves& CurvesOf(const std::string& port);
    TFlowCurve* NewCurve(const TDeviceInfo& device);
    void KeepCurveReferences(const std::string& port);
    void FillPlannedCurve(TFlowCurve& curve, std::vector<TPlannedPoint> points) const;
    void ClearCurve(TFlowCurve* curve);
    void SpaceOutSymbols();
    void BuildLegend();
    // The legend's entries follow the engine's texts for the curves that are shown.
    void RefreshLegend();
    // Achieved curves whose symbols cover more are drawn first.
    void StackAchievedCurves();
    void ScaleCurveTimes(double factor);
    void RequestReplot();
    void ReplotIfDue();
    bool ChartShown() const;
    bool InShownTime(double x_min) const;
    void ShowView(QWidget* view);
    // A tick's lines reach the text views in one insertion at its end.
    void FlushPendingLines();
    static void AppendLines(QPlainTextEdit* view, QStringList& lines);

    // Accessibility: names, descriptions and state words for screen readers and tooltips.
    void MakeAccessible();
    void DescribeControl(QWidget* control);
    void DescribeDeviceLed(const TDeviceInfo& device);

    // Help.
    void InstallHoverHelp();
    QWidget* HelpControlFor(QWidget* widget) const;
    void ShowHelpText(const QString& markup);

    // Runs a handler and shows what it throws instead of letting it reach the event loop.
    template <typename Handler>
    void Guarded(Handler&& handler);

    std::unique_ptr<TEngine> engine_;
    std::unique_ptr<TMqttControl> mqtt_;
    std::unique_ptr<TDeviceSearch> search_;
    std::unique_ptr<TMaintenanceTools> tools_;

    // Data area
    QWidget* ChartPanel = nullptr;
    QCustomPlot* RtGraph2DMain = nullptr;
    TChartNavigator* chartNavigator_ = nullptr;
    QPlainTextEdit* MemoData = nullptr;
    QPlainTextEdit* MemoSegments = nullptr;

    // Middle
    QTreeWidget* ListViewDevices = nullptr;
    QTabWidget* PageControlMain = nullptr;

    // Configure tab
    QLineEdit* EditDeviceName = nullptr;
    QLineEdit* EditDeviceType = nullptr;
    TColorPickCombo* RtColorPickComboDeviceColor = nullptr;
    QLabel* LabelDeviceColor = nullptr;
    QComboBox* ComboBoxDeviceFluid = nullptr;
    QComboBox* ComboBoxDeviceFluidPump = nullptr;
    QGroupBox* GroupBoxConfigurePump = nullptr;
    TNumberEdit* RtDoubleEditSyringeSize = nullptr;
    TNumberEdit* RtDoubleEditFluidTemperature = nullptr;
    QGroupBox* GroupBoxFlowUnit = nullptr;
    QLineEdit* EditFlowUnitName = nullptr;
    QComboBox* ComboBoxFlowUnitPredefined = nullptr;
    TNumberEdit* EditFlowUnitTemperatureC = nullptr;
    TNumberEdit* EditFlowUnitPressureBar = nullptr;
    QLabel* LabelUnitTemp = nullptr;
    QLabel* LabelPSI = nullptr;
    QPushButton* ButtonApplyConfiguration = nullptr;

    // Design segments tab
    QLabel* LabelSelectedDeviceNameRole = nullptr;
    QLabel* LabelSegmentStartTime = nullptr;
    QTreeWidget* ListViewSegmentProgram = nullptr;
    QMenu* PopupMenuSegment = nullptr;
    TNumberEdit* RtDoubleEditSegmentTime = nullptr;
    QLabel* LabelSegmentStartTimeTimeConversions = nullptr;
    QPushButton* ButtonSegmentType = nullptr;  // BitBtn3
    QLineEdit* EditNote = nullptr;
    QWidget* RadioGroupSegmentTerminationType = nullptr;
    TNumberEdit* RtDoubleEditProgramRepeat = nullptr;
    TNumberEdit* RtDoubleEditHoldbackBand = nullptr;
    TNumberEdit* RtDoubleEditLongestHold = nullptr;
    TNumberEdit* RtDoubleEditAlarmBand = nullptr;
    TNumberEdit* RtDoubleEditAlarmDelay = nullptr;
    TNumberEdit* RtDoubleEditSegmentFlow = nullptr;
    TNumberEdit* RtDoubleEditDevMaxFlow = nullptr;
    QLabel* LabelSpecifiedFlowUnit = nullptr;
    QLabel* LabelResultingFlowinSpecifiedUnit = nullptr;

    // Direct control tab
    TNumberEdit* RtDoubleEditDirectControlDesiredFlow = nullptr;
    TNumberEdit* RtDoubleEditDirectControlMaxFlow = nullptr;
    QLabel* LabelDirectControlMaxFlowUnit = nullptr;
    QLabel* LabelDirectControlResultingFlow = nullptr;

    // Mixtures tab
    QPlainTextEdit* MemoMixRecipe = nullptr;
    QLineEdit* EditMixtureName = nullptr;
    QPlainTextEdit* MemoMixResult = nullptr;
    TNumberEdit* RtDoubleEditMixSegmentsAddTime = nullptr;
    QLineEdit* EditNoteMixture = nullptr;
    QPushButton* ButtonMixSegmentsAdd = nullptr;

    // Designer tab
    QSlider* TrackBarDesignerTime = nullptr;
    TNumberEdit* RtDoubleEditDesignMixTime = nullptr;
    QScrollArea* ScrollBoxFlow = nullptr;
    QWidget* FlowPanelControls = nullptr;
    QPlainTextEdit* MemoMixDesigner = nullptr;
    QPushButton* BitBtnDesignerApply = nullptr;
    QCPGraph* RtLineSeriesTimeHighlight = nullptr;
    std::vector<std::string> designerPorts_;  // the selection the designer's groups show
    double designerTime_min_ = 0;
    // Set while the designer itself moves controls (following the time, coupling a field's
    // slider): such moves are no change of a designed flow by the operator.
    bool designerMoving_ = false;

    // Tools tab
    QSpinBox* SpinEditPrimeLoops = nullptr;
    QPushButton* ButtonPrimePump = nullptr;
    QPushButton* ButtonChangeSyringe = nullptr;
    QPushButton* ButtonDeviceInitialize = nullptr;

    // The progress of a search or a tool, shown while it runs.
    QWidget* PanelOperation = nullptr;
    QLabel* LabelOperation = nullptr;
    QProgressBar* ProgressBarOperation = nullptr;

    // Bottom
    QPlainTextEdit* MemoMain = nullptr;
    QTextBrowser* DzHTMLTextTips = nullptr;
    QFrame* PanelStatusBar = nullptr;
    QPushButton* ButtonStopAllFlows = nullptr;
    QSplitter* SplitterAreas = nullptr;

    TEngineTimer* TimerEngine = nullptr;
    QPointer<TLed> ActivityLed;
    TLed* LedMqtt = nullptr;
    QLabel* LabelMqttState = nullptr;
    QDialog* DialogMqtt = nullptr;
    std::vector<QPointer<TLed>> deviceLeds_;
    std::map<std::string, TDeviceCurves> curves_;  // by COM port
    QTimer* replotTimer_ = nullptr;
    QElapsedTimer sinceReplot_;
    bool replotPending_ = false;
    int inTick_ = 0;  // lines wait for the tick's end while above 0
    QStringList pendingLogLines_;
    QStringList pendingDataLines_;
    TChooseFile saveSegmentFile_;
    TChooseFile openSegmentFile_;
    TChooseFile exportCsvFile_;  // none: the system's save dialog
    TChooseFile saveRunFile_;    // none: the system's dialogs
    TChooseFile openRunFile_;
    std::shared_ptr<const TRunDeviceFinder> runDeviceFinder_;  // none: the system's ports
    std::uint64_t shownListingRevision_ = 0;
    double shownTimeFactor_ = 1;
    QString lastHoveredName_;
    QString shownHelp_;
    QPointer<QWidget> shutdownPanel_;
    std::string shownPort_;  // the device whose values the tabs show; "Apply" acts on it
    bool closing_ = false;
    bool closed_ = false;
};

}  // namespace tessaro

// ---------------------------------------------------------------------------------------------

#include <exception>

#include "text/Messages.h"

namespace tessaro {

template <typename Handler>
void TGUIF::Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {  // CoreError and everything else the handlers raise
        ShowMessage(error.what());
    }
}

}  // namespace tessaro
