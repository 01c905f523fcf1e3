#include "desktop_user.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// Between two keys: events of one millisecond would let the toolkit take a release and the next
// press of the same key for auto-repeat.
constexpr auto kKeyGap = std::chrono::milliseconds(3);

// Windows come and go under the test's feet: a request about one that has just been destroyed
// fails, which is an answer here, not a reason to end the process.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

bool Until(int timeoutMs, const std::function<bool()>& done) {
    for (auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);;) {
        if (done()) return true;
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

}  // namespace

struct DesktopUser::Connection {
    Display* display = nullptr;
    Window root = 0;
    Atom netWmName = 0;
    Atom utf8 = 0;

    std::vector<Window> Children(Window parent) const {
        Window rootReturn = 0, parentReturn = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        std::vector<Window> list;
        if (XQueryTree(display, parent, &rootReturn, &parentReturn, &children, &count) != 0) {
            list.assign(children, children + count);
            if (children != nullptr) XFree(children);
        }
        return list;
    }

    bool Viewable(Window window) const {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(display, window, &attributes) != 0 &&
               attributes.map_state == IsViewable;
    }

    std::string Title(Window window) const {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr && type == utf8 && format == 8) {
            title.assign(reinterpret_cast<const char*>(data), count);
        }
        if (data != nullptr) XFree(data);
        if (!title.empty()) return title;
        char* name = nullptr;
        if (XFetchName(display, window, &name) != 0 && name != nullptr) {
            title = name;
            XFree(name);
        }
        return title;
    }

    std::string ClassName(Window window) const {
        XClassHint hint{};
        std::string name;
        if (XGetClassHint(display, window, &hint) != 0) {
            if (hint.res_name != nullptr) name = hint.res_name;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return name;
    }

    Window FocusWindow() const {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        return focus;
    }

    // A viewable window of the class below a top-level window (inside the tray), or 0.
    Window EmbeddedWindowOfClass(Window parent, const std::string& resName, int depth) const {
        for (Window child : Children(parent)) {
            if (depth > 0 && Viewable(child) && ClassName(child) == resName) return child;
            if (Window found = EmbeddedWindowOfClass(child, resName, depth + 1)) return found;
        }
        return 0;
    }

    bool Popup(Window window) const {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.override_redirect;
    }

    // The top-level windows: the children of the root, and under a window manager the windows
    // inside its frames.
    std::vector<Window> TopLevels() const {
        std::vector<Window> windows;
        for (Window window : Children(root)) {
            windows.push_back(window);
            for (Window inside : Children(window)) windows.push_back(inside);
        }
        return windows;
    }

    Window ShownTopLevel(const std::string& title, bool boxesOnly = false) const {
        for (Window window : TopLevels())
            if (Viewable(window) && Title(window) == title && !(boxesOnly && Popup(window))) return window;
        return 0;
    }

    // The icon of the program with that class inside the tray, once there is one; 0 after timeoutMs.
    Window TrayIcon(const std::string& resName, int timeoutMs) const {
        Window icon = 0;
        Until(timeoutMs, [&] { return (icon = EmbeddedWindowOfClass(root, resName, 0)) != 0; });
        return icon;
    }

    // Moves the pointer to the middle of the window.
    void PointAt(Window window) const {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, root, attributes.width / 2, attributes.height / 2, &x, &y,
                              &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
    }
};

DesktopUser::DesktopUser(const std::string& display) : x_(std::make_unique<Connection>()) {
    XSetErrorHandler(IgnoreError);
    x_->display = XOpenDisplay(display.c_str());
    if (x_->display == nullptr) {
        error_ = "cannot open the display " + display;
        return;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(x_->display, &event, &error, &major, &minor)) {
        error_ = "the display has no XTest";
        return;
    }
    x_->root = DefaultRootWindow(x_->display);
    x_->netWmName = XInternAtom(x_->display, "_NET_WM_NAME", False);
    x_->utf8 = XInternAtom(x_->display, "UTF8_STRING", False);
}

DesktopUser::~DesktopUser() {
    if (x_->display != nullptr) XCloseDisplay(x_->display);
}

DesktopUser::WindowId DesktopUser::OpenTrayMenu(const std::string& resName, const std::string& menuTitle,
                                                int timeoutMs) {
    if (!error_.empty()) return 0;
    const Window icon = x_->TrayIcon(resName, timeoutMs);
    if (icon == 0) return 0;
    x_->PointAt(icon);
    XTestFakeButtonEvent(x_->display, 1, True, CurrentTime);
    XSync(x_->display, False);
    // A person's click lasts longer than the program takes to open the menu on the press, so
    // the button goes up once the menu is shown (or, for a menu that opens on the release, after
    // the time-out and then the menu is awaited again).
    Window menu = WaitForWindow(menuTitle, timeoutMs);
    XTestFakeButtonEvent(x_->display, 1, False, CurrentTime);
    XSync(x_->display, False);
    if (menu == 0) menu = WaitForWindow(menuTitle, timeoutMs);
    return menu;
}

