// The program's own message box (no test answers installed): how it looks to the user.
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/ui_hooks.h"

namespace {

TEST(MessageBox, AShortTextLeavesRoomForTheCaptionAndOnlyACloseBox) {
    int width = 0;
    int captionWidth = 0;
    Qt::WindowFlags flags;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        width = box->width();
        captionWidth = QFontMetrics(box->font()).horizontalAdvance(box->windowTitle());
        flags = box->windowFlags();
        box->accept();
    });
    tapwedge::app::ShowMessage(QStringLiteral("認証エラー"));
    EXPECT_GT(width, captionWidth + 64);
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

}  // namespace
