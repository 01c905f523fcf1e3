#pragma once
// Turns the end of the desktop session and the signals that end a program (SIGTERM, SIGHUP,
// SIGINT) into one Qt signal on the user-interface thread. The signal handler only writes a
// byte into a pipe; the event loop reads it.
#include <QObject>

class QSocketNotifier;

namespace tapwedge::app {

class EndSessionWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the signal handlers; one watcher per process.
    explicit EndSessionWatcher(QObject* parent = nullptr);
    ~EndSessionWatcher() override;

    // Whether an end was asked for since the watcher was made.
    bool Requested() const { return requested_; }

signals:
    void EndSessionRequested();

private:
    void OnSignalPipe();
    void Request();

    QSocketNotifier* notifier_ = nullptr;
    bool requested_ = false;
};

}  // namespace tapwedge::app
