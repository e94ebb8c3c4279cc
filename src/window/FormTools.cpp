// The "Tools" page, the device search menu command, and the progress panel the window shows
// while a search or a tool runs.

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "Form.h"
#include "discovery/DeviceSearch.h"
#include "discovery/MaintenanceTools.h"

namespace tessaro {

namespace {

constexpr const char* kToolsText =
    "<p>These tools apply only to one device at a time. </p>"
    "<p>Furthermore, using these will make the device and the software <B>unresponsive</B> until the commanded task "
    "finishes, so these tools are not to be used under normal situations i.e. when segment programs are "
    "performing.</p>"
    "<p>Instead, use only in a dedicated situation, for setup, maintenance, configuration, debugging or testing.</p>";

QPushButton* NewButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

QWidget* TGUIF::BuildToolsTab() {
    auto* page = new QWidget(PageControlMain);
    auto* layout = new QVBoxLayout(page);

    auto* text = new QLabel(kToolsText, page);
    text->setObjectName("LabelToolsInfo");
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* prime = new QGroupBox("Prime pump", page);
    prime->setObjectName("GroupBoxPrimePump");
    auto* primeLayout = new QHBoxLayout(prime);
    auto* loopsLabel = new QLabel("Loops", prime);
    loopsLabel->setObjectName("LabelPrimeLoops");
    SpinEditPrimeLoops = new QSpinBox(prime);
    SpinEditPrimeLoops->setObjectName("SpinEditPrimeLoops");
    SpinEditPrimeLoops->setRange(kMinPrimingLoops, kMaxPrimingLoops);
    SpinEditPrimeLoops->setValue(kMinPrimingLoops);
    loopsLabel->setBuddy(SpinEditPrimeLoops);
    ButtonPrimePump = NewButton("BitBtn10", "Start pump priming loops", prime);
    primeLayout->addWidget(loopsLabel);
    primeLayout->addWidget(SpinEditPrimeLoops);
    primeLayout->addWidget(ButtonPrimePump);
    primeLayout->addStretch(1);
    layout->addWidget(prime);

    auto* buttons = new QHBoxLayout();
    ButtonChangeSyringe = NewButton("BitBtn9", "Change pump syringe", page);
    ButtonDeviceInitialize = NewButton("BitBtn11", "Initialize selected device", page);
    buttons->addWidget(ButtonChangeSyringe);
    buttons->addWidget(ButtonDeviceInitialize);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    return page;
}

QWidget* TGUIF::BuildOperationPanel() {
    PanelOperation = new QWidget(this);
    PanelOperation->setObjectName("PanelOperation");
    auto* layout = new QHBoxLayout(PanelOperation);
    layout->setContentsMargins(4, 0, 4, 0);
    LabelOperation = new QLabel(PanelOperation);
    LabelOperation->setObjectName("LabelOperation");
    ProgressBarOperation = new QProgressBar(PanelOperation);
    ProgressBarOperation->setObjectName("ProgressBarOperation");
    ProgressBarOperation->setFormat("%v of %m");
    ProgressBarOperation->setMaximumWidth(260);
    layout->addWidget(LabelOperation, 1);
    layout->addWidget(ProgressBarOperation);
    PanelOperation->hide();
    return PanelOperation;
}

void TGUIF::ConnectTools() {
    connect(ButtonPrimePump, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonPrimePumpClick(); }); });
    connect(ButtonChangeSyringe, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonChangeSyringeClick(); }); });
    connect(ButtonDeviceInitialize, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonDeviceInitializeClick(); }); });
}

void TGUIF::Searchdevices1Click() { search_->Searchdevices1Click(); }

void TGUIF::ButtonPrimePumpClick() { tools_->ButtonPrimePumpClick(FocusedPort(), SpinEditPrimeLoops->value()); }

void TGUIF::ButtonChangeSyringeClick() { tools_->ButtonChangeSyringeClick(FocusedPort()); }

void TGUIF::ButtonDeviceInitializeClick() { tools_->ButtonDeviceInitializeClick(FocusedPort()); }

// Only the menus and the areas refuse input: the window keeps painting, and the progress
// panel below them stays readable.
void TGUIF::BeginOperation(const std::string& caption) {
    menuBar()->setEnabled(false);
    SplitterAreas->setEnabled(false);
    LabelOperation->setText(QString::fromStdString(caption));
    ProgressBarOperation->setRange(0, 0);  // busy until the first progress
    PanelOperation->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

void TGUIF::OperationProgress(const std::string& step, int done, int total) {
    LabelOperation->setText(QString::fromStdString(step));
    ProgressBarOperation->setRange(0, total);
    ProgressBarOperation->setValue(done);
}

void TGUIF::EndOperation() {
    PanelOperation->hide();
    menuBar()->setEnabled(true);
    SplitterAreas->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void TGUIF::ShowDeviceRows(const std::vector<TDeviceRowTexts>& rows) {
    ListViewDevices->clear();
    for (const TDeviceRowTexts& texts : rows) {
        auto* row = new QTreeWidgetItem(ListViewDevices);
        for (std::size_t column = 0; column < texts.size(); ++column)
            row->setText(static_cast<int>(column), QString::fromStdString(texts[column]));
    }
}

}  // namespace tessaro
