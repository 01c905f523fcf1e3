#include "app/edit_event_filters.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
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
    KeyFilter(QObject* owner, KeyFilterFunction filter)
        : QObject(owner), filter_(std::move(filter)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return FilterTypedText(watched, event, filter_);
    }

private:
    KeyFilterFunction filter_;
};

// The editing keys pass unfiltered: control characters, and Delete, which carries 127.
bool IsEditingKey(char32_t c, const QKeyEvent& key) {
    return c < 32 || (c == 127 && key.key() == Qt::Key_Delete);
}

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

bool FilterTypedText(QObject* target, QEvent* event, const KeyFilterFunction& filter) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty()) return false;  // no character: cursor keys and the like
        QString kept;
        for (const char32_t c : text.toUcs4()) {
            const char32_t changed = IsEditingKey(c, *key) ? c : filter(c);
            if (changed != 0) kept.append(QString::fromUcs4(&changed, 1));
        }
        if (kept == text) return false;
        // The substitute passes this filter again unchanged: every filter keeps what it gives.
        if (!kept.isEmpty()) {
            QKeyEvent substitute(key->type(), key->key(), key->modifiers(), kept,
                                 key->isAutoRepeat(), static_cast<quint16>(key->count()));
            QCoreApplication::sendEvent(target, &substitute);
        }
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        const auto* input = static_cast<const QInputMethodEvent*>(event);
        const QString committed = QString::fromStdU32String(
            FilterPastedText(input->commitString().toStdU32String(), filter));
        // Text still being composed is not shown: the box shows only what it would store.
        if (input->preeditString().isEmpty() && committed == input->commitString()) return false;
        QInputMethodEvent substitute;
        substitute.setCommitString(committed, input->replacementStart(),
                                   input->replacementLength());
        QCoreApplication::sendEvent(target, &substitute);
        return true;
    }
    return false;
}

void InstallKeyFilter(QWidget* widget, KeyFilterFunction filter) {
    widget->setAttribute(Qt::WA_InputMethodEnabled, false);
    widget->installEventFilter(new KeyFilter(widget, std::move(filter)));
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
