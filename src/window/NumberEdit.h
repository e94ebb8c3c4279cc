#pragma once
// A number field that shows its value the way the operator reads numbers elsewhere in the
// program: the shortest exact form with the locale's decimal separator ("20", "1.01325",
// "45.80748"), and that accepts either separator when typed.
//
// A text that is not a number within the field's range stays as typed, and the field says
// so at once: a red frame and a tooltip with the allowed range, and to screen readers an
// alert and the refusal as the field's description. value() keeps the last valid number, so
// a command that uses the field asks HasAcceptableText() first and refuses.

#include <QDoubleSpinBox>

#include "engine/FieldInput.h"

namespace tessaro {

// The separator the operator's locale writes between whole and decimal digits; '.' when the
// locale's separator is not a single ASCII character.
char LocaleDecimalSeparator();

class TNumberEdit : public QDoubleSpinBox {
    Q_OBJECT

public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    // The bounds; with `minimumExcluded` the minimum itself is refused.
    void SetAllowedRange(double minimum, double maximum, bool minimumExcluded = false);
    TNumberRange AllowedRange() const;
    // The caption the field is known by in messages ("Setpoint, %").
    void SetCaption(const QString& caption) { caption_ = caption; }
    const QString& Caption() const { return caption_; }
    // A plain help text shown in the tooltip below the allowed range, and the field's
    // description while its text is accepted.
    void SetHelp(const QString& help);

    // Whether the text shown is a number within the range.
    bool HasAcceptableText() const;
    // The message that refuses the field's text.
    QString RefusalMessage() const;

    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowAcceptance();

    bool minimumExcluded_ = false;
    bool refusalShown_ = false;
    QString caption_;
    QString help_;
};

}  // namespace tessaro
