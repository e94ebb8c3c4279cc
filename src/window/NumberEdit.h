#pragma once
// A number field that shows its value the way the operator reads numbers elsewhere in the
// program: the shortest exact form with the locale's decimal separator ("20", "1.01325",
// "45.80748"), and that accepts either separator when typed.

#include <QDoubleSpinBox>

namespace tessaro {

// The separator the operator's locale writes between whole and decimal digits; '.' when the
// locale's separator is not a single ASCII character.
char LocaleDecimalSeparator();

class TNumberEdit : public QDoubleSpinBox {
    Q_OBJECT

public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;
};

}  // namespace tessaro
