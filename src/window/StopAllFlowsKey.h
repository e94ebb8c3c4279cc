#pragma once
// The key of "Stop all flows", heard in every window of the program. A window shortcut would
// be silent while a message box or a file dialog is modal, as Qt blocks the windows behind it;
// a filter on the application sees each key press before any window does.

#include <QKeySequence>
#include <QObject>
#include <functional>

namespace tessaro {

class TStopAllFlowsKey : public QObject {
public:
    // Installs itself on the application; `stop` runs for each press of `key` (a held key's
    // repeats are not presses), which no window receives then.
    TStopAllFlowsKey(const QKeySequence& key, std::function<void()> stop, QObject* parent);
    ~TStopAllFlowsKey() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QKeySequence key_;
    std::function<void()> stop_;
};

}  // namespace tessaro
