#include "ui_answers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include "app/card_param_form.h"

namespace tapwedge_test {

using namespace tapwedge::app;

void AnswerNextDialog(std::function<void(QDialog&)> answer, const char* type) {
    auto poll = std::make_shared<std::function<void(int)>>();
    *poll = [answer, type, poll](int triesLeft) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible() &&
            (type == nullptr || dialog->inherits(type))) {
            answer(*dialog);
        } else if (triesLeft > 0) {
            QTimer::singleShot(10, [poll, triesLeft] { (*poll)(triesLeft - 1); });
            return;
        }
        *poll = nullptr;  // breaks the cycle
    };
    QTimer::singleShot(0, [poll] { (*poll)(500); });
}

void Click(QDialog& dialog, const char* button) {
    auto* target = dialog.findChild<QAbstractButton*>(QString::fromLatin1(button));
    ASSERT_NE(target, nullptr) << button;
    target->click();
}

void AnswerCardDialog(std::function<void(TPosParaForm&)> answer) {
    AnswerNextDialog([answer](QDialog& password) {
        password.findChild<QLineEdit*>(QStringLiteral("PasswordEdit"))->setText("58316");
        AnswerNextDialog(
            [answer](QDialog& dialog) {
                auto* card = qobject_cast<TPosParaForm*>(&dialog);
                ASSERT_NE(card, nullptr);
                answer(*card);
            },
            "tapwedge::app::TPosParaForm");
        Click(password, "OkBtn");
    });
}

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
