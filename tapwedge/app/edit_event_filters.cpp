#include "app/edit_event_filters.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <utility>

namespace tapwedge::app {
namespace {

class KeyFilter : public QObject {
public:
    KeyFilter(QLineEdit* edit, KeyFilterFunction filter) : QObject(edit), filter_(filter) {}

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

class ExitFilter : public QObject {
public:
    ExitFilter(QLineEdit* edit, std::function<void()> onExit)
        : QObject(edit), onExit_(std::move(onExit)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) onExit_();
        }
        return false;
    }

private:
    std::function<void()> onExit_;
};

}  // namespace

void InstallKeyFilter(QLineEdit* edit, KeyFilterFunction filter) {
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->installEventFilter(new KeyFilter(edit, filter));
}

QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit) {
    auto* filter = new ExitFilter(edit, std::move(onExit));
    edit->installEventFilter(filter);
    return filter;
}

}  // namespace tapwedge::app
