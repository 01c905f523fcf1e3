#pragma once
// Stands in for the user at the program's message boxes, input box, folder browser and beep:
// records what was asked and answers from queues. Installed for the lifetime of the object.
#include <QString>

#include <deque>
#include <functional>
#include <vector>

#include "app/ui_hooks.h"

class QDialog;
namespace tapwedge::app {
class TPosParaForm;
}

namespace tapwedge_test {

// Runs `answer` on the next visible modal dialog of class `type` (any when empty) once it is open
// (from inside its exec()); gives up after about five seconds.
void AnswerNextDialog(std::function<void(QDialog&)> answer, const char* type = nullptr);
// Clicks the dialog's button of that object name (a test failure when there is none).
void Click(QDialog& dialog, const char* button);
// Answers the password box of "カード設定" with the settings password, then hands the card
// dialog to `answer`.
void AnswerCardDialog(std::function<void(tapwedge::app::TPosParaForm&)> answer);

class UiAnswers {
public:
    UiAnswers();
    ~UiAnswers();
    UiAnswers(const UiAnswers&) = delete;
    UiAnswers& operator=(const UiAnswers&) = delete;

    // Every box shown, in order (the text of each in Texts()).
    std::vector<tapwedge::app::MessageBoxRequest> Boxes;
    std::vector<QString> Texts() const;
    int Beeps = 0;

    // Answers of the Yes/No boxes (kResultYes, kResultNo); No when the queue is empty.
    std::deque<int> YesNo;
    // Entries of the input box; an empty optional-like marker: Cancel. Cancel when empty.
    struct Entry {
        bool Ok = true;
        QString Text;
    };
    std::deque<Entry> Inputs;
    std::vector<QString> InputPrompts;
    // Folders chosen in the browser; a Cancel entry cancels. Cancel when empty.
    std::deque<Entry> Folders;
    std::vector<QString> FolderTitles;
    std::vector<QString> FolderStarts;
};

}  // namespace tapwedge_test
