#include "app/end_session_watcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tapwedge::app {
namespace {

int signalPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Nothing to do when the pipe is full: a wake-up is pending anyway.
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

EndSessionWatcher::EndSessionWatcher(QObject* parent) : QObject(parent) {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EndSessionWatcher::OnSignalPipe);

    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) sigaction(number, &action, nullptr);

    // The session manager's Die comes as a Quit event to the application. Its SaveYourself
    // (commitDataRequest) is no end: a checkpoint ("Save session") sends it too, and at a
    // logout Die follows once every program has saved.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->installEventFilter(this);
    }
    // The program starts with the desktop through its autostart entry: a session restored at
    // the next login must not start it a second time, a copy that would only be refused.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::saveStateRequest, this, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
        });
    }
}

bool EndSessionWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit) return false;
    // The program ends in its own order (the reader closed, a card being typed stopped at the
    // next key), then leaves the event loop itself.
    Request();
    return true;
}

EndSessionWatcher::~EndSessionWatcher() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) sigaction(number, &action, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : signalPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void EndSessionWatcher::OnSignalPipe() {
    char bytes[16];
    while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    Request();
}

void EndSessionWatcher::Request() {
    requested_ = true;
    emit EndSessionRequested();
}

}  // namespace tapwedge::app
