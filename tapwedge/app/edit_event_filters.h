#pragma once
// Event filters that give an edit box the key and leave events of the dialogs: a keystroke filter
// that may replace or drop each typed character, and a handler run when the focus moves on from
// the edit to another control of its window.
#include <QObject>

#include <functional>

class QLineEdit;

namespace tapwedge::app {

// Returns the character to insert, or 0 to drop it (core/key_filters.h).
using KeyFilterFunction = char32_t (*)(char32_t);

// Filters the characters typed into edit. Input methods are switched off on it, so that composed
// text cannot pass around the filter. Keys without text (arrows, Delete) pass. The filter belongs
// to the edit.
void InstallKeyFilter(QLineEdit* edit, KeyFilterFunction filter);

// Runs onExit whenever edit loses the focus to another control of its window; not when the
// window itself loses activation or a menu opens. The filter belongs to the edit; a window that
// is torn down deletes the returned filter first, so that no handler runs on half-destroyed
// controls when the focus is cleared.
QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit);

}  // namespace tapwedge::app
