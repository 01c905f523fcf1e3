#pragma once
// The program's application object: Qt's own texts (standard buttons, the folder browser) in
// Japanese, as every other text of the program, and an exception that escapes an event handler
// shown to the user instead of ending the program.
#include <QApplication>
#include <QTranslator>

namespace tapwedge::app {

class TapwedgeApplication : public QApplication {
    Q_OBJECT
public:
    TapwedgeApplication(int& argc, char** argv);
    ~TapwedgeApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator qtTexts_;
};

// Installs the program's exception display as the platform's exception handler: a line on
// standard error and a message box on the user-interface thread (an exception from another
// thread is queued to it), shown once a polling tick in progress has ended.
void InstallExceptionDisplay();

}  // namespace tapwedge::app
