// The help pane of the main window: the pointer entering a control shows that control's
// help text, and so does a control getting the keyboard focus. Also the key handling of the device list, which shares
// the window's filter.

#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>
#include <QTextBrowser>
#include <QTreeWidget>

#include "Form.h"
#include "HelpTexts.h"
#include "NumberEdit.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

void TGUIF::InstallHoverHelp() {
    for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);
}

bool TGUIF::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                QWidget* control = HelpControlFor(widget);
                if (control == ComboBoxFlowUnitPredefined)
                    ComboBoxFlowUnitPredefinedMouseEnter();
                else if (control == ComboBoxDeviceFluid || control == ComboBoxDeviceFluidPump)
                    ComboBoxDeviceFluidMouseEnter();
                else
                    ShowHelp(control);
            }
            break;
        case QEvent::FocusIn:
            // Keyboard users get the help, warnings included, as the pointer's users do.
            if (auto* widget = qobject_cast<QWidget*>(watched)) ShowHelpText(HelpMarkupOf(HelpControlFor(widget)));
            break;
        case QEvent::MouseButtonRelease:
            if (watched == ListViewSegmentProgram->viewport()) {
                const auto* release = static_cast<QMouseEvent*>(event);
                Guarded([&] { ListViewSegmentProgramMouseUp(release->button(), release->globalPosition().toPoint()); });
            }
            break;
        case QEvent::KeyRelease:
            if (watched == ListViewDevices) Guarded([this] { ListViewDevicesClick(); });
            if (watched == RtDoubleEditDesignMixTime) Guarded([this] { RtDoubleEditDesignMixTimeKeyUp(); });
            if (auto* field = qobject_cast<TNumberEdit*>(watched);
                field != nullptr && field->objectName().startsWith("DoubleEditDynamic_"))
                Guarded([this, field] { RtDoubleEditDynamicKeyUp(field); });
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The parts a widget is made of (a spin box's text field, a list's viewport) carry no name
// of their own or one of Qt's; the help belongs to the control they are part of.
QWidget* TGUIF::HelpControlFor(QWidget* widget) const {
    while (widget != nullptr && widget != this &&
           (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")))
        widget = widget->parentWidget();
    return widget;
}

void TGUIF::ShowHelp(QObject* Sender) {
    const auto* control = qobject_cast<const QWidget*>(Sender);
    if (control == nullptr) return;
    lastHoveredName_ = control->objectName();
    ShowHelpText(HelpTextFor(lastHoveredName_));
}

void TGUIF::ComboBoxFlowUnitPredefinedMouseEnter() { ShowHelpText(kFlowUnitReferenceHelp); }

void TGUIF::ComboBoxDeviceFluidMouseEnter() { ShowHelpText(kFluidListHelp); }

void TGUIF::ShowHelpText(const QString& markup) {
    // The pointer crosses many controls with the same text; the pane is set only on a change.
    if (markup == shownHelp_) return;
    shownHelp_ = markup;
    DzHTMLTextTips->setHtml(HelpMarkupToRichText(markup));
}

}  // namespace tessaro
