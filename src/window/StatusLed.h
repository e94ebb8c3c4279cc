#pragma once
// A small square indicator of the status bar: it shows its on colour while lit and its off
// colour otherwise. Lighting it repaints at once, so that a light held only for the length
// of an engine tick is seen.

#include <QColor>
#include <QWidget>

namespace tessaro {

class TLed : public QWidget {
    Q_OBJECT

public:
    explicit TLed(QWidget* parent = nullptr);

    void SetOn(bool on);
    bool IsOn() const { return on_; }
    // A faulty device's LED is red whether lit or not.
    void SetFault(bool fault);
    bool IsFault() const { return fault_; }
    void SetOnColor(const QColor& color);
    void SetOffColor(const QColor& color);
    QColor OnColor() const { return onColor_; }
    QColor OffColor() const { return offColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_ = false;
    bool fault_ = false;
    QColor onColor_{0, 255, 0};
    QColor offColor_{192, 192, 192};
};

}  // namespace tessaro
