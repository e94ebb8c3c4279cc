#include "StopAllFlowsKey.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <utility>

namespace tessaro {

TStopAllFlowsKey::TStopAllFlowsKey(const QKeySequence& key, std::function<void()> stop, QObject* parent)
    : QObject(parent), key_(key), stop_(std::move(stop)) {
    QCoreApplication::instance()->installEventFilter(this);
}

TStopAllFlowsKey::~TStopAllFlowsKey() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool TStopAllFlowsKey::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* press = static_cast<const QKeyEvent*>(event);
    if (QKeySequence(press->keyCombination()) != key_) return QObject::eventFilter(watched, event);
    // Taken here, so the window and then the widget with the focus do not get it once more.
    if (!press->isAutoRepeat()) stop_();
    return true;
}

}  // namespace tessaro
