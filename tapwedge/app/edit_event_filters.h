#pragma once
// Event filters that give the controls of the dialogs the events their handlers need: a keystroke
// filter that may replace or drop each character typed into an edit, a handler run when the focus
// moves on from an edit to another control of its window, and one run on a mouse press.
#include <QObject>

#include <functional>

class QLineEdit;
class QWidget;

namespace tapwedge::app {

// Gets the typed character and replaces it with the one to insert, or with 0 to drop it.
using KeyFilterFunction = std::function<void(char32_t& key)>;

// Filters the characters typed into edit. Input methods are switched off on it, so that composed
// text cannot pass around the filter. Keys without text (arrows, Delete) pass. The filter belongs
// to the edit.
void InstallKeyFilter(QLineEdit* edit, KeyFilterFunction filter);

// Runs onExit whenever edit loses the focus to another control of its window; not when the
// window itself loses activation or a menu opens. The filter belongs to the edit; a window that
// is torn down deletes the returned filter first, so that no handler runs on half-destroyed
// controls when the focus is cleared.
QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit);

// Runs onPress on every mouse button press (and double-click) on widget, before the widget
// handles it. The filter belongs to the widget.
void InstallMousePressHandler(QWidget* widget, std::function<void()> onPress);

}  // namespace tapwedge::app
