// What operators expect of any desktop program: one control that stops every flow from
// anywhere, Quit and About, menus opened from the keyboard and a Tab order that follows the
// fields as they are read.

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QtGlobal>
#include <iterator>

#include "ColorPickCombo.h"
#include "Form.h"
#include "NumberEdit.h"
#include "StopAllFlowsKey.h"

#ifndef TESSARO_VERSION
#error "TESSARO_VERSION comes from the project's version"
#endif

namespace tessaro {

namespace {

// The letter that opens each menu together with Alt, by the menu's object name.
struct TMenuKey {
    const char* Menu;
    char Letter;
};
constexpr TMenuKey kMenuKeys[] = {
    {"File1", 'F'}, {"Preferences1", 'P'}, {"Data1", 'D'}, {"Devices1", 'V'}, {"Help1", 'H'}};

}  // namespace

void TGUIF::ButtonStopAllFlowsClick() { engine_->StopAllFlows(); }

void TGUIF::AboutTessaro1Click() {
    auto* box = new QMessageBox(QMessageBox::Information, "About Tessaro", AboutText(), QMessageBox::Ok, this);
    box->setObjectName("AboutBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QString TGUIF::AboutText() const {
    return QString(
               "Tessaro %1\n\nControl program of the gas-delivery rig.\n\nSegment programs and log files are kept "
               "in %2\n\nQt %3")
        .arg(TESSARO_VERSION, QString::fromStdU16String(engine_->Settings().DataFolder.u16string()), qVersion());
}

void TGUIF::BuildHelpMenu() {
    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("Help1");
    AddMenuEntry(help, "AboutTessaro1", "About Tessaro");
}

void TGUIF::InstallMenuKeys() {
    QMenuBar* bar = menuBar();
    for (const TMenuKey& key : kMenuKeys) {
        auto* menu = bar->findChild<QMenu*>(key.Menu);
        if (menu == nullptr) continue;
        auto* shortcut = new QShortcut(QKeySequence(QString("Alt+%1").arg(QChar(key.Letter))), this);
        shortcut->setObjectName(QString("Shortcut") + key.Menu);
        connect(shortcut, &QShortcut::activated, bar, [bar, menu] { bar->setActiveAction(menu->menuAction()); });
    }
}

void TGUIF::InstallStopAllFlowsKey() {
    connect(ButtonStopAllFlows, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonStopAllFlowsClick(); }); });
    // Heard in every window, modal boxes and dialogs included; it only changes records, so it
    // never waits for an instrument.
    auto* key = new TStopAllFlowsKey(
        QKeySequence::fromString(kStopAllFlowsKey), [this] { Guarded([this] { ButtonStopAllFlowsClick(); }); }, this);
    key->setObjectName("StopAllFlowsKey");
}

}  // namespace tessaro

namespace tessaro {

void TGUIF::SetTabOrders() {
    // "Apply" takes every field of the Configure page, the groups beside the device fields
    // included, so Tab reaches it last; hidden fields are passed over.
    QWidget* const configureOrder[] = {EditDeviceName,
                                       EditDeviceType,
                                       RtColorPickComboDeviceColor,
                                       ComboBoxDeviceFluid,
                                       ComboBoxDeviceFluidPump,
                                       RtDoubleEditSyringeSize,
                                       RtDoubleEditFluidTemperature,
                                       EditFlowUnitName,
                                       ComboBoxFlowUnitPredefined,
                                       EditFlowUnitTemperatureC,
                                       EditFlowUnitPressureBar,
                                       ButtonApplyConfiguration};
    for (std::size_t i = 1; i < std::size(configureOrder); ++i)
        QWidget::setTabOrder(configureOrder[i - 1], configureOrder[i]);
}

}  // namespace tessaro
