#pragma once
// The program's main form: never shown, it owns every setting, the card parameters, the
// card-read engine, the reader connection and its polling timer, the tray icon and its menu.
// The user reaches the program only through the tray icon.
#include <QIcon>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "core/auth_messages.h"
#include "core/card_param_image.h"
#include "core/card_read_engine.h"
#include "core/card_records.h"
#include "core/csv_failure_notice.h"
#include "core/settings_save_notice.h"
#include "core/settings.h"
#include "platform/keyboard_input.h"

class QAction;
class QMenu;
class QTimer;

namespace tapwedge::app {

class TTasktrayIcon;
class TViewForm;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Builds the whole program state from the INI file and the card-parameter file in
    // settingsFolder (ending with '/'; also the current directory, see core/settings_folder.h),
    // then shows the tray icon and starts polling unless the settings say to start stopped. The
    // keys of a read are typed through injector (nullptr: keyboard output types nothing).
    TForm1(const std::string& settingsFolder, platform::KeyInjector* injector);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // --- components ---
    QIcon Image1;  // no reader ready
    QIcon Image2;  // reader ready
    QIcon Image3;  // polling stopped or paused
    QMenu* PopupMenu1 = nullptr;
    QAction* N1SetMItem = nullptr;
    QAction* N2CardMItem = nullptr;
    QAction* N3PortMItem = nullptr;
    QAction* N1 = nullptr;
    QAction* N7ViewMItem = nullptr;
    QAction* N2 = nullptr;
    QAction* N4StopMItem = nullptr;
    QAction* N6VerMItem = nullptr;
    QAction* N5CloseMItem = nullptr;
    QTimer* Timer1 = nullptr;  // polling
    QTimer* Timer2 = nullptr;  // deferred exit

    // --- state ---
    AppSettings Settings;  // CommSettings, OutputItems, OutputOptions, CardFileName, flags...
    std::int32_t ReaderState = 0;
    std::uint8_t PollBusy = 0;
    CardParamImage Image{};
    CardIdRecord CardID;
    CardDataRecord CardData;
    CardReadEngine Engine;
    std::unique_ptr<TTasktrayIcon> TrayIcon;
    std::unique_ptr<TViewForm> ViewForm;  // created on first use, then only hidden
    std::int32_t LastUsbState = 0;        // the state of the last USB tick that changed it
    CsvFailureNotice CsvNotice;
    SettingsSaveNotice SaveNotice;
    const std::string SettingsFolder;

    // --- start-up and end ---
    void FormCreate();
    void FormClose();
    void WMEndSession();
    bool Closing() const { return closing_; }

    // --- polling loop and reader connection ---
    void Timer1Timer();
    int InitReader();
    void ShowTrayStatus(std::int32_t state);
    bool ComPortExists(int port);
    void DumpToView(int index, const char* title, std::int32_t n, const std::uint8_t* bytes);
    // Appends the read to the CSV file; a line that cannot be written is told (tray, stderr).
    void WriteCsvLine();

    // --- tray menu ---
    void PopupMenu1Popup();
    void ResumeAfterMenu();
    void SetPolling(bool run);
    void EnableMenuItems(bool enable);
    void N4StopMItemClick();
    void N7ViewMItemClick();
    void N5CloseMItemClick();
    void Timer2Timer();

    // --- settings items ---
    void N1SetMItemClick();
    void N2CardMItemClick();
    void N3PortMItemClick();
    void N6VerMItemClick();

signals:
    // The form has closed: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplyDefaults();
    void ReadCardParameters();
    void BuildMenu();
    // The steps of one tick; PollBusy and Timer1 are handled around them.
    void TickSteps();
    void PollUsb(std::uint32_t epoch);
    void ReadAndOutput();
    // Types a read: the tray menu stays shut meanwhile, so that no key of the card reaches it.
    void TypeCard();
    // The communication settings item closed the reader, or the program is ending, since the
    // step that noted `epoch` began: a tick stops there.
    bool ReaderLostSince(std::uint32_t epoch) const { return closing_ || readerEpoch_ != epoch; }
    void InstallDeactivationHandler() { deactivationHandler_ = true; }
    void RemoveDeactivationHandler() { deactivationHandler_ = false; }
    void OnMenuHidden();
    void CloseProgram();
    // The frame of every dialog item: polling and the menu paused around the dialog's steps.
    template <typename Steps>
    void AroundDialog(Steps steps);
    // Saves the sections of mask into Wedgetap.ini; a failure is told (tray, stderr) once until
    // a save succeeds again. The settings in memory hold either way.
    void SaveSettingsTold(int mask);

    platform::KeyInjector* injector_;
    bool deactivationHandler_ = false;
    bool closing_ = false;
    bool closed_ = false;
    std::uint32_t readerEpoch_ = 0;  // counts the closes of the reader by a menu item
    int dialogsOpen_ = 0;            // dialogs of the menu that are open (they keep polling paused)
    bool menuSetAside_ = false;      // the menu is hidden for a card's output, not dismissed
    AuthMessageGate authMessages_;
};

}  // namespace tapwedge::app
