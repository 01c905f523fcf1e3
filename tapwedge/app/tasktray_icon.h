#pragma once
// The program's icon in the desktop's notification area. A left click (also the second one of a
// quick pair, which the desktop reports as a double click) opens the left menu at the cursor; a
// right click opens the right menu, which the program leaves unset. While a window of the program
// is modal, a click brings that window back to the front instead (un-minimised, raised, active),
// whatever the tray host: a dialog hidden by minimising must not leave the user without a way back.
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace tapwedge::app {

class TTasktrayIcon : public QObject {
    Q_OBJECT
public:
    enum Operation { kAdd = 0, kModify = 1, kDelete = 2 };
    static constexpr int kMaxTipLength = 63;  // characters of the tip that are shown

    // Called before a menu opens: button 0 left, 1 right, and the cursor position.
    using MouseUpHandler = std::function<void(TTasktrayIcon* sender, std::uint8_t button, int x, int y)>;

    explicit TTasktrayIcon(QObject* owner);
    ~TTasktrayIcon() override;

    // Sets only what is given (not null).
    void Configure(QWidget* form, const QIcon* icon, QMenu* left, QMenu* right);
    // Adds, modifies or deletes the icon; true when the desktop has a tray that took it.
    bool NotifyIcon(int operation, const QString& tip);
    // A further line of the tip, shown below the tip of NotifyIcon until it is set empty.
    void SetTipNote(const QString& note);
    // A warning message beside the icon (the desktop's notification, or Qt's balloon).
    void ShowTrayMessage(const QString& title, const QString& text);

    QString Title = QStringLiteral("Tasktray");
    QWidget* OwnerForm = nullptr;
    QMenu* LeftMenu = nullptr;
    QMenu* RightMenu = nullptr;
    MouseUpHandler OnMouseUp;
    QIcon Icon;
    // The messages shown so far and the last one's text.
    int MessagesShown = 0;
    QString LastMessage;

    // The icon as the desktop sees it.
    QSystemTrayIcon& TrayIcon() { return tray_; }

private:
    struct Click {
        std::uint8_t Button;
        QPoint At;
    };
    class BlockedClicks;
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void ButtonUp(std::uint8_t button);
    void HandleClick(const Click& click);
    // Whether an X window is the icon's own (an XEmbed tray's).
    bool IsIconWindow(WId window) const;
    void ShowTip();

    QSystemTrayIcon tray_;
    // A click during a polling tick opens the menu only once the tick has ended (a menu that
    // opened would take the keys of a card being typed, or run its items inside the tick's
    // waits); the last one is kept.
    std::optional<Click> keptClick_;
    std::unique_ptr<BlockedClicks> blockedClicks_;
    QString tip_;
    QString tipNote_;
};

}  // namespace tapwedge::app
