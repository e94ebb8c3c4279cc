// The device list of the main window: one row per device of the registry, the commands'
// targets (the selected rows) and the shown device (the focused row).

#include <QEvent>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include "FlowCurve.h"
#include "Form.h"
#include "engine/DeviceSetup.h"
#include "registry/Brinvale_DeviceInfo.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

enum TDeviceColumn { colPort = 0, colState = 1, colInstrument = 2, colDevice = 3, colNameRole = 4 };

constexpr int kIconSize = 32;

// The diamonds in front of the rows: solid for the focused row, hollow for the other
// selected rows.
QIcon Diamond(bool solid) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 3));
    painter.setBrush(solid ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
    const QPointF corners[] = {{16, 3}, {29, 16}, {16, 29}, {3, 16}};
    painter.drawPolygon(corners, 4);
    return QIcon(pixmap);
}

const QIcon& FocusedIcon() {
    static const QIcon icon = Diamond(true);
    return icon;
}

const QIcon& SelectedIcon() {
    static const QIcon icon = Diamond(false);
    return icon;
}

}  // namespace

void TGUIF::AddDeviceRow(const TDeviceInfo& device) {
    auto* row = new QTreeWidgetItem(ListViewDevices);
    const TDeviceRowTexts texts = DeviceListRow(device);
    for (int column = colPort; column <= colNameRole; ++column)
        row->setText(column, QString::fromStdString(texts[static_cast<std::size_t>(column)]));
}

QTreeWidgetItem* TGUIF::RowOf(const std::string& port) const {
    const QString caption = QString::fromStdString(port);
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        if (row->text(colPort) == caption) return row;
    }
    return nullptr;
}

void TGUIF::SetRowTexts(const TDeviceInfo& device) {
    QTreeWidgetItem* row = RowOf(device.COMPort);
    if (row == nullptr) return;
    const TDeviceRowTexts texts = ShownDeviceListRow(device);
    for (int column : {colState, colDevice, colNameRole})
        row->setText(column, QString::fromStdString(texts[static_cast<std::size_t>(column)]));
}

void TGUIF::SetAllRowsState(const std::string& state) {
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i)
        ListViewDevices->topLevelItem(i)->setText(colState, QString::fromStdString(state));
}

bool TGUIF::GetSelectedDevice(TDeviceInfo& aDev) const {
    const QTreeWidgetItem* focused = ListViewDevices->currentItem();
    return focused != nullptr && FindDevice(focused->text(colPort).toStdString(), aDev);
}

std::vector<std::string> TGUIF::SelectedPorts() const {
    std::vector<std::string> ports;
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        if (row->isSelected()) ports.push_back(row->text(colPort).toStdString());
    }
    return ports;
}

std::optional<std::string> TGUIF::FocusedPort() const {
    const QTreeWidgetItem* focused = ListViewDevices->currentItem();
    if (focused == nullptr) return std::nullopt;
    return focused->text(colPort).toStdString();
}

void TGUIF::ListViewDevicesClick() {
    MarkFocusAndSelection();
    RedrawPlannedCurvesOfSelection();
    TDeviceInfo device;
    if (GetSelectedDevice(device)) {
        DeviceDetailsUI(tdGUI, device);
        FollowSelectionInDesigner(false);
    } else {
        ShowNoDevice();
    }
}

void TGUIF::ShowFocusedDevice() {
    TDeviceInfo device;
    if (GetSelectedDevice(device)) DeviceDetailsUI(tdGUI, device);
}

void TGUIF::MarkFocusAndSelection() {
    const QTreeWidgetItem* focused = ListViewDevices->currentItem();
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        if (row == focused)
            row->setIcon(colPort, FocusedIcon());
        else if (row->isSelected())
            row->setIcon(colPort, SelectedIcon());
        else
            row->setIcon(colPort, QIcon());
    }
}

// The graph shows the planned curves of the selected devices only.
void TGUIF::RedrawPlannedCurvesOfSelection() {
    TDeviceInfo device;
    for (int i = 0; i < ListViewDevices->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListViewDevices->topLevelItem(i);
        const std::string port = row->text(colPort).toStdString();
        if (FindDevice(port, device)) {
            if (PlannedCurve(port) != nullptr) {
                if (row->isSelected())
                    SegmentSerie(device, false);
                else
                    ClearCurve(CurvesOf(port).planned.data());
            }
        }
        DiagLog(kMainFormChannel, "Dev.FlowUnitUser.GasFlowMax: " + FormatGeneral(device.FlowUnitUser.GasFlowMax()));
    }
}

}  // namespace tessaro
