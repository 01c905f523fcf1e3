#include "app/tasktray_icon.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstring>

#include "app/modal_recall.h"
#include "app/outside_tick.h"

// Xlib's macros (None, Bool, Status...) clash with Qt's names: included after Qt.
#include <X11/Xlib.h>

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
        std::uint32_t window = 0;
        std::uint32_t button = 0;
        std::uint32_t time = 0;
        if (!PressOf(static_cast<const xcb_generic_event_t*>(message), window, button, time)) {
            return false;
        }
        // Not blocked: Qt reports the click itself.
        if (QGuiApplication::modalWindow() == nullptr || QApplication::activePopupWidget() != nullptr) {
            return false;
        }
        if (!icon_.IsIconWindow(window)) return false;
        // One press may come both ways.
        if (time == lastPress_) return false;
        lastPress_ = time;
        if (button == XCB_BUTTON_INDEX_1) icon_.ButtonUp(0);
        if (button == XCB_BUTTON_INDEX_3) icon_.ButtonUp(1);
        return false;
    }

private:
    // A button press, as the core protocol or (as Qt asks for it) the X Input extension 2
    // reports it: its window, button and time.
    bool PressOf(const xcb_generic_event_t* event, std::uint32_t& window, std::uint32_t& button,
                 std::uint32_t& time) {
        const std::uint8_t kind = event->response_type & 0x7F;
        if (kind == XCB_BUTTON_PRESS) {
            const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            window = press->event;
            button = press->detail;
            time = press->time;
            return true;
        }
        if (kind != XCB_GE_GENERIC) return false;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (generic->extension != InputOpcode() || generic->event_type != kXiButtonPress) return false;
        // The XI2 device event: time at byte 12, detail (the button) at 16, the event window at 24.
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(event);
        std::memcpy(&time, bytes + 12, sizeof time);
        std::memcpy(&button, bytes + 16, sizeof button);
        std::memcpy(&window, bytes + 24, sizeof window);
        return true;
    }

    int InputOpcode() {
        if (inputOpcode_ != 0) return inputOpcode_;
        inputOpcode_ = -1;
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        int opcode = 0, firstEvent = 0, firstError = 0;
        if (x11 != nullptr && x11->display() != nullptr &&
            XQueryExtension(x11->display(), "XInputExtension", &opcode, &firstEvent, &firstError)) {
            inputOpcode_ = opcode;
        }
        return inputOpcode_;
    }

    static constexpr std::uint16_t kXiButtonPress = 4;
    TTasktrayIcon& icon_;
    int inputOpcode_ = 0;  // 0 not asked yet, -1 none
    std::uint32_t lastPress_ = 0;
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
    BringBackModalWindows();
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
    if (BringBackModalWindows()) return;
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

}  // namespace tapwedge::app
