#pragma once
// The program's application object: an exception that escapes an event handler is shown to the
// user instead of ending the program.
#include <QApplication>

namespace tapwedge::app {

class TapwedgeApplication : public QApplication {
    Q_OBJECT
public:
    TapwedgeApplication(int& argc, char** argv);
    ~TapwedgeApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

// Installs the program's exception display as the platform's exception handler: a message box
// on the user-interface thread (an exception from another thread is queued to it).
void InstallExceptionDisplay();

}  // namespace tapwedge::app
