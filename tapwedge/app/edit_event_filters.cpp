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

class PressFilter : public QObject {
public:
    PressFilter(QWidget* widget, std::function<void()> onPress)
        : QObject(widget), onPress_(std::move(onPress)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) onPress_();
        return false;
    }

private:
    std::function<void()> onPress_;
};

}  // namespace

void InstallKeyFilter(QLineEdit* edit, KeyFilterFunction filter) {
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->installEventFilter(new KeyFilter(edit, std::move(filter)));
}

QObject* InstallExitHandler(QLineEdit* edit, std::function<void()> onExit) {
    auto* filter = new ExitFilter(edit, std::move(onExit));
    edit->installEventFilter(filter);
    return filter;
}

void InstallMousePressHandler(QWidget* widget, std::function<void()> onPress) {
    widget->installEventFilter(new PressFilter(widget, std::move(onPress)));
}

}  // namespace tapwedge::app
