#pragma once
// A private Xvfb server on a free display number with the Japanese keyboard layout, and an X
// client window that records the characters typed into it.
#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>

namespace tapwedge_test {

class XvfbDisplay {
public:
    // Starts Xvfb (-displayfd picks the number) with one screen of the given size
    // ("WIDTHxHEIGHTxDEPTH") and loads the layout with setxkbmap. Ok() is false and Error()
    // says why when either fails.
    explicit XvfbDisplay(const char* layout = "jp", const char* screen = "320x240x24");
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Name() const { return name_; }  // ":N"

private:
    pid_t server_ = -1;
    std::string name_;
    std::string error_;
};

class XKeyRecorder {
public:
    explicit XKeyRecorder(const std::string& display);  // mapped, focused window
    ~XKeyRecorder();
    XKeyRecorder(const XKeyRecorder&) = delete;
    XKeyRecorder& operator=(const XKeyRecorder&) = delete;

    bool Ok() const { return window_ != 0; }
    void SetNumLock(bool on);
    bool NumLockOn();
    // Characters of the key presses received, until `count` have come or timeoutMs passed;
    // then whatever else has already arrived.
    std::string Receive(std::size_t count, int timeoutMs = 5000);
    // The characters of the next key press that gives any, waiting up to timeoutMs (-1: for
    // ever); false on time-out, a lost display or, when wakeFd is not -1, as soon as wakeFd is
    // readable. While the window holds the focus (HoldFocus) it takes the focus back whenever
    // another window took it.
    bool NextKey(std::string& chars, int timeoutMs, int wakeFd = -1);
    // Holding the focus (the start state) takes it now; letting go leaves it to whichever
    // window takes it next, such as a dialog that a test drives.
    void HoldFocus(bool hold);

private:
    void Drain(std::string& text);
    // Handles one event; the key press's characters are appended to text.
    void Handle(XEvent& event, std::string& text);

    Display* display_ = nullptr;
    Window window_ = 0;
    bool hold_focus_ = true;
};

}  // namespace tapwedge_test
