#include "app/tasktray_icon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace tapwedge::app {

TTasktrayIcon::TTasktrayIcon(QObject* owner) : QObject(owner) {
    connect(&tray_, &QSystemTrayIcon::activated, this, &TTasktrayIcon::OnActivated);
}

TTasktrayIcon::~TTasktrayIcon() = default;

void TTasktrayIcon::Configure(QWidget* form, const QIcon* icon, QMenu* left, QMenu* right) {
    if (form != nullptr) {
        OwnerForm = form;
        Title = form->windowTitle();
    }
    if (icon != nullptr) Icon = *icon;
    if (left != nullptr) LeftMenu = left;
    if (right != nullptr) RightMenu = right;
}

bool TTasktrayIcon::NotifyIcon(int operation, const QString& tip) {
    switch (operation) {
    case kAdd:
    case kModify:
        tray_.setIcon(Icon);
        tip_ = tip.left(kMaxTipLength);
        ShowTip();
        if (operation == kAdd) tray_.show();
        break;
    case kDelete:
        tray_.hide();
        tip_.clear();
        tray_.setToolTip(QString());
        break;
    default:
        return false;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTasktrayIcon::SetTipNote(const QString& note) {
    if (note == tipNote_) return;
    tipNote_ = note;
    if (tray_.isVisible()) ShowTip();
}

void TTasktrayIcon::ShowTip() {
    tray_.setToolTip(tipNote_.isEmpty() ? tip_ : tip_ + QLatin1Char('\n') + tipNote_);
}

void TTasktrayIcon::ShowTrayMessage(const QString& title, const QString& text) {
    ++MessagesShown;
    LastMessage = text;
    tray_.showMessage(title, text, QSystemTrayIcon::Warning);
}

void TTasktrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // Every left click opens the menu: the second of two quick clicks comes as a double click.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) ButtonUp(0);
    if (reason == QSystemTrayIcon::Context) ButtonUp(1);
}

void TTasktrayIcon::ButtonUp(std::uint8_t button) {
    const Click click{button, QCursor::pos()};
    if (held_) {
        if (button == 0 || !keptClick_) keptClick_ = click;  // a right click opens nothing
        return;
    }
    HandleClick(click);
}

void TTasktrayIcon::HandleClick(const Click& click) {
    QMenu* menu = click.Button == 0 ? LeftMenu : RightMenu;
    if (OnMouseUp) OnMouseUp(this, click.Button, click.At.x(), click.At.y());
    // Not modal: a polling tick that is waiting for the reader goes on while the menu is open.
    if (menu != nullptr) menu->popup(click.At);
}

void TTasktrayIcon::HoldClicks(bool hold) {
    held_ = hold;
    if (hold || !keptClick_) return;
    const Click click = *keptClick_;
    keptClick_.reset();
    HandleClick(click);
}

}  // namespace tapwedge::app
