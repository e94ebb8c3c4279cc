#pragma once
// Small constructors of named widgets shared by the parts of the main window.

#include <QObject>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QString;
class QWidget;

namespace tessaro {

class TNumberEdit;

// A read-only text view in a fixed-pitch font with both scroll bars, for columned texts.
QPlainTextEdit* NewTextView(const char* name, QWidget* parent);
QLabel* NewLabel(const char* name, const QString& caption, QWidget* parent);
QLineEdit* NewLineEdit(const char* name, const QString& text, QWidget* parent);
QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent);
// Decimals for a field whose value is set from a stored or computed number: a spin box
// rounds every value it is given to its decimals, and this many keep a double's digits.
inline constexpr int kKeepEveryDecimal = 15;
// A number field with bounds and the number of decimals it keeps.
TNumberEdit* NewNumberEdit(const char* name, double minimum, double maximum, double value, int decimals,
                           QWidget* parent);
// A number shown only.
TNumberEdit* NewNumberDisplay(const char* name, QWidget* parent);
// A selection-only drop-down list in a fixed-pitch font showing 30 rows when open.
QComboBox* NewFixedPitchList(const char* name, QWidget* parent);

// The flow unit group's list of published reference conditions; row 0 is its header, row 1
// the mass unit (kPredefinedGramsRow).
void FillPredefinedReferenceConditions(QComboBox* list);

// Adds "caption: field" as one row of a grid; the caption follows the field's visibility.
QLabel* AddCaptionedRow(QGridLayout* grid, int row, const char* captionName, const QString& caption, QWidget* field,
                        int columnSpan = 1);

}  // namespace tessaro
