#pragma once
// Turns the end of the desktop session (the session manager's Die, which Qt delivers as a Quit
// event to the application) and the signals that end a program (SIGTERM, SIGHUP, SIGINT) into
// one Qt signal on the user-interface thread. A checkpoint of the session is no end, and the
// session manager is asked never to restart the program (its autostart entry starts it). The
// signal handler only writes a byte into a pipe; the event loop reads it. The program leaves its
// event loop with QCoreApplication::exit, which sends no Quit event.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSignalPipe();
    void Request();

    QSocketNotifier* notifier_ = nullptr;
    bool requested_ = false;
};

}  // namespace tapwedge::app
