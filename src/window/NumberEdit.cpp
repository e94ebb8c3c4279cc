#include "NumberEdit.h"

#include <QLocale>
#include <cmath>

#include "segments/SegmentProgram.h"
#include "text/Errors.h"
#include "text/NumberFormat.h"

namespace tessaro {

namespace {

bool ReadNumber(const QString& text, double& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return false;
    try {
        value = StrToFloatAnySeparator(trimmed.toStdString());
    } catch (const ConversionError&) {
        return false;
    }
    return std::isfinite(value);
}

// What a number may look like while it is being typed.
bool IsPartialNumber(const QString& text) {
    for (const QChar c : text)
        if (!c.isDigit() && c != '.' && c != ',' && c != '-' && c != '+' && c != ' ') return false;
    return true;
}

}  // namespace

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 128) return static_cast<char>(point[0].unicode());
    return '.';
}

TNumberEdit::TNumberEdit(QWidget* parent) : QDoubleSpinBox(parent) {}

QString TNumberEdit::textFromValue(double value) const {
    return QString::fromStdString(FormatGeneral(value, LocaleDecimalSeparator()));
}

double TNumberEdit::valueFromText(const QString& text) const {
    double value = 0;
    return ReadNumber(text, value) ? value : this->value();
}

QValidator::State TNumberEdit::validate(QString& text, int&) const {
    double value = 0;
    if (ReadNumber(text, value))
        return value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
    return IsPartialNumber(text) ? QValidator::Intermediate : QValidator::Invalid;
}

}  // namespace tessaro
