#pragma once
// Pastes the clipboard into an edit as a user does, by each way the offscreen platform offers: the
// paste keys and the edit's own context menu (a middle click needs a platform with a selection).
#include <QString>

#include <vector>

class QLineEdit;

namespace tapwedge_test {

struct PasteWay {
    const char* name;
    void (*paste)(QLineEdit* edit);  // records a test failure when the way is not there
};

// Ctrl+V, Shift+Insert and the context menu's paste item.
const std::vector<PasteWay>& PasteWays();

// Puts text on the clipboard, selects all of edit (when selectAll) and pastes by way.
void Paste(QLineEdit* edit, const QString& text, const PasteWay& way, bool selectAll = true);

}  // namespace tapwedge_test
