#include "app/modal_recall.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

// Xlib's macros (None, Bool, Status...) clash with Qt's names: included after Qt.
#include <X11/Xlib.h>

namespace tapwedge::app {
namespace {

// A window that the window manager hid without minimising it (its "show desktop") is unmapped,
// and Qt keeps an activation request for it until it is mapped again. Asked directly, as a
// taskbar asks on a click, the window manager shows and activates it.
void AskWindowManagerToActivate(QWidget* window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window->winId());
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // on the user's behalf: the click on the icon asked for it
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

void BringBack(QWidget* window) {
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    const QWindow* handle = window->windowHandle();
    if (handle != nullptr && !handle->isExposed() && !window->isMinimized()) {
        AskWindowManagerToActivate(window);
    }
}

}  // namespace

bool BringBackModalWindows() {
    QWidget* top = QApplication::activeModalWidget();
    if (top == nullptr) return false;
    // A box above a dialog: the dialog comes back below it.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != top && window->isVisible() && window->isModal()) BringBack(window);
    }
    BringBack(top);
    top->activateWindow();
    return true;
}

}  // namespace tapwedge::app
