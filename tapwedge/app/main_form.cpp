// The main form's construction, its tray icon and menu, and its end.
#include "app/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <cstdio>

#include "app/outside_tick.h"
#include "app/tasktray_icon.h"
#include "app/ui_hooks.h"
#include "app/view_form.h"
#include "core/param_file_cipher.h"
#include "core/reader_status.h"
#include "core/settings_io.h"
#include "core/text_format.h"
#include "tagwire/tagwire.h"

namespace tapwedge::app {

namespace {

constexpr int kTimerInterval = 1000;  // ms, both timers at start

}  // namespace

TForm1::TForm1(const std::string& settingsFolder, platform::KeyInjector* injector)
    : QWidget(nullptr), SettingsFolder(settingsFolder), injector_(injector) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    Image1 = QIcon(QStringLiteral(":/icons/no_reader.png"));
    Image2 = QIcon(QStringLiteral(":/icons/ready.png"));
    Image3 = QIcon(QStringLiteral(":/icons/stopped.png"));
    BuildMenu();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerInterval);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kTimerInterval);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);

    ApplyDefaults();
    LoadSettings(Settings, kIniFileName, SettingsFolder);
    N1SetMItem->setVisible(Settings.Menu.SettingsItems);
    N2CardMItem->setVisible(Settings.Menu.SettingsItems);
    N3PortMItem->setVisible(Settings.Menu.SettingsItems);
    N1->setVisible(Settings.Menu.SettingsItems);
    N7ViewMItem->setVisible(Settings.Menu.View);
    N2->setVisible(Settings.Menu.View);
    ReadCardParameters();
    ClampReplaceKey(Settings.OutputOptions);

    TrayIcon = std::make_unique<TTasktrayIcon>(nullptr);
    TrayIcon->OnMouseUp = [](TTasktrayIcon*, std::uint8_t, int, int) {};

    // The application losing activation resumes polling after a menu left without a choice.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive && deactivationHandler_) ResumeAfterMenu();
            });

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::ApplyDefaults() {
    // The settings' defaults include PollingStopped 0 and the unset card key ID.
    Settings = AppSettings::Defaults(SettingsFolder);
    ReaderState = kReaderClosed;
    PollBusy = 0;
}

void TForm1::ReadCardParameters() {
    Image = CardParamImage{};
    try {
        ParamFileCipher cipher;
        if (cipher.ReadParamFile(Image.Data(), kCardParamImageSize, Settings.CardFileName) != 0) {
            // A failed read may have left part of the plaintext: start from zero again.
            Image = CardParamImage{};
            ShowMessage(QStringLiteral("パラメータ読み取りエラー"));
            return;
        }
        Engine.DecodeCardParams(Image.Data(), Settings.OutputOptions.UidNormalOrder,
                                Settings.CardKeyId);
        GetAreaLengths(Engine, Settings.OutputItems[1].Length, Settings.OutputItems[2].Length);
        if (Image.HasReaderKeys()) Settings.CommSettings.Keys = Image.ReaderKeys;
    } catch (...) {
        ShowMessage(QStringLiteral("パラメータ読み取りエラー"));
    }
}

void TForm1::BuildMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto item = [this](const char* name, const QString& caption) {
        QAction* action = PopupMenu1->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    const auto separator = [this](const char* name) {
        QAction* action = PopupMenu1->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    N1SetMItem = item("N1SetMItem", QStringLiteral("出力設定"));
    N2CardMItem = item("N2CardMItem", QStringLiteral("カード設定"));
    N3PortMItem = item("N3PortMItem", QStringLiteral("通信設定"));
    N1 = separator("N1");
    N7ViewMItem = item("N7ViewMItem", QStringLiteral("View"));
    N7ViewMItem->setCheckable(true);
    N7ViewMItem->setVisible(false);
    N2 = separator("N2");
    N2->setVisible(false);
    N4StopMItem = item("N4StopMItem", QStringLiteral("停止"));
    N4StopMItem->setCheckable(true);
    N6VerMItem = item("N6VerMItem", QStringLiteral("Version"));
    N5CloseMItem = item("N5CloseMItem", QStringLiteral("終了"));

    connect(PopupMenu1, &QMenu::aboutToShow, this, &TForm1::PopupMenu1Popup);
    connect(PopupMenu1, &QMenu::aboutToHide, this, &TForm1::OnMenuHidden);
    // A checkable action toggles itself before it reports the click; the handlers own the
    // check mark, so the click's own toggle is taken back first.
    // An item chosen while a polling tick is in progress (from a menu that was already open)
    // runs once the tick has ended. "終了" alone acts at once: inside a tick it only stops
    // polling and leaves the end to Timer2.
    const auto outsideTick = [this](void (TForm1::*handler)()) {
        return [this, handler] {
            // Chosen, not dismissed: the menu's closing must not resume polling meanwhile.
            RemoveDeactivationHandler();
            RunOutsideTick(this, [this, handler] { (this->*handler)(); });
        };
    };
    connect(N4StopMItem, &QAction::triggered, this, [this, outsideTick] {
        N4StopMItem->setChecked(!N4StopMItem->isChecked());
        outsideTick(&TForm1::N4StopMItemClick)();
    });
    connect(N7ViewMItem, &QAction::triggered, this, [this, outsideTick] {
        N7ViewMItem->setChecked(!N7ViewMItem->isChecked());
        outsideTick(&TForm1::N7ViewMItemClick)();
    });
    connect(N5CloseMItem, &QAction::triggered, this, &TForm1::N5CloseMItemClick);
    connect(N1SetMItem, &QAction::triggered, this, outsideTick(&TForm1::N1SetMItemClick));
    connect(N2CardMItem, &QAction::triggered, this, outsideTick(&TForm1::N2CardMItemClick));
    connect(N3PortMItem, &QAction::triggered, this, outsideTick(&TForm1::N3PortMItemClick));
    connect(N6VerMItem, &QAction::triggered, this, outsideTick(&TForm1::N6VerMItemClick));
}

void TForm1::FormCreate() {
    TrayIcon->Configure(this, &Image1, PopupMenu1, nullptr);
    if (Settings.PollingStopped) {
        TrayIcon->Configure(nullptr, &Image3, nullptr, nullptr);
        ReaderState = kReaderPaused;
        N4StopMItem->setChecked(true);
    } else {
        Timer1->start();
    }
    TrayIcon->NotifyIcon(TTasktrayIcon::kAdd, QString::fromUtf8(TrayStatusFor(kReaderClosed).Tip));
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::fprintf(stderr,
                     "tapwedge: the desktop has no system tray; running without an icon\n");
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        FormClose();
        emit Closed();
    }
    event->accept();
}

void TForm1::FormClose() {
    TrayIcon->NotifyIcon(TTasktrayIcon::kDelete, QString());
    TrayIcon.reset();
}

void TForm1::CloseProgram() {
    closing_ = true;
    Timer1->stop();
    Timer2->stop();
    try {
        TwClose();
    } catch (...) {
    }
    try {
        close();
    } catch (...) {
    }
}

void TForm1::WMEndSession() { CloseProgram(); }

}  // namespace tapwedge::app
