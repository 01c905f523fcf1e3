// Qt's own texts, as the program's application object leaves them: in Japanese, like every other
// text the user sees (standard buttons of the message boxes, the folder browser).
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

TEST(JapaneseQtTexts, MessageBoxButtonsAndFolderBrowser) {
    QMessageBox box(QMessageBox::Warning, "t", "t", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    QMessageBox cancel(QMessageBox::NoIcon, "t", "t", QMessageBox::Cancel);
    EXPECT_EQ(cancel.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));

    // The folder browser as the output settings dialog opens it.
    QFileDialog browser(nullptr, "t");
    browser.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    browser.setFileMode(QFileDialog::Directory);
    auto* lookIn = browser.findChild<QLabel*>("lookInLabel");
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QStringLiteral("アドレス:"));
    auto* buttons = browser.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("選択(&C)"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

}  // namespace
