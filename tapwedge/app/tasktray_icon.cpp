#include "app/tasktray_icon.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QWidget>

#include <xcb/xcb.h>

#include "app/outside_tick.h"

namespace tapwedge::app {

// An XEmbed tray icon is a window of the program, which Qt blocks while a window is modal: the
// click never reaches QSystemTrayIcon. Taken here, before Qt drops it. (A StatusNotifier icon
// reports its clicks over D-Bus, which nothing blocks.)
class TTasktrayIcon::BlockedClicks : public QAbstractNativeEventFilter {
public:
    explicit BlockedClicks(TTasktrayIcon& icon) : icon_(icon) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~BlockedClicks() override {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeNativeEventFilter(this);
        }
    }
    BlockedClicks(const BlockedClicks&) = delete;
    BlockedClicks& operator=(const BlockedClicks&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_BUTTON_PRESS) return false;
        // Not blocked: Qt reports the click itself.
        if (QGuiApplication::modalWindow() == nullptr || QApplication::activePopupWidget() != nullptr) {
            return false;
        }
        const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
        if (!icon_.IsIconWindow(press->event)) return false;
        if (press->detail == XCB_BUTTON_INDEX_1) icon_.ButtonUp(0);
        if (press->detail == XCB_BUTTON_INDEX_3) icon_.ButtonUp(1);
        return false;
    }

private:
    TTasktrayIcon& icon_;
};

TTasktrayIcon::TTasktrayIcon(QObject* owner)
    : QObject(owner), blockedClicks_(std::make_unique<BlockedClicks>(*this)) {
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
    if (!TickInProgress()) {
        HandleClick(click);
        return;
    }
    // Bringing a window back runs no loop of its own: done at once, as it is asked.
    RaiseModalWindows();
    if (button != 0 && keptClick_) return;  // a right click opens nothing
    const bool waiting = keptClick_.has_value();
    keptClick_ = click;
    if (waiting) return;
    RunOutsideTick(this, [this] {
        const Click kept = *keptClick_;
        keptClick_.reset();
        HandleClick(kept);
    });
}

void TTasktrayIcon::HandleClick(const Click& click) {
    if (RaiseModalWindows()) return;
    QMenu* menu = click.Button == 0 ? LeftMenu : RightMenu;
    if (OnMouseUp) OnMouseUp(this, click.Button, click.At.x(), click.At.y());
    // Not modal: the program's timers go on while the menu is open.
    if (menu != nullptr) menu->popup(click.At);
}

bool TTasktrayIcon::IsIconWindow(WId window) const {
    const QWidget* widget = QWidget::find(window);
    return widget != nullptr && widget->isWindow() && qobject_cast<const QDialog*>(widget) == nullptr &&
           QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()) == tray_.geometry();
}

bool RaiseModalWindows() {
    QWidget* top = QApplication::activeModalWidget();
    if (top == nullptr) return false;
    const auto bringBack = [](QWidget* window) {
        if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
    };
    // A box above a dialog: the dialog comes back below it.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != top && window->isVisible() && window->isModal()) bringBack(window);
    }
    bringBack(top);
    top->activateWindow();
    return true;
}

}  // namespace tapwedge::app
