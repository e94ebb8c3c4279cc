#include "NumberEdit.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include "text/NumberFormat.h"

namespace tessaro {

namespace {

// Longer texts are no number anyone types; they are not taken at all.
constexpr int kLongestText = 64;
constexpr const char* kRefusedStyle = "TNumberEdit { border: 2px solid #D00000; }";

}  // namespace

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 128) return static_cast<char>(point[0].unicode());
    return '.';
}

TNumberEdit::TNumberEdit(QWidget* parent) : QDoubleSpinBox(parent) {
    connect(lineEdit(), &QLineEdit::textChanged, this, &TNumberEdit::ShowAcceptance);
}

void TNumberEdit::SetAllowedRange(double minimum, double maximum, bool minimumExcluded) {
    minimumExcluded_ = minimumExcluded;
    setRange(minimum, maximum);
    ShowAcceptance();
}

TNumberRange TNumberEdit::AllowedRange() const { return {minimum(), maximum(), minimumExcluded_}; }

bool TNumberEdit::HasAcceptableText() const { return NumberInRange(text().toStdString(), AllowedRange()).has_value(); }

QString TNumberEdit::RefusalMessage() const {
    const QString caption = caption_.isEmpty() ? objectName() : caption_;
    return QString::fromStdString(RefusedFieldMessage(caption.toStdString(), AllowedRange(), LocaleDecimalSeparator()));
}

QString TNumberEdit::textFromValue(double value) const {
    return QString::fromStdString(FormatGeneral(value, LocaleDecimalSeparator()));
}

double TNumberEdit::valueFromText(const QString& text) const {
    const std::optional<double> number = NumberInRange(text.toStdString(), AllowedRange());
    return number ? *number : this->value();
}

QValidator::State TNumberEdit::validate(QString& text, int&) const {
    if (text.size() > kLongestText) return QValidator::Invalid;
    // Anything else stays as typed: a refused text is shown as refused, never replaced.
    return NumberInRange(text.toStdString(), AllowedRange()) ? QValidator::Acceptable : QValidator::Intermediate;
}

void TNumberEdit::fixup(QString&) const {}

void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    // The spin box would put the last valid value back, which would then be used as if it
    // had been typed.
    if (HasAcceptableText())
        QDoubleSpinBox::focusOutEvent(event);
    else
        QWidget::focusOutEvent(event);
}

void TNumberEdit::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !HasAcceptableText()) {
        event->accept();
        return;
    }
    QDoubleSpinBox::keyPressEvent(event);
}

void TNumberEdit::SetHelp(const QString& help) {
    help_ = help;
    ShowAcceptance();
}

void TNumberEdit::ShowAcceptance() {
    if (isReadOnly()) return;
    const QString allowed = QString::fromStdString(RangeText(AllowedRange(), LocaleDecimalSeparator()));
    const bool refused = !HasAcceptableText();
    const QString state = refused ? "Not a number " + allowed : "Allowed: " + allowed;
    setStyleSheet(refused ? kRefusedStyle : QString());
    setToolTip(help_.isEmpty() ? state : state + "\n" + help_);
    setAccessibleDescription(refused ? state : help_);
    // Screen readers hear of every change of the description; a text that has just become
    // refused is announced as an alert as well.
    if (refused && !refusalShown_) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
    refusalShown_ = refused;
}

}  // namespace tessaro