bool DesktopUser::ClickTrayIcon(const std::string& resName, int timeoutMs) {
    if (!error_.empty()) return false;
    const Window icon = x_->TrayIcon(resName, timeoutMs);
    if (icon == 0) return false;
    x_->PointAt(icon);
    XTestFakeButtonEvent(x_->display, 1, True, CurrentTime);
    XSync(x_->display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XTestFakeButtonEvent(x_->display, 1, False, CurrentTime);
    XSync(x_->display, False);
    return true;
}

bool DesktopUser::Minimise(WindowId window, int timeoutMs) {
    if (!error_.empty()) return false;
    XIconifyWindow(x_->display, window, DefaultScreen(x_->display));
    XSync(x_->display, False);
    return Until(timeoutMs, [&] { return !x_->Viewable(window); });
}

bool DesktopUser::ShowDesktop(WindowId hidden, int timeoutMs) {
    if (!error_.empty()) return false;
    SetShowingDesktop(true);
    return Until(timeoutMs, [&] { return !x_->Viewable(hidden); });
}

void DesktopUser::EndShowDesktop() {
    if (error_.empty()) SetShowingDesktop(false);
}

void DesktopUser::SetShowingDesktop(bool on) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x_->root;
    event.xclient.message_type = XInternAtom(x_->display, "_NET_SHOWING_DESKTOP", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;
    XSendEvent(x_->display, x_->root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(x_->display, False);
}

bool DesktopUser::WaitUntilShown(WindowId window, int timeoutMs) {
    if (!error_.empty()) return false;
    return Until(timeoutMs, [&] { return x_->Viewable(window); });
}

bool DesktopUser::Focused(WindowId window) { return error_.empty() && x_->FocusWindow() == window; }

bool DesktopUser::Offers(WindowId window, const std::string& action) {
    if (!error_.empty()) return false;
    const Atom allowed = XInternAtom(x_->display, "_NET_WM_ALLOWED_ACTIONS", False);
    const Atom wanted = XInternAtom(x_->display, action.c_str(), False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool offered = false;
    if (XGetWindowProperty(x_->display, window, allowed, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) offered = offered || atoms[i] == wanted;
    }
    if (data != nullptr) XFree(data);
    return offered;
}

DesktopUser::WindowId DesktopUser::WaitForWindow(const std::string& title, int timeoutMs) {
    if (!error_.empty()) return 0;
    Window window = 0;
    Until(timeoutMs, [&] { return (window = x_->ShownTopLevel(title)) != 0; });
    return window;
}

DesktopUser::WindowId DesktopUser::WaitForBox(const std::string& title, int timeoutMs) {
    if (!error_.empty()) return 0;
    Window window = 0;
    Until(timeoutMs, [&] { return (window = x_->ShownTopLevel(title, true)) != 0; });
    return window;
}

DesktopUser::WindowId DesktopUser::WaitForFocusedWindow(const std::string& title, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const Window window = WaitForWindow(title, timeoutMs);
    if (window == 0) return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    const bool focused = Until(static_cast<int>(left), [&] { return x_->FocusWindow() == window; });
    return focused ? window : 0;
}

bool DesktopUser::Focus(WindowId window, int timeoutMs) {
    if (!error_.empty()) return false;
    XSetInputFocus(x_->display, window, RevertToParent, CurrentTime);
    return Until(timeoutMs, [&] { return x_->FocusWindow() == window; });
}

bool DesktopUser::WaitUntilClosed(WindowId window, int timeoutMs) {
    if (!error_.empty()) return false;
    return Until(timeoutMs, [&] { return !x_->Viewable(window); });
}

bool DesktopUser::PressOne(const std::string& key) {
    std::vector<std::string> names = Split(key, '+');
    if (names.empty()) return false;
    std::vector<KeyCode> codes;
    const KeySym symbol = XStringToKeysym(names.back().c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(x_->display, symbol);
    if (code == 0) return false;
    names.pop_back();
    // A character on the shifted level of its key needs Shift, as on the keyboard.
    if (XkbKeycodeToKeysym(x_->display, code, 0, 0) != symbol &&
        XkbKeycodeToKeysym(x_->display, code, 0, 1) == symbol)
        names.push_back("shift");
    for (const std::string& modifier : names) {
        const char* name = modifier == "ctrl" ? "Control_L" : modifier == "shift" ? "Shift_L"
                         : modifier == "alt"  ? "Alt_L" : nullptr;
        const KeyCode modifierCode = name ? XKeysymToKeycode(x_->display, XStringToKeysym(name)) : 0;
        if (modifierCode == 0) return false;
        codes.push_back(modifierCode);
    }
    codes.push_back(code);
    for (KeyCode c : codes) XTestFakeKeyEvent(x_->display, c, True, CurrentTime);
    for (auto c = codes.rbegin(); c != codes.rend(); ++c) XTestFakeKeyEvent(x_->display, *c, False, CurrentTime);
    XSync(x_->display, False);
    std::this_thread::sleep_for(kKeyGap);
    return true;
}

bool DesktopUser::Press(std::initializer_list<std::string> keys) {
    if (!error_.empty()) return false;
    for (const std::string& key : keys) {
        if (!PressOne(key)) return false;
    }
    return true;
}

bool DesktopUser::Type(const std::string& text) {
    if (!error_.empty()) return false;
    for (char c : text) {
        if (!PressOne(std::string(1, c))) return false;
    }
    return true;
}

std::string DesktopUser::Screen() {
    if (!error_.empty()) return error_;
    std::string text = "shown:";
    for (Window window : x_->Children(x_->root))
        if (x_->Viewable(window)) text += " \"" + x_->Title(window) + "\"";
    const Window focus = x_->FocusWindow();
    text += "; focus: " + (focus == x_->root ? std::string("the root") : "\"" + x_->Title(focus) + "\"");
    return text;
}

}  // namespace e2e
