#pragma once
// The maximum length of an edit as a form designer means it: a limit on what the user types,
// not on what the program shows. QLineEdit::setText cuts a text to maxLength; an edit limited
// here shows a longer text of the program whole (its maximum length grows for it), and the user
// may then only shorten that text, never make it longer than the limit again.
#include <QString>

class QLineEdit;

namespace tapwedge::app {

// Limits what the user types or pastes into edit to maxLength characters.
void LimitTyping(QLineEdit* edit, int maxLength);

// Shows text whole in edit, whatever its typing limit.
void ShowWholeText(QLineEdit* edit, const QString& text);

}  // namespace tapwedge::app
