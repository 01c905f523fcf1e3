#include "app/tapwedge_application.h"

#include <QLibraryInfo>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <exception>

#include "app/outside_tick.h"
#include "app/ui_hooks.h"
#include "platform/exception_handler.h"

namespace tapwedge::app {

TapwedgeApplication::TapwedgeApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt's Japanese translation whatever the user's locale: the program speaks only Japanese.
    // Without it (qt6-translations-l10n not installed) Qt's texts stay English.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qtTexts_.load(QStringLiteral("qtbase_ja"), folder)) {
        installTranslator(&qtTexts_);
    } else {
        std::fprintf(stderr, "tapwedge: no qtbase_ja translation in %s\n", qPrintable(folder));
    }
}

TapwedgeApplication::~TapwedgeApplication() = default;

bool TapwedgeApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        platform::HandleException(receiver, std::current_exception());
        return false;
    }
}

namespace {

// A line on standard error at once; the box outside a polling tick, so that no box takes the
// keys of a card being typed.
void TellException(const QString& text) {
    std::fprintf(stderr, "tapwedge: %s\n", qPrintable(text));
    RunOutsideTick(QCoreApplication::instance(), [text] { ShowMessage(text); });
}

}  // namespace

void InstallExceptionDisplay() {
    platform::SetExceptionHandler([](void*, std::exception_ptr error) {
        const QString text = QString::fromStdString(platform::DescribeException(error));
        QCoreApplication* application = QCoreApplication::instance();
        if (application == nullptr) return;
        if (QThread::currentThread() == application->thread()) {
            TellException(text);
        } else {
            QMetaObject::invokeMethod(application, [text] { TellException(text); },
                                      Qt::QueuedConnection);
        }
    });
}

}  // namespace tapwedge::app
