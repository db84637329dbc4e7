#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace pelorix
{

// Text from servers, the web service and files is shown as the characters it holds, never read as markup:
// a server named "<b>x</b>" shows those eight characters.

// A label that shows its text as plain text.
QLabel *plainLabel(const QString &text, QWidget *parent);
// A tool tip that shows the text as it is: tool tips guess markup from the text, so text that looks like markup
// goes in escaped.
QString plainToolTip(const QString &text);
// A window title that shows the text as it is: "[*]" in a title is otherwise the place of the modified mark.
QString plainWindowTitle(const QString &text);
// A title that the window system shows empty: an empty title is replaced with the program's name there.
QString blankWindowTitle();

} // namespace pelorix
