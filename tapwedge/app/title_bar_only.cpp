#include "app/title_bar_only.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>

// Xlib's macros (None, Bool, Status...) clash with Qt's names: included after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>

namespace tapwedge::app {
namespace {

Display* X11Display() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->display() : nullptr;
}

// The window manager's name, as it announces it (EWMH _NET_SUPPORTING_WM_CHECK).
bool WindowManagerIsOpenbox(Display* display) {
    const auto windowProperty = [display](Window window, const char* name, Atom type,
                                          unsigned char** data) {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        *data = nullptr;
        const int status =
            XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False,
                               type, &actualType, &format, &count, &after, data);
        if (status != Success || *data == nullptr || count == 0) {
            if (*data != nullptr) XFree(*data);
            *data = nullptr;
            return 0ul;
        }
        return count;
    };
    unsigned char* check = nullptr;
    if (windowProperty(DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &check) == 0) {
        return false;
    }
    const Window wm = *reinterpret_cast<Window*>(check);
    XFree(check);
    unsigned char* name = nullptr;
    const unsigned long length =
        windowProperty(wm, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False), &name);
    const bool openbox = length == 7 && std::memcmp(name, "Openbox", 7) == 0;
    if (name != nullptr) XFree(name);
    return openbox;
}

class TitleBarOnly : public QObject {
public:
    explicit TitleBarOnly(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

protected:
    // Show comes after the native window exists and before it is mapped, when the window manager
    // reads its type.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Show) DeclareTornOffMenu();
        return false;
    }

private:
    void DeclareTornOffMenu() {
        Display* display = X11Display();
        if (display == nullptr || !WindowManagerIsOpenbox(display)) return;
        const Atom types[] = {XInternAtom(display, "_NET_WM_WINDOW_TYPE_MENU", False),
                              XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False)};
        XChangeProperty(display, static_cast<Window>(dialog_->winId()),
                        XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(types), 2);
        XFlush(display);
    }

    QDialog* dialog_;
};

}  // namespace

void ShowTitleBarOnly(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->installEventFilter(new TitleBarOnly(dialog));
}

}  // namespace tapwedge::app
