// The password prompt run modally: only the whole expected text and OK give 1; everything else,
// whatever closes the prompt, gives 7.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "app/password_form.h"
#include "app/ui_hooks.h"
#include "ui_answers.h"

namespace {

using tapwedge::app::kResultNo;
using tapwedge::app::kResultOk;
using tapwedge::app::TPasswordForm;

void Ok(TPasswordForm& form) { form.findChild<QPushButton*>("OkBtn")->click(); }

TEST(PasswordForm, ResultOfEachEntryAndWayOfClosing) {
    struct Case {
        const char* name;
        QString expected;
        QString typed;
        std::function<void(TPasswordForm&)> close;
        int result;
    };
    const auto cancel = [](TPasswordForm& f) { f.findChild<QPushButton*>("CancelBtn")->click(); };
    const auto escape = [](TPasswordForm& f) { QTest::keyClick(&f, Qt::Key_Escape); };
    const auto closeWindow = [](TPasswordForm& f) { f.close(); };
    const auto enter = [](TPasswordForm& f) {
        QTest::keyClick(f.findChild<QLineEdit*>("PasswordEdit"), Qt::Key_Return);
    };
    const Case cases[] = {
        {"the five digits", "58316", "58316", Ok, kResultOk},
        {"the five digits with Enter", "58316", "58316", enter, kResultOk},
        {"four of them", "58316", "5831", Ok, kResultNo},
        {"nothing", "58316", "", Ok, kResultNo},
        {"one wrong digit", "58316", "58317", Ok, kResultNo},
        {"a sixth digit is not taken", "58316", "583169", Ok, kResultOk},
        {"Cancel", "58316", "58316", cancel, kResultNo},
        {"Escape", "58316", "58316", escape, kResultNo},
        {"the window closed", "58316", "58316", closeWindow, kResultNo},
        {"expected text cut after five", "5831642", "58316", Ok, kResultOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tapwedge_test::UiAnswers answers;
        TPasswordForm form(nullptr, c.expected, QStringLiteral("パスワード(5桁)"));
        auto* edit = form.findChild<QLineEdit*>("PasswordEdit");
        ASSERT_NE(edit, nullptr);
        QTimer::singleShot(0, &form, [&] {
            QTest::keyClicks(edit, c.typed);
            c.close(form);
        });
        EXPECT_EQ(form.exec(), c.result);
        EXPECT_EQ(form.result(), c.result);
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(answers.Boxes.empty());
    }
}

TEST(PasswordForm, PromptShowsTheLabelAndMasksTheEntry) {
    TPasswordForm form(nullptr, "58316", QStringLiteral("パスワード(5桁)"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Password入力"));
    EXPECT_EQ(form.findChild<QLabel*>("MsgLbl")->text(), QStringLiteral("パスワード(5桁)"));
    auto* edit = form.findChild<QLineEdit*>("PasswordEdit");
    QTest::keyClicks(edit, "123456");
    EXPECT_EQ(edit->text(), "12345");
    EXPECT_EQ(edit->displayText(), "*****");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::CustomizeWindowHint);
}

}  // namespace
