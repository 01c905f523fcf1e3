#pragma once
// Event filters that give the controls of the dialogs the events their handlers need: a keystroke
// filter that may replace or drop each character typed into an edit, the same filter for pasted
// text, a handler run when the focus moves on from an edit to another control of its window, and
// one run on a mouse press.
#include <QObject>

#include <functional>

class QEvent;
class QLineEdit;
class QWidget;

namespace tapwedge::app {

// Returns the character to insert, or 0 to drop it (core/key_filters.h, or a form's handler).
using KeyFilterFunction = std::function<char32_t(char32_t)>;

// Filters the characters typed into widget (an edit, or the editable combo box that hands its keys
// to its edit) and the text an input method commits to it, which Japanese input delivers in one
// event, full-width digits included. Input methods are switched off on the widget, so that typing
// reaches it as keys; should an input method's event reach it all the same, its committed text is
// filtered like typed text and text still being composed is not shown. Keys without text
// (arrows), Delete and the control keys pass. The filter belongs to the widget.
void InstallKeyFilter(QWidget* widget, KeyFilterFunction filter);

// The filtering of InstallKeyFilter for a form's own event filter: true when the key press or
// input method event was consumed (dropped, or passed on to target as filtered), false when it
// is to go on unchanged.
bool FilterTypedText(QObject* target, QEvent* event, const KeyFilterFunction& filter);

// What a paste that does not fit within its field's limit does.
enum class TooLongPaste {
    // Nothing changes: a part of it mixed with what was there would be neither.
    Refused,
    // It is shown whole (the edit's maximum length grows to hold it, and goes back to the limit
    // as the text shrinks), so that the dialog's OK can name the field rather than the edit
    // silently cutting the paste short.
    ShownWhole,
};

// Pasting passes no key press: this gives text pasted into edit (the paste keys, the context
// menu's paste item, a middle click) the same filter, so "11 22 33" pastes as "112233" and "ab"
// into a hex field as "AB"; control characters are left out. The paste keys are also taken from
// the editable combo box whose edit it is, which holds the keyboard. maxChars is the field's
// limit (at most the edit's maximum length). Dropping text on the edit is switched off. The
// filter belongs to the edit.
void InstallPasteFilter(QLineEdit* edit, KeyFilterFunction filter, int maxChars,
                        TooLongPaste tooLong);

// Runs onExit whenever edit loses the focus to another control of its window; not when the
// window itself loses activation or a menu opens. The filter belongs to the edit; a window that
// is torn down deletes the returned filter first, so that no handler runs on half-destroyed
// controls when the focus is cleared.
QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit);

// Runs onPress on every mouse button press (and double-click) on widget, before the widget
// handles it. The filter belongs to the widget.
void InstallMousePressHandler(QWidget* widget, std::function<void()> onPress);

}  // namespace tapwedge::app
