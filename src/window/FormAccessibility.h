#pragma once
// What the main window tells screen readers: the names its controls are read by, the help
// texts as plain descriptions, and the chart's accessible object.

#include <QString>

class QWidget;

namespace tessaro {

// A caption as the name of the control it labels: without the "&" that marks its key ("&&"
// is one "&") and without a trailing colon.
QString AccessibleCaption(const QString& caption);

// A help text (HelpTexts' mark-up) as plain text on one line.
QString HelpPlainText(const QString& markup);

// Whether assistive technology reads `widget` as a control of its own: buttons, text and
// number fields, lists, tables, text views and sliders, but not the parts they are made of.
bool IsAccessibleControl(const QWidget* widget);

// Charts of the main window describe themselves with TGUIF::ChartSummary(). Installed before
// the first chart is made, as Qt keeps the description object it made first.
void InstallChartAccessibility();

}  // namespace tessaro
