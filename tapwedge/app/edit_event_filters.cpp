#include "app/edit_event_filters.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include <utility>

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
        char32_t kept = typed;
        filter_(kept);
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
