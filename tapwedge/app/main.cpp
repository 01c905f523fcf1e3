// Tapwedge: a tray program that types the cards presented at a contactless-card reader.
#include <QtGlobal>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

#include "app/end_session_watcher.h"
#include "app/fonts.h"
#include "app/main_form.h"
#include "app/tapwedge_application.h"
#include "app/ui_hooks.h"
#include "core/program_folder.h"
#include "core/settings_folder.h"
#include "platform/exception_handler.h"
#include "platform/key_injectors.h"
#include "platform/message_pump.h"
#include "platform/single_instance.h"

using namespace tapwedge;
using namespace tapwedge::app;

namespace {

// One copy of the program per settings folder: the lock file lies in it. A folder that cannot
// take the file (one the user may not write) leaves the lock to the runtime folder, or /tmp,
// under a name of the user.
platform::InstanceLockResult LockOneCopy(const std::string& settingsFolder) {
    const platform::InstanceLockResult lock = platform::LockSingleInstance(settingsFolder, "Tapwedge");
    const int error = lock.ErrorNumber;
    if (lock.State != platform::InstanceLock::Failed ||
        (error != EACCES && error != EROFS && error != EPERM)) {
        return lock;
    }
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!folder.startsWith(QLatin1Char('/'))) folder = QStringLiteral("/tmp");
    return platform::LockSingleInstance(folder.toStdString(),
                                        "Tapwedge-" + std::to_string(::geteuid()));
}

}  // namespace

int main(int argc, char** argv) {
    TapwedgeApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tapwedge"));
    // From the start: an end signal that comes early ends the program in order, not by default.
    // A box that is up (such as a start-up message) closes, so the program ends as soon as it
    // is free to.
    EndSessionWatcher endSession;
    QObject::connect(&endSession, &EndSessionWatcher::EndSessionRequested, &application,
                     &CloseModalWindows);

    // The settings folder decides the lock: every start of the user finds the same one, whatever
    // its environment (a login over ssh, su -, cron: no runtime folder, or another one).
    const SettingsFolderPlaces places = SettingsFolderPlaces::For(ProgramFolder());
    SettingsFolder settings = ChooseSettingsFolder(places);
    const platform::InstanceLockResult lock = LockOneCopy(settings.Folder);
    if (lock.State == platform::InstanceLock::Failed) {
        std::fprintf(stderr, "tapwedge: cannot take the single-instance lock: %s\n",
                     lock.Error.c_str());
        return -1;
    }
    if (lock.State == platform::InstanceLock::AlreadyRunning) {
        std::fprintf(stderr, "tapwedge: すでに起動されています。 (another copy of Tapwedge runs)\n");
        ShowMessage(QStringLiteral("すでに起動されています。"));
        return -1;
    }

    try {
        // No window is shown; dialogs closing must not end the program.
        QApplication::setQuitOnLastWindowClosed(false);
        // Also the current directory: card-parameter files are opened there by bare name.
        FillSettingsFolder(places, settings);
        const std::string settingsFolder = EnterSettingsFolder(settings);
        // Every wait of the reader library keeps the tray and the menu alive.
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        InstallExceptionDisplay();
        InstallJapaneseUiFont();

        const platform::KeyInjectorChoice keys = platform::ChooseKeyInjector();
        TForm1 form(settingsFolder, keys.Injector.get());
        QObject::connect(&endSession, &EndSessionWatcher::EndSessionRequested, &form,
                         &TForm1::WMEndSession);
        // Asked for while the form was being built (during its start-up message).
        if (endSession.Requested()) form.WMEndSession();
        // exit, not quit: quit sends the Quit event that stands for the session manager's Die.
        QObject::connect(&form, &TForm1::Closed, &application, [] { QCoreApplication::exit(0); },
                         Qt::QueuedConnection);
        if (!form.Closing()) QCoreApplication::exec();
        platform::SetMessagePump({});
    } catch (...) {
        platform::HandleException(nullptr, std::current_exception());
    }
    return 0;
}
