#pragma once
// A small square indicator of the status bar: it shows its on colour while lit and its off
// colour otherwise. Lighting it repaints at once, so that a light held only for the length
// of an engine tick is seen. Its state is also told in words, as its tooltip and to screen
// readers, for those who cannot tell the colours apart.

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

    // What the LED stands for ("COMX Cathode side"), said before its state.
    void SetCaption(const QString& caption);
    // The words of the lit and the unlit state; a fault is always "No reply".
    void SetStateWords(const QString& off, const QString& on);
    // The state in words: "No reply", or the lit or unlit word.
    QString StateText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void TellState();

    bool on_ = false;
    bool fault_ = false;
    QColor onColor_{0, 255, 0};
    QColor offColor_{192, 192, 192};
    QString caption_;
    QString offWords_{"Off"};
    QString onWords_{"On"};
};

}  // namespace tessaro
