#pragma once
// The program's message boxes, input box, folder browser and beep. Every window of the program
// asks through these functions, so that tests can answer in place of the user.
#include <QString>

#include <functional>

namespace tapwedge::app {

// Modal results of the program's dialogs and boxes.
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

enum class BoxIcon { None, Information, Warning };

struct MessageBoxRequest {
    QString Caption;  // empty: the program's name
    QString Text;
    BoxIcon Icon = BoxIcon::None;
    bool YesNo = false;  // buttons Yes and No instead of OK
};

// Answers kResultOk for an OK box, kResultYes or kResultNo for a Yes/No box.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;
// Returns true with `text` replaced by the entry, false when cancelled.
using InputBoxHook = std::function<bool(const QString& caption, const QString& prompt,
                                        QString& text, int maxLength)>;
// Returns true with `folder` replaced by the chosen folder, false when cancelled.
using FolderBrowserHook = std::function<bool(const QString& title, QString& folder)>;
using BeepHook = std::function<void()>;

// A plain message with an OK button.
void ShowMessage(const QString& text);
int ShowMessageBox(const MessageBoxRequest& request);
// kResultYes or kResultNo.
int AskYesNo(const QString& caption, const QString& text, BoxIcon icon = BoxIcon::Warning);
bool InputBox(const QString& caption, const QString& prompt, QString& text, int maxLength);
bool BrowseForFolder(const QString& title, QString& folder);
void Beep();

// Closes every modal dialog and box that is open (as Cancel would): an end request must not
// wait for the user.
void CloseModalWindows();

// An empty hook restores the real box, browser or beep.
void SetMessageBoxHook(MessageBoxHook hook);
void SetInputBoxHook(InputBoxHook hook);
void SetFolderBrowserHook(FolderBrowserHook hook);
void SetBeepHook(BeepHook hook);

}  // namespace tapwedge::app
