#include "ui_answers.h"

namespace tapwedge_test {

using namespace tapwedge::app;

UiAnswers::UiAnswers() {
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        Boxes.push_back(request);
        if (!request.YesNo) return kResultOk;
        if (YesNo.empty()) return kResultNo;
        const int answer = YesNo.front();
        YesNo.pop_front();
        return answer;
    });
    SetInputBoxHook([this](const QString&, const QString& prompt, QString& text, int maxLength) {
        InputPrompts.push_back(prompt);
        if (Inputs.empty()) return false;
        const Entry entry = Inputs.front();
        Inputs.pop_front();
        if (!entry.Ok) return false;
        text = entry.Text.left(maxLength);
        return true;
    });
    SetFolderBrowserHook([this](const QString& title, QString& folder) {
        FolderTitles.push_back(title);
        FolderStarts.push_back(folder);
        if (Folders.empty()) return false;
        const Entry entry = Folders.front();
        Folders.pop_front();
        if (!entry.Ok) return false;
        folder = entry.Text;
        return true;
    });
    SetBeepHook([this] { ++Beeps; });
}

UiAnswers::~UiAnswers() {
    SetMessageBoxHook({});
    SetInputBoxHook({});
    SetFolderBrowserHook({});
    SetBeepHook({});
}

std::vector<QString> UiAnswers::Texts() const {
    std::vector<QString> texts;
    for (const auto& box : Boxes) texts.push_back(box.Text);
    return texts;
}

}  // namespace tapwedge_test
