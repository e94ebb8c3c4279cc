#include "StatusLed.h"

#include <QPainter>

namespace tessaro {

TLed::TLed(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent, false); }

void TLed::SetOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    if (isVisible()) repaint();
}

void TLed::SetFault(bool fault) {
    if (fault_ == fault) return;
    fault_ = fault;
    update();
}

void TLed::SetOnColor(const QColor& color) {
    onColor_ = color;
    update();
}

void TLed::SetOffColor(const QColor& color) {
    offColor_ = color;
    update();
}

void TLed::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    static const QColor kFaultColor(255, 0, 0);
    painter.fillRect(rect(), fault_ ? kFaultColor : on_ ? onColor_ : offColor_);
}

}  // namespace tessaro
