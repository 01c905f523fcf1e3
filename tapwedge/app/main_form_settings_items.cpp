// The tray menu's settings items: each pauses polling and the menu around its dialog, and
// applies, saves and decodes what the dialog confirmed.
#include <QAction>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/main_form.h"
#include "app/output_settings_form.h"
#include "app/card_param_form.h"
#include "app/password_form.h"
#include "app/protocol_form.h"
#include "app/tasktray_icon.h"
#include "app/ui_hooks.h"
#include "app/version_form.h"
#include "core/reader_keys_file.h"
#include "core/reader_status.h"
#include "core/settings_io.h"
#include "core/text_format.h"
#include "tagwire/tagwire.h"

namespace tapwedge::app {

template <typename Steps>
void TForm1::AroundDialog(Steps steps) {
    RemoveDeactivationHandler();
    // Paused while the dialog is open, also when the item came without the menu (which pauses).
    if (!Settings.PollingStopped) SetPolling(false);
    EnableMenuItems(false);
    ++dialogsOpen_;
    steps();
    --dialogsOpen_;
    EnableMenuItems(true);
    SetPolling(!N4StopMItem->isChecked());
}

void TForm1::SaveSettingsTold(int mask) {
    errno = 0;
    const int result = SaveSettings(Settings, mask, kIniFileName, SettingsFolder);
    const int error = errno;
    const std::optional<FailureTexts> told =
        SaveNotice.Record(result, error, SettingsFolder + kIniFileName);
    if (!told) return;
    std::fprintf(stderr, "tapwedge: %s\n", told->ErrorLine.c_str());
    if (TrayIcon) {
        TrayIcon->ShowTrayMessage(QString::fromStdString(told->Title),
                                  QString::fromStdString(told->Message));
    }
}

void TForm1::N1SetMItemClick() {
    AroundDialog([this] {
        TForm2 dialog(this, Settings.OutputOptions, Settings.OutputItems);
        if (dialog.exec() != kResultOk) return;
        dialog.Apply(Settings.OutputItems, Settings.OutputOptions);
        SaveSettingsTold(kSaveOutputSettings);
        Engine.SetUidNormalOrder(Settings.OutputOptions.UidNormalOrder);
    });
}

void TForm1::N3PortMItemClick() {
    AroundDialog([this] {
        // A tick waiting for the reader stops where it is.
        ++readerEpoch_;
        TwClose();
        ReaderState = kReaderClosed;
        Settings.PollingStopped = 1;
        ShowTrayStatus(kReaderClosed);

        TProtocol protocol(nullptr, Settings.CommDialogMode);
        const TwAuthKeys keysBefore = Settings.CommSettings.Keys;
        if (protocol.Execute(Settings.CommSettings) != 0) return;
        authMessages_.Forget();
        const TwAuthKeys& keys = Settings.CommSettings.Keys;
        // Keys count as changed against the keys in force, not against the image's key bytes,
        // which are zero while the built-in keys are used: confirming the dialog unchanged must
        // not write the built-in keys into the file.
        if (std::memcmp(&keys, &keysBefore, sizeof keys) != 0 ||
            (Image.HasReaderKeys() && ReaderKeysDiffer(Image, keys))) {
            // The file's card entries stay as the file holds them, whatever is in memory.
            Image.SetReaderKeys(keys);
            if (StoreReaderKeys(Settings.CardFileName, keys, Image) != 0) {
                ShowMessage(QStringLiteral("Paramter保存エラー"));
            }
        }
        SaveSettingsTold(kSaveCommunication);
    });
}

void TForm1::N2CardMItemClick() {
    AroundDialog([this] {
        TPasswordForm password(nullptr, QStringLiteral("58316"), QStringLiteral("パスワード(5桁)"));
        if (password.exec() != kResultOk) return;

        // ISO15693 is offered only while the connected reader handles it.
        Settings.CardDialogFlags = static_cast<std::uint16_t>(
            (Settings.CardDialogFlags & ~kCardDialogIso15693) |
            (Settings.CommSettings.ReaderType & kReaderHandlesIso15693 ? kCardDialogIso15693 : 0));
        // The reader keys in memory stay as they are, whatever file is chosen.
        const std::uint8_t keysFlag = Image.ReaderKeysPresent;
        const TwAuthKeys imageKeys = Image.ReaderKeys;

        TPosParaForm dialog(Settings.CardFileName, Image, Settings.CardDialogFlags,
                            SettingsFolder);
        if (dialog.exec() != kResultOk) return;
        std::string name;
        dialog.TakeResult(Image, name);
        authMessages_.Forget();
        // Bit 7 marks parameters changed in the dialog but saved to no file, so that the dialog
        // opens on them as such; an image saved to or read from a file is no such change.
        if (dialog.KeptOnlyInMemory()) {
            Image.Flags |= CardParamImage::kTemporaryChange;
        } else {
            Image.Flags &= static_cast<std::uint8_t>(~CardParamImage::kTemporaryChange);
        }
        Settings.CardFileName = name.substr(0, kCardFileNameMax);
        Engine.DecodeCardParams(Image.Data(), Settings.OutputOptions.UidNormalOrder,
                                Settings.CardKeyId);
        Image.ReaderKeysPresent = keysFlag;
        Image.ReaderKeys = imageKeys;
        SaveSettingsTold(kSaveCardFile);
        GetAreaLengths(Engine, Settings.OutputItems[1].Length, Settings.OutputItems[2].Length);
    });
}

void TForm1::N6VerMItemClick() {
    AroundDialog([this] {
        TMyVerForm dialog(Settings.CommSettings.ReaderType);
        dialog.exec();
    });
}

}  // namespace tapwedge::app
