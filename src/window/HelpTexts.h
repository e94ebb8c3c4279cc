#pragma once
// The texts of the help pane and the small mark-up they are written in: <B> bold, <BC:#rrggbb>
// background colour, <BR> line break, <SUB> subscript, <LINE:width=...> a rule and
// <div:...> a framed box (boxes that follow each other sit side by side).

#include <QString>
#include <QStringList>

namespace tessaro {

// Shown for a control the table has no text for.
extern const char* const kDefaultHelp;
// Shown when the pointer enters the list of reference conditions of the flow unit group.
extern const char* const kFlowUnitReferenceHelp;
// Shown when the pointer enters either fluid list of the Configure tab.
extern const char* const kFluidListHelp;

// The help text of a control by its name; kDefaultHelp when it has none.
QString HelpTextFor(const QString& controlName);
// The names of the controls the help table has a text for, in the table's order (the
// designer's fields, named by a common part, are not among them).
QStringList HelpTableControlNames();

// The mark-up turned into Qt rich text; anything else in the text is shown as written.
QString HelpMarkupToRichText(const QString& markup);

}  // namespace tessaro
