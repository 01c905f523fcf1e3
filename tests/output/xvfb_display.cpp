#include "xvfb_display.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

namespace tapwedge_test {
namespace {

pid_t Spawn(std::vector<std::string> args, const posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

XvfbDisplay::XvfbDisplay(const char* layout, const char* screen) {
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // -noreset: the server must keep the layout when its last client leaves.
    server_ = Spawn({"Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen", "0", screen},
                    &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (server_ < 0) {
        close(fds[0]);
        error_ = "cannot start Xvfb (package xvfb)";
        return;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
        char buf[16];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not report its display";
        return;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
    const pid_t setxkbmap = Spawn({"setxkbmap", "-display", name_, layout}, nullptr);
    if (setxkbmap < 0 || WaitExit(setxkbmap) != 0)
        error_ = std::string("setxkbmap ") + layout + " failed (package x11-xkb-utils)";
}

XvfbDisplay::~XvfbDisplay() {
    if (server_ > 0) {
        kill(server_, SIGTERM);
        WaitExit(server_);
    }
}

XKeyRecorder::XKeyRecorder(const std::string& display) {
    display_ = XOpenDisplay(display.c_str());
    if (!display_) return;
    const Window root = DefaultRootWindow(display_);
    const Window window = XCreateSimpleWindow(display_, root, 0, 0, 100, 100, 0, 0, 0);
    XSelectInput(display_, window, KeyPressMask | StructureNotifyMask | FocusChangeMask);
    XMapWindow(display_, window);
    for (XEvent e;;) {
        XNextEvent(display_, &e);
        if (e.type == MapNotify) break;
    }
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
    window_ = window;
}

XKeyRecorder::~XKeyRecorder() {
    if (display_) XCloseDisplay(display_);
}

void XKeyRecorder::SetNumLock(bool on) {
    const unsigned mask = XkbKeysymToModifiers(display_, XK_Num_Lock);
    XkbLockModifiers(display_, XkbUseCoreKbd, mask, on ? mask : 0);
    XSync(display_, False);
}

bool XKeyRecorder::NumLockOn() {
    XkbStateRec state{};
    XkbGetState(display_, XkbUseCoreKbd, &state);
    return (state.locked_mods & XkbKeysymToModifiers(display_, XK_Num_Lock)) != 0;
}

void XKeyRecorder::HoldFocus(bool hold) {
    hold_focus_ = hold;
    if (hold) XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
}

void XKeyRecorder::Handle(XEvent& e, std::string& text) {
    if (e.type == FocusOut && e.xfocus.mode == NotifyNormal && hold_focus_) {
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XFlush(display_);
        return;
    }
    if (e.type != KeyPress) return;
    char buf[16];
    KeySym keysym = NoSymbol;
    const int n = XLookupString(&e.xkey, buf, sizeof buf, &keysym, nullptr);
    if (n > 0) text.append(buf, static_cast<std::size_t>(n));
}

void XKeyRecorder::Drain(std::string& text) {
    while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        Handle(e, text);
    }
}

bool XKeyRecorder::NextKey(std::string& chars, int timeoutMs, int wakeFd) {
    chars.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent e;
            XNextEvent(display_, &e);
            Handle(e, chars);
            if (!chars.empty()) return true;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            wait = static_cast<int>(left.count());
        }
        pollfd p[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int r = poll(p, wakeFd >= 0 ? 2 : 1, wait);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p[0].revents & (POLLERR | POLLHUP))) return false;
        if (r > 0 && wakeFd >= 0 && p[1].revents != 0) return false;
    }
}

std::string XKeyRecorder::Receive(std::size_t count, int timeoutMs) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (text.size() < count && std::chrono::steady_clock::now() < deadline) {
        Drain(text);
        if (text.size() >= count) break;
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, 10);
    }
    XSync(display_, False);
    Drain(text);
    return text;
}

}  // namespace tapwedge_test
