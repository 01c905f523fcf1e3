// The polling loop: one tick of Timer1 brings the reader connection one step further and, once
// the reader is ready, reads a card and outputs it.
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/outside_tick.h"
#include "app/tasktray_icon.h"
#include "app/ui_hooks.h"
#include "app/view_form.h"
#include "core/auth_messages.h"
#include "core/keystroke_output.h"
#include "core/reader_status.h"
#include "core/text_format.h"
#include "core/wait_pumping.h"
#include "platform/serial_ports.h"
#include "tagwire/tagwire.h"

namespace tapwedge::app {

namespace {

constexpr int kSlowInterval = 1000;     // ms between ticks until the reader is ready
constexpr int kReadyInterval = 100;     // ms between ticks once it is
constexpr int kAttentionTries = 3;
constexpr int kAttentionPause = 100;    // ms after each unanswered attention
constexpr int kUsbListSlack = 16;       // entries for devices plugged in between count and list
constexpr std::size_t kUsbTextSize = 64;

}  // namespace

void TForm1::Timer1Timer() {
    // A tick's waits process messages: a timer started meanwhile must not run a second tick
    // inside the first (it would be refused as busy and lose, or double, a card).
    if (Settings.PollingStopped || PollBusy || closing_) return;
    PollBusy = 1;
    Timer1->stop();
    // What the user starts meanwhile (the menu, its items) waits for the end of the tick.
    BeginTick();
    try {
        TickSteps();
    } catch (...) {
        PollBusy = 0;
        AbandonTick();
        throw;
    }
    if (!Settings.PollingStopped && !closing_) Timer1->start();
    PollBusy = 0;
    EndTick();
}

// Every wait of a tick processes messages, so the menu may pause polling (the paused bit, which
// only holds reads back) or close the reader (the epoch) in the middle of a step. A tick whose
// reader was closed under it stops at once: no command, message or state of its own follows.
void TForm1::TickSteps() {
    const std::uint32_t epoch = readerEpoch_;
    if (Settings.CommSettings.ComPort != 0) {
        const int port = Settings.CommSettings.ComPort;
        if (ConnectionOf(ReaderState) == kReaderClosed && ComPortExists(port) &&
            TwOpen(port, Settings.CommSettings.Baud) == TW_OK) {
            if (ReaderLostSince(epoch)) return;
            ReaderState = WithConnection(ReaderState, kReaderOpen);
            authMessages_.Forget();
        }
        if (ReaderLostSince(epoch)) return;
        if (ConnectionOf(ReaderState) == kReaderOpen) InitReader();
    } else {
        try {
            PollUsb(epoch);
        } catch (...) {
            ReaderState = WithConnection(ReaderState, kReaderClosed);
            LastUsbState = -1;
        }
        if (ReaderLostSince(epoch)) return;
        if (ConnectionOf(ReaderState) != LastUsbState) {
            ShowTrayStatus(ReaderState);
            if (ConnectionOf(ReaderState) == kReaderOpen) {
                InitReader();
            } else {
                TwClose();
            }
            if (ReaderLostSince(epoch)) return;
            LastUsbState = ConnectionOf(ReaderState);
        }
    }

    // Paused, the state is never exactly ready: no read starts.
    if (ReaderState == kReaderReady && !ReaderLostSince(epoch)) ReadAndOutput();
}

void TForm1::PollUsb(std::uint32_t epoch) {
    if (LastUsbState > 0) {
        // A reader is in use: it stays while its DSR line is up.
        if (TwUsbChkLine(0) == 0) {
            ReaderState = WithConnection(ReaderState, kReaderClosed);
        } else if (ConnectionOf(ReaderState) == kReaderClosed) {
            ReaderState = WithConnection(ReaderState, kReaderOpen);
        }
        return;
    }
    const std::int32_t count = TwUsbGetDeviceList(nullptr);
    if (count <= 0) return;
    std::vector<std::int32_t> locations(static_cast<std::size_t>(count) + kUsbListSlack);
    const std::int32_t listed = TwUsbGetDeviceList(locations.data());
    for (std::int32_t index = 0; index < listed; ++index) {
        char description[kUsbTextSize] = {};
        char serial[kUsbTextSize] = {};
        if (TwUsbGetDevice(description, serial, index) != 0) continue;
        description[kUsbTextSize - 1] = '\0';
        serial[kUsbTextSize - 1] = '\0';
        if (std::strstr(description, kReaderModel) == nullptr) continue;
        const std::int32_t opened = TwUsbOpen(serial, 0, Settings.CommSettings.Baud);
        if (ReaderLostSince(epoch)) return;
        if (opened == TW_OK) {
            ReaderState = WithConnection(ReaderState, kReaderOpen);
            authMessages_.Forget();
        } else {
            TwClose();
            ReaderState = WithConnection(ReaderState, kReaderClosed);
        }
        return;
    }
}

void TForm1::ReadAndOutput() {
    const std::uint32_t epoch = readerEpoch_;
    const std::int32_t n = Engine.ReadCard(CardID, CardData, Settings.CommSettings.ReaderType);
    if (ViewForm && n > 0) {
        DumpToView(0, "CardID", CardID.Length, CardID.Bytes);
        DumpToView(1, "CardData", CardData.Length, CardData.Bytes);
    }
    if (n > 0) {
        // A card that was read is logged even when the program is asked to end meanwhile; it is
        // only typed (and announced) while the program goes on.
        OutputOptions& options = Settings.OutputOptions;
        OutputItems& items = Settings.OutputItems;
        if (options.Beep && !closing_) Beep();
        GetAreaLengths(Engine, items[1].Length, items[2].Length);
        CardData.Length = FormatData(Engine, CardData, CardData.Length);
        CardID.Length = FormatId(Engine, CardID, CardID.Length);
        if (options.KeyboardOutput && !closing_) TypeCard();
        if (options.FileOutput) WriteCsvLine();
        return;
    }
    if (n < 0) {
        if (ReaderLostSince(epoch)) return;
        const std::int32_t code = n & 0x7FFFFFFF;
        if (IsRecoverableError(code) || ReaderLostSince(epoch)) return;
        if (Settings.CommSettings.ComPort != 0) {
            TwClose();
            ReaderState = WithConnection(ReaderState, kReaderClosed);
        } else {
            ReaderState = WithConnection(ReaderState, kReaderOpen);
        }
        ShowTrayStatus(ReaderState);
    }
}

void TForm1::TypeCard() {
    // A menu that was open when the tick began is shut for the output and opened again after it
    // (a click during the tick opens it only after the tick).
    const bool menuWasOpen = PopupMenu1->isVisible();
    const QPoint menuAt = PopupMenu1->pos();
    if (menuWasOpen) {
        menuSetAside_ = true;
        PopupMenu1->hide();
        menuSetAside_ = false;
    }
    TypeOutputItems({Settings.OutputItems, Settings.OutputOptions, injector_, &closing_}, CardID,
                    CardData);
    if (closing_ || !TrayIcon) return;
    if (menuWasOpen && !PopupMenu1->isVisible()) PopupMenu1->popup(menuAt);
}

int TForm1::InitReader() {
    // Each step may wait and so run the menu: pausing changes none of the steps, while a reader
    // closed by the communication settings item ends the initialisation at once.
    const std::uint32_t epoch = readerEpoch_;
    std::uint8_t attention[8];
    bool answered = false;
    for (int attempt = 0; attempt < kAttentionTries && !answered; ++attempt) {
        answered = TwAttention(attention) == TW_OK;
        if (!answered) WaitPumping(kAttentionPause);
        if (ReaderLostSince(epoch)) return -1;
    }
    if (!answered) {
        Timer1->setInterval(kSlowInterval);
        return -1;
    }

    // Room for the longest version text the library returns, terminator included.
    char version[256] = {};
    const std::int32_t versionResult = TwGetVersion(version);
    if (ReaderLostSince(epoch)) return -1;
    std::int32_t& readerType = Settings.CommSettings.ReaderType;
    readerType = versionResult == TW_OK ? ReaderTypeFromVersion(version, sizeof version)
                                        : kReaderTypeUndetected;
    ReaderState |= kReaderOpen;

    const CommSettings& comm = Settings.CommSettings;
    const std::int32_t result = comm.AuthMethod != 0 ? TwPWAuthentication(&comm.Keys)
                                                     : TwAuthentication(&comm.Keys, comm.CommMode);
    if (ReaderLostSince(epoch)) return -1;
    const int edition = EditionOf(readerType);
    const AuthOutcome outcome = AuthOutcomeOf(result, edition);
    if (outcome.Ready) {
        ReaderState |= 2;
        authMessages_.Forget();
    } else if (outcome.Message != nullptr && authMessages_.Failed(result)) {
        // Told once while the same failure repeats: the tray's tip keeps telling it, and the
        // menu stays within reach to mend the keys.
        ShowMessage(QString::fromUtf8(outcome.Message));
        if (ReaderLostSince(epoch)) return -1;
    }
    ShowTrayStatus(ReaderState);
    if (ConnectionOf(ReaderState) != kReaderReady) return 0;

    if (edition == kEditionEncrypted || edition == kEditionSsfc) {
        TwCardKeyIdList list{};
        const std::int32_t listed = TwGetCardKeyID(&list);
        if (ReaderLostSince(epoch)) return -1;
        Settings.CardKeyId = listed == TW_OK ? list.KeyId[0] : 0;
        // The FeliCa entries authenticate with this key ID from now on, not only after the
        // next decode of the card parameters.
        for (DecodedEntry& entry : Engine.Entries) entry.KeyId = Settings.CardKeyId;
    }
    Timer1->setInterval(kReadyInterval);
    return 0;
}

void TForm1::ShowTrayStatus(std::int32_t state) {
    const TrayStatus status = TrayStatusFor(state);
    // No reader, paused or not: nothing is known of its kind.
    if (ConnectionOf(state) == kReaderClosed) {
        Settings.CommSettings.ReaderType = kReaderTypeUndetected;
    }
    if (!TrayIcon) return;
    switch (status.Icon) {
    case TrayIcon::NoReader: TrayIcon->Icon = Image1; break;
    case TrayIcon::Ready: TrayIcon->Icon = Image2; break;
    case TrayIcon::Stopped: TrayIcon->Icon = Image3; break;
    }
    TrayIcon->NotifyIcon(TTasktrayIcon::kModify, QString::fromUtf8(status.Tip));
}

bool TForm1::ComPortExists(int port) {
    try {
        return platform::SerialPortExists(port);
    } catch (...) {
        return false;
    }
}

void TForm1::DumpToView(int index, const char* title, std::int32_t n,
                        const std::uint8_t* bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (!ViewForm) return;
    QPlainTextEdit* memo = ViewForm->ViewMemo;
    if (index == 0) memo->clear();
    memo->appendPlainText(QString::fromLatin1(title));
    std::string line = " ";
    for (std::int32_t i = 0; i < n; ++i) {
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
        line += ' ';
    }
    memo->appendPlainText(QString::fromLatin1(line.c_str()));
}

}  // namespace tapwedge::app
