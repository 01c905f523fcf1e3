// The polling loop: one tick of Timer1 brings the reader connection one step further and, once
// the reader is ready, reads a card and outputs it.
#include <QPlainTextEdit>
#include <QTimer>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/tasktray_icon.h"
#include "app/ui_hooks.h"
#include "app/view_form.h"
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

    if (Settings.CommSettings.ComPort != 0) {
        const int port = Settings.CommSettings.ComPort;
        if (ReaderState == kReaderClosed && ComPortExists(port) &&
            TwOpen(port, Settings.CommSettings.Baud) == TW_OK) {
            ReaderState = kReaderOpen;
        }
        if (ReaderState == kReaderOpen) InitReader();
    } else {
        try {
            PollUsb();
        } catch (...) {
            ReaderState = kReaderClosed;
            LastUsbState = -1;
        }
        if (ReaderState != LastUsbState && !closing_) {
            ShowTrayStatus(ReaderState);
            if (ReaderState == kReaderOpen) {
                InitReader();
            } else {
                TwClose();
            }
            LastUsbState = ReaderState;
        }
    }

    if (ReaderState == kReaderReady && !closing_) ReadAndOutput();

    if (!Settings.PollingStopped && !closing_) Timer1->start();
    PollBusy = 0;
}

void TForm1::PollUsb() {
    if (LastUsbState > 0) {
        // A reader is in use: it stays while its DSR line is up.
        if (TwUsbChkLine(0) == 0) {
            ReaderState = kReaderClosed;
        } else if (ReaderState == kReaderClosed) {
            ReaderState = kReaderOpen;
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
        if (TwUsbOpen(serial, 0, Settings.CommSettings.Baud) == TW_OK) {
            ReaderState = kReaderOpen;
        } else {
            TwClose();
            ReaderState = kReaderClosed;
        }
        return;
    }
}

void TForm1::ReadAndOutput() {
    const std::int32_t n = Engine.ReadCard(CardID, CardData, Settings.CommSettings.ReaderType);
    // The program may have been asked to end while the read waited: nothing more goes out.
    if (closing_) return;
    if (ViewForm && n > 0) {
        DumpToView(0, "CardID", CardID.Length, CardID.Bytes);
        DumpToView(1, "CardData", CardData.Length, CardData.Bytes);
    }
    if (n > 0) {
        OutputOptions& options = Settings.OutputOptions;
        OutputItems& items = Settings.OutputItems;
        if (options.Beep) Beep();
        GetAreaLengths(Engine, items[1].Length, items[2].Length);
        CardData.Length = FormatData(Engine, CardData, CardData.Length);
        CardID.Length = FormatId(Engine, CardID, CardID.Length);
        if (options.KeyboardOutput) TypeOutputItems({items, options, injector_}, CardID, CardData);
        if (options.FileOutput && !closing_) WriteCsvLine();
        return;
    }
    if (n < 0) {
        const std::int32_t code = n & 0x7FFFFFFF;
        if (IsRecoverableError(code) || closing_) return;
        if (Settings.CommSettings.ComPort != 0) {
            TwClose();
            ReaderState = kReaderClosed;
        } else {
            ReaderState = kReaderOpen;
        }
        ShowTrayStatus(ReaderState);
    }
}

int TForm1::InitReader() {
    std::uint8_t attention[8];
    bool answered = false;
    for (int attempt = 0; attempt < kAttentionTries && !answered; ++attempt) {
        answered = TwAttention(attention) == TW_OK;
        if (!answered) WaitPumping(kAttentionPause);
        if (closing_) return -1;
    }
    if (!answered) {
        Timer1->setInterval(kSlowInterval);
        return -1;
    }

    // Room for the longest version text the library returns, terminator included.
    char version[256] = {};
    std::int32_t& readerType = Settings.CommSettings.ReaderType;
    readerType = TwGetVersion(version) == TW_OK ? ReaderTypeFromVersion(version, sizeof version)
                                                : kReaderTypeUndetected;
    ReaderState |= kReaderOpen;

    const CommSettings& comm = Settings.CommSettings;
    const std::int32_t result = comm.AuthMethod != 0 ? TwPWAuthentication(&comm.Keys)
                                                     : TwAuthentication(&comm.Keys, comm.CommMode);
    if (closing_) return -1;
    const int edition = EditionOf(readerType);
    switch (result) {
    case TW_OK:
        ReaderState |= 2;
        break;
    case TW_ERR_AUTH_REFUSED:
        ShowMessage(QStringLiteral("認証エラー"));
        break;
    case TW_ERR_PASSWORD_DISABLED:
        ShowMessage(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ認証無効"));
        break;
    case TW_ERR_READER_REJECTED:
        // A reader without encryption (or an unknown model) counts as ready unauthenticated.
        if (edition == kEditionPlain || edition == kEditionUnsupported) ReaderState |= 2;
        break;
    default:
        ShowMessage(QStringLiteral("レスポンスエラー"));
        break;
    }
    if (closing_) return -1;
    ShowTrayStatus(ReaderState);
    if (ReaderState != kReaderReady) return 0;

    if (edition == kEditionEncrypted || edition == kEditionSsfc) {
        TwCardKeyIdList list{};
        Settings.CardKeyId = TwGetCardKeyID(&list) == TW_OK ? list.KeyId[0] : 0;
        // The FeliCa entries authenticate with this key ID from now on, not only after the
        // next decode of the card parameters.
        for (DecodedEntry& entry : Engine.Entries) entry.KeyId = Settings.CardKeyId;
    }
    Timer1->setInterval(kReadyInterval);
    return 0;
}

void TForm1::ShowTrayStatus(std::int32_t state) {
    const TrayStatus status = TrayStatusFor(state);
    if (state == kReaderClosed) Settings.CommSettings.ReaderType = kReaderTypeUndetected;
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
