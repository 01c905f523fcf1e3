#include "edit_paste.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace tapwedge_test {
namespace {

// Where a key typed into edit arrives: an editable combo box has the keyboard and hands keys on
// to its edit itself.
QWidget* KeyTarget(QLineEdit* edit) {
    auto* combo = qobject_cast<QComboBox*>(edit->parentWidget());
    return combo != nullptr && combo->lineEdit() == edit ? static_cast<QWidget*>(combo) : edit;
}

void PasteFromMenu(QLineEdit* edit) {
    const QPoint at(4, 4);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, edit->mapToGlobal(at));
    QCoreApplication::sendEvent(edit, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) {
        ADD_FAILURE() << "the edit shows no context menu";
        return;
    }
    QAction* paste = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(QLineEdit::tr("&Paste"))) paste = action;
    }
    EXPECT_NE(paste, nullptr) << "no paste item in the context menu";
    if (paste != nullptr) paste->trigger();
    menu->close();
}

}  // namespace

const std::vector<PasteWay>& PasteWays() {
    static const std::vector<PasteWay> ways = {
        {"Ctrl+V",
         [](QLineEdit* e) { QTest::keyClick(KeyTarget(e), Qt::Key_V, Qt::ControlModifier); }},
        {"Shift+Insert",
         [](QLineEdit* e) { QTest::keyClick(KeyTarget(e), Qt::Key_Insert, Qt::ShiftModifier); }},
        {"context menu", PasteFromMenu},
    };
    return ways;
}

void Paste(QLineEdit* edit, const QString& text, const PasteWay& way, bool selectAll) {
    QGuiApplication::clipboard()->setText(text);
    if (selectAll) edit->selectAll();
    way.paste(edit);
}

}  // namespace tapwedge_test
