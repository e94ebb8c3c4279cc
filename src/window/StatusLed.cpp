#include "StatusLed.h"

#include <QPainter>

namespace tessaro {

TLed::TLed(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    TellState();
}

void TLed::SetOn(bool on) {
    if (on_ == on) return;
    on_ = on;
    TellState();
    if (isVisible()) repaint();
}

void TLed::SetFault(bool fault) {
    if (fault_ == fault) return;
    fault_ = fault;
    TellState();
    update();
}

void TLed::SetCaption(const QString& caption) {
    caption_ = caption;
    TellState();
}

void TLed::SetStateWords(const QString& off, const QString& on) {
    offWords_ = off;
    onWords_ = on;
    TellState();
}

QString TLed::StateText() const {
    if (fault_) return "No reply";
    return on_ ? onWords_ : offWords_;
}

void TLed::TellState() {
    const QString state = StateText();
    const QString said = caption_.isEmpty() ? state : caption_ + ": " + state;
    setAccessibleName(said);
    setAccessibleDescription(state);
    setToolTip(said);
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
