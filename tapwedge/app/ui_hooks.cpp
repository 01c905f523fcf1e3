#include "app/ui_hooks.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpacerItem>

#include <utility>

#include "app/title_bar_only.h"

namespace tapwedge::app {
namespace {

// Room in a title bar beside its caption: the window icon and the close box, with margins.
constexpr int kTitleBarButtons = 96;

MessageBoxHook& MessageBoxSlot() {
    static MessageBoxHook hook;
    return hook;
}
InputBoxHook& InputBoxSlot() {
    static InputBoxHook hook;
    return hook;
}
FolderBrowserHook& FolderBrowserSlot() {
    static FolderBrowserHook hook;
    return hook;
}
BeepHook& BeepSlot() {
    static BeepHook hook;
    return hook;
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::Warning: return QMessageBox::Warning;
    case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

int RealMessageBox(const MessageBoxRequest& request) {
    const QString caption =
        request.Caption.isEmpty() ? QApplication::applicationName() : request.Caption;
    QMessageBox box(QtIcon(request.Icon), caption, request.Text,
                    request.YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    // A title bar with a close box only (closed, the box gives its escape answer), above the
    // window that has the keyboard.
    ShowTitleBarOnly(&box);
    box.setWindowFlag(Qt::WindowCloseButtonHint);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // A short text makes a box narrower than its title bar needs for the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int width = QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleBarButtons;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    const int button = box.exec();
    if (!request.YesNo) return kResultOk;
    return button == QMessageBox::Yes ? kResultYes : kResultNo;
}

bool RealInputBox(const QString& caption, const QString& prompt, QString& text, int maxLength) {
    QInputDialog dialog;
    // As the message boxes: a title bar with a close box only (closed, it cancels).
    ShowTitleBarOnly(&dialog);
    dialog.setWindowFlag(Qt::WindowCloseButtonHint);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(text);
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = dialog.textValue();
    return true;
}

bool RealFolderBrowser(const QString& title, QString& folder) {
    // Qt's own dialog: the start folder holds on every desktop.
    const QString chosen = QFileDialog::getExistingDirectory(
        nullptr, title, folder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}

}  // namespace

void ShowMessage(const QString& text) { ShowMessageBox({QString(), text, BoxIcon::None, false}); }

int ShowMessageBox(const MessageBoxRequest& request) {
    const MessageBoxHook hook = MessageBoxSlot();
    return hook ? hook(request) : RealMessageBox(request);
}

int AskYesNo(const QString& caption, const QString& text, BoxIcon icon) {
    return ShowMessageBox({caption, text, icon, true}) == kResultYes ? kResultYes : kResultNo;
}

bool InputBox(const QString& caption, const QString& prompt, QString& text, int maxLength) {
    const InputBoxHook hook = InputBoxSlot();
    return hook ? hook(caption, prompt, text, maxLength)
                : RealInputBox(caption, prompt, text, maxLength);
}

bool BrowseForFolder(const QString& title, QString& folder) {
    const FolderBrowserHook hook = FolderBrowserSlot();
    return hook ? hook(title, folder) : RealFolderBrowser(title, folder);
}

void Beep() {
    const BeepHook hook = BeepSlot();
    if (hook) {
        hook();
    } else {
        QApplication::beep();
    }
}

void CloseModalWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
}

void SetMessageBoxHook(MessageBoxHook hook) { MessageBoxSlot() = std::move(hook); }
void SetInputBoxHook(InputBoxHook hook) { InputBoxSlot() = std::move(hook); }
void SetFolderBrowserHook(FolderBrowserHook hook) { FolderBrowserSlot() = std::move(hook); }
void SetBeepHook(BeepHook hook) { BeepSlot() = std::move(hook); }

}  // namespace tapwedge::app
