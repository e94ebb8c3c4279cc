// The main window for keyboard and screen-reader users: every control is named after its
// caption, help texts become tooltips and descriptions, the status LEDs say their states in
// words and the chart is described by its devices' planned and achieved flows.

#include "FormAccessibility.h"

#include <qcustomplot.h>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <utility>

#include "Form.h"
#include "HelpTexts.h"
#include "NumberEdit.h"
#include "StatusLed.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {

namespace {

// Controls that no label captions, and the names they are read by.
const std::pair<const char*, const char*> kUncaptionedNames[] = {
    {"ListViewDevices", "Devices"},
    {"ListViewSegmentProgram", "Segment program"},
    {"MemoMain", "Log"},
    {"MemoData", "Data table"},
    {"MemoSegments", "Segment program listing"},
    {"DzHTMLTextTips", "Help"},
    {"MemoMixDesigner", "Designed mixture"},
    {"RtGraph2DMain", "Flow chart"},
    {"ScrollBarChartTime", "Chart time"},
    {"ScrollBarChartFlow", "Chart flow"},
};

bool IsControlKind(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) != nullptr ||
           qobject_cast<const QLineEdit*>(widget) != nullptr || qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
           qobject_cast<const QTextEdit*>(widget) != nullptr || qobject_cast<const QAbstractSlider*>(widget) != nullptr;
}

// Qt's own parts of its widgets (a spin box's text field, a scroll area's scroll bars) are
// named "qt_..." and speak for themselves.
bool IsQtHelper(const QWidget* widget) { return widget != nullptr && widget->objectName().startsWith("qt_"); }

// The label whose buddy `control` is.
const QLabel* CaptionLabelOf(const QWidget* control) {
    const QWidget* parent = control->parentWidget();
    if (parent == nullptr) return nullptr;
    for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (label->buddy() == control) return label;
    return nullptr;
}

// Buttons, radio buttons and check boxes are read by the text they show. Qt reads it when no
// name is set, and keeps reading it when the text changes (the segment type button).
bool IsNamedByItsText(const QWidget* control) {
    const auto* button = qobject_cast<const QAbstractButton*>(control);
    return button != nullptr && !button->text().isEmpty();
}

QString GroupTitleOf(const QWidget* control) {
    const auto* group = qobject_cast<const QGroupBox*>(control->parentWidget());
    return group == nullptr ? QString() : AccessibleCaption(group->title());
}

QString NameOf(const QWidget* control) {
    if (IsNamedByItsText(control)) return QString();
    if (const QLabel* caption = CaptionLabelOf(control)) return AccessibleCaption(caption->text());
    for (const auto& [name, shown] : kUncaptionedNames)
        if (control->objectName() == QLatin1String(name)) return shown;
    if (const QString title = GroupTitleOf(control); !title.isEmpty()) return title;
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->placeholderText();
    return QString();
}

// The chart's object for screen readers: its description is read when asked, so it is never
// older than the last reading.
class ChartAccessible : public QAccessibleWidget {
public:
    explicit ChartAccessible(QWidget* chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Description)
            if (const auto* form = qobject_cast<const TGUIF*>(widget()->window())) return form->ChartSummary();
        return QAccessibleWidget::text(which);
    }
};

// A caption with help of its own: its field may show other help (the fluid lists do), so
// the caption tells its own as well.
void DescribeCaption(QLabel* caption) {
    const QString markup = HelpTextFor(caption->objectName());
    if (markup == kDefaultHelp) return;
    caption->setAccessibleDescription(HelpPlainText(markup));
    if (caption->toolTip().isEmpty()) caption->setToolTip(HelpMarkupToRichText(markup));
}

QAccessibleInterface* ChartInterface(const QString& className, QObject* object) {
    auto* chart = qobject_cast<QCustomPlot*>(object);
    if (chart == nullptr || className != QLatin1String(QCustomPlot::staticMetaObject.className())) return nullptr;
    return new ChartAccessible(chart);
}

}  // namespace

QString AccessibleCaption(const QString& caption) {
    QString name;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        name += caption[i];
    }
    name = name.trimmed();
    if (name.endsWith(':')) name.chop(1);
    return name.trimmed();
}

QString HelpPlainText(const QString& markup) {
    QTextDocument document;
    document.setHtml(HelpMarkupToRichText(markup));
    return document.toPlainText().simplified();
}

bool IsAccessibleControl(const QWidget* widget) {
    if (!IsControlKind(widget) || IsQtHelper(widget) || IsQtHelper(widget->parentWidget())) return false;
    for (const QWidget* above = widget->parentWidget(); above != nullptr; above = above->parentWidget())
        if (IsControlKind(above)) return false;
    return true;
}

void InstallChartAccessibility() { QAccessible::installFactory(ChartInterface); }

// --- The window ---------------------------------------------------------------------------------

void TGUIF::MakeAccessible() {
    for (QWidget* widget : findChildren<QWidget*>())
        if (IsAccessibleControl(widget)) DescribeControl(widget);
    for (QLabel* caption : findChildren<QLabel*>()) DescribeCaption(caption);
    DescribeControl(RtGraph2DMain);
    if (ActivityLed) {
        ActivityLed->SetCaption("Engine");
        ActivityLed->SetStateWords("Idle", "Busy");
    }
}

void TGUIF::DescribeControl(QWidget* control) {
    // Controls made later (the designer's) get the help on hover and focus as well.
    control->installEventFilter(this);
    if (control->accessibleName().isEmpty()) control->setAccessibleName(NameOf(control));
    const QString markup = HelpMarkupOf(control);
    if (markup == kDefaultHelp) {
        // Without help, a button still tells the group it belongs to.
        if (IsNamedByItsText(control) && control->accessibleDescription().isEmpty())
            control->setAccessibleDescription(GroupTitleOf(control));
        return;
    }
    if (auto* number = qobject_cast<TNumberEdit*>(control)) {
        number->SetHelp(HelpPlainText(markup));
        return;
    }
    control->setAccessibleDescription(HelpPlainText(markup));
    if (control->toolTip().isEmpty()) control->setToolTip(HelpMarkupToRichText(markup));
}

QString TGUIF::HelpMarkupOf(const QWidget* control) const {
    if (control == ComboBoxFlowUnitPredefined) return kFlowUnitReferenceHelp;
    if (control == ComboBoxDeviceFluid || control == ComboBoxDeviceFluidPump) return kFluidListHelp;
    for (const QWidget* area = control; area != nullptr && area != this; area = area->parentWidget()) {
        for (const QWidget* named : {area, static_cast<const QWidget*>(CaptionLabelOf(area))}) {
            if (named == nullptr) continue;
            const QString text = HelpTextFor(named->objectName());
            if (text != kDefaultHelp) return text;
        }
    }
    return kDefaultHelp;
}

void TGUIF::DescribeDeviceLed(const TDeviceInfo& device) {
    for (const QPointer<TLed>& led : deviceLeds_) {
        if (!led || led.data() != device.Led) continue;
        led->SetCaption(QString::fromStdString(device.COMPort + " " + device.NameRole).trimmed());
        led->SetStateWords("Connected", "Reading");
    }
}

QString TGUIF::ChartSummary() const { return QString::fromStdString(engine_->ChartSummary()); }

}  // namespace tessaro
