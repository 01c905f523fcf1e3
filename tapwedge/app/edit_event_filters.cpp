#include "app/edit_event_filters.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <utility>

#include "core/key_filters.h"

namespace tapwedge::app {
namespace {

class KeyFilter : public QObject {
public:
    KeyFilter(QLineEdit* edit, KeyFilterFunction filter)
        : QObject(edit), filter_(std::move(filter)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || forwarding_) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty()) return false;
        // One character per key press; a surrogate pair is one character.
        const char32_t typed = text.toUcs4().value(0);
        const char32_t kept = filter_(typed);
        if (kept == typed) return false;
        if (kept == 0) return true;
        const QString replaced = QString::fromUcs4(&kept, 1);
        QKeyEvent substitute(key->type(), key->key(), key->modifiers(), replaced,
                             key->isAutoRepeat(), static_cast<ushort>(key->count()));
        forwarding_ = true;
        QCoreApplication::sendEvent(watched, &substitute);
        forwarding_ = false;
        return true;
    }

private:
    KeyFilterFunction filter_;
    bool forwarding_ = false;
};

class PasteFilter : public QObject {
public:
    PasteFilter(QLineEdit* edit, KeyFilterFunction filter, int maxChars, TooLongPaste tooLong)
        : QObject(edit), edit_(edit), filter_(std::move(filter)), maxChars_(maxChars),
          tooLong_(tooLong) {
        if (tooLong_ == TooLongPaste::ShownWhole) {
            connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
                edit_->setMaxLength(std::max<int>(maxChars_, text.size()));
            });
        }
    }

    // An editable combo box has the keyboard and hands keys on to its edit itself, past the
    // edit's filters: its paste keys are taken here too.
    void WatchComboBox() {
        auto* combo = qobject_cast<QComboBox*>(edit_->parentWidget());
        if (combo != nullptr && combo->lineEdit() == edit_) {
            combo_ = combo;
            combo->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == combo_ && combo_ != nullptr) {
            if (event->type() != QEvent::KeyPress) return false;
        } else if (watched != edit_) {
            return false;
        }
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->matches(QKeySequence::Paste)) return false;
            // Ctrl+Shift+Insert pastes the selection where the platform has one, as the edit does.
            const bool selection = key->key() == Qt::Key_Insert &&
                                   key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
            Paste(selection ? QClipboard::Selection : QClipboard::Clipboard);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::MiddleButton ||
                !QGuiApplication::clipboard()->supportsSelection()) {
                return false;
            }
            // At the place clicked (the press put the cursor there), not over a selection.
            edit_->deselect();
            Paste(QClipboard::Selection);
            return true;
        }
        case QEvent::ContextMenu:
            ShowContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        default:
            return false;
        }
    }

private:
    // The edit's own menu, with its paste item pasting through the filter. The item is the one
    // whose text is the edit's (translated) paste text, shortcut aside.
    void ShowContextMenu(const QPoint& at) {
        QMenu* menu = edit_->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const QString pasteText = QLineEdit::tr("&Paste");
        for (QAction* action : menu->actions()) {
            if (action->text().section(QLatin1Char('\t'), 0, 0) != pasteText) continue;
            QObject::disconnect(action, nullptr, edit_, nullptr);
            connect(action, &QAction::triggered, this, [this] { Paste(QClipboard::Clipboard); });
        }
        menu->popup(at);
    }

    void Paste(QClipboard::Mode mode) {
        if (edit_->isReadOnly()) return;
        const std::u32string kept =
            FilterPastedText(QGuiApplication::clipboard()->text(mode).toStdU32String(), filter_);
        if (kept.empty()) return;
        const QString text = QString::fromStdU32String(kept);
        const int length = edit_->text().size() - edit_->selectedText().size() + text.size();
        if (length > std::min(maxChars_, edit_->maxLength())) {
            if (tooLong_ == TooLongPaste::Refused) return;
            edit_->setMaxLength(length);
        }
        edit_->insert(text);
    }

    QLineEdit* edit_;
    QComboBox* combo_ = nullptr;
    KeyFilterFunction filter_;
    int maxChars_;
    TooLongPaste tooLong_;
};

// Shows every event of the object it watches to a handler; the event goes on to the object.
class EventWatcher : public QObject {
public:
    EventWatcher(QObject* watched, std::function<void(const QEvent&)> handler)
        : QObject(watched), handler_(std::move(handler)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        handler_(*event);
        return false;
    }

private:
    std::function<void(const QEvent&)> handler_;
};

}  // namespace

void InstallKeyFilter(QLineEdit* edit, KeyFilterFunction filter) {
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->installEventFilter(new KeyFilter(edit, std::move(filter)));
}

void InstallPasteFilter(QLineEdit* edit, KeyFilterFunction filter, int maxChars,
                        TooLongPaste tooLong) {
    edit->setAcceptDrops(false);  // a drop inserts its text as it is
    auto* pasteFilter = new PasteFilter(edit, std::move(filter), maxChars, tooLong);
    edit->installEventFilter(pasteFilter);
    pasteFilter->WatchComboBox();
}

QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit) {
    return new EventWatcher(edit, [onExit = std::move(onExit)](const QEvent& event) {
        if (event.type() != QEvent::FocusOut) return;
        const Qt::FocusReason reason = static_cast<const QFocusEvent&>(event).reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) onExit();
    });
}

void InstallMousePressHandler(QWidget* widget, std::function<void()> onPress) {
    new EventWatcher(widget, [onPress = std::move(onPress)](const QEvent& event) {
        const QEvent::Type type = event.type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) onPress();
    });
}

}  // namespace tapwedge::app
