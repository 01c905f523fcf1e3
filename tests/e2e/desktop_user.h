#pragma once
// A person at the X display of an end-to-end run: finds windows by title, waits until they are
// shown, have the keyboard focus or have gone, opens a program's tray menu and presses keys,
// all through XTest as from the real keyboard and mouse. Every wait is bounded; Screen() tells
// which windows were on the screen when one failed. X errors about windows that have just gone
// are ignored in the whole process.
#include <initializer_list>
#include <memory>
#include <string>

namespace e2e {

class DesktopUser {
public:
    using WindowId = unsigned long;  // an X window; 0 = none

    explicit DesktopUser(const std::string& display);
    ~DesktopUser();
    DesktopUser(const DesktopUser&) = delete;
    DesktopUser& operator=(const DesktopUser&) = delete;

    // "" when the display is open and has XTest, else why not.
    const std::string& Error() const { return error_; }

    // Left click on the tray icon of the program whose windows have the class name resName (the
    // icon is the shown window of that class inside the tray) for the menu titled menuTitle;
    // the menu once it is shown, or 0 when the icon or the menu is not there within timeoutMs.
    WindowId OpenTrayMenu(const std::string& resName, const std::string& menuTitle, int timeoutMs);
    // A left click on the tray icon of the program whose windows have the class name resName;
    // false when the icon is not there within timeoutMs.
    bool ClickTrayIcon(const std::string& resName, int timeoutMs);
    // Minimises the window as its minimise box or the window manager's keys would; true once
    // it is no longer shown.
    bool Minimise(WindowId window, int timeoutMs);
    // Asks the window manager to show the desktop, which hides every window (as a panel's "show
    // desktop" button does); true once `hidden` is no longer shown.
    bool ShowDesktop(WindowId hidden, int timeoutMs);
    // Shows the windows that ShowDesktop hid and are still hidden.
    void EndShowDesktop();
    // Until the window is shown again; false after timeoutMs.
    bool WaitUntilShown(WindowId window, int timeoutMs);
    // Whether the window has the keyboard focus now.
    bool Focused(WindowId window);
    // Whether the window manager offers that action on the window ("_NET_WM_ACTION_MINIMIZE").
    bool Offers(WindowId window, const std::string& action);
    // The shown top-level window titled exactly `title`, once there is one; 0 after timeoutMs.
    WindowId WaitForWindow(const std::string& title, int timeoutMs);
    // WaitForWindow for a window that is not a popup (menus and tool tips bypass the window
    // manager): a dialog or message box of that title.
    WindowId WaitForBox(const std::string& title, int timeoutMs);
    // WaitForWindow, then until the window has the keyboard focus (its program gives it the
    // focus when it shows it); 0 when either does not happen within timeoutMs.
    WindowId WaitForFocusedWindow(const std::string& title, int timeoutMs);
    // Gives the window the keyboard focus, as a click on it would; true once it has it.
    bool Focus(WindowId window, int timeoutMs);
    // Until the window is no longer shown (or destroyed); false after timeoutMs.
    bool WaitUntilClosed(WindowId window, int timeoutMs);

    // Presses and releases each key in turn: X key names with optional modifiers, as xdotool
    // writes them ("Tab", "space", "Return", "Down", "Home", "shift+Tab", "ctrl+a"). False at the
    // first name that is unknown or has no key on the layout (the keys before it were pressed).
    bool Press(std::initializer_list<std::string> keys);
    // Types the characters of text (each one that is a key of its own, such as digits).
    bool Type(const std::string& text);

    // The titles of the shown top-level windows and the one with the focus, for messages.
    std::string Screen();

private:
    struct Connection;
    bool PressOne(const std::string& key);
    void SetShowingDesktop(bool on);
    std::unique_ptr<Connection> x_;
    std::string error_;
};

}  // namespace e2e
