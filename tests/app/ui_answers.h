#pragma once
// Stands in for the user at the program's message boxes, input box, folder browser and beep:
// records what was asked and answers from queues. Installed for the lifetime of the object.
#include <QString>

#include <deque>
#include <vector>

#include "app/ui_hooks.h"

namespace tapwedge_test {

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
