#include "keys/LocalKeyMonitor.h"

#include "keys/GlobalKeyMonitor.h"
#include "keys/KeyDecoding.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQuickItem>

namespace quelmo {

LocalKeyMonitor::LocalKeyMonitor(keys::KeyHandler handler) : handler_(std::move(handler)) {
    QCoreApplication::instance()->installEventFilter(this);
}

LocalKeyMonitor::~LocalKeyMonitor() {
    if (auto* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

bool LocalKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    // A press reaches the window first and its items after; it is judged once, at the window.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType()) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    return handler_(keys::keyEventFromQt(key->key(), key->modifiers(), key->text(), key->nativeScanCode(),
                                         key->isAutoRepeat()));
}

namespace {

bool keyboardIsTaken() {
    auto* focus = qobject_cast<QQuickItem*>(QGuiApplication::focusObject());
    for (QQuickItem* item = focus; item; item = item->parentItem()) {
        if (item->inherits("QQuickTextInput") || item->inherits("QQuickTextEdit")) {
            return true;
        }
        // A dialog has the keyboard, unless it says keys pass through it (the keyboard lesson).
        if (item->inherits("QQuickPopupItem") && !(item->parent() && item->parent()->property("passesShortcuts").toBool())) {
            return true;
        }
    }
    return false;
}

} // namespace

void installKeyboardHost() {
    auto& host = keys::keyboardHost();
    host.makeMonitor = [](keys::MonitorKind kind, keys::KeyHandler handler) -> std::shared_ptr<KeyMonitor> {
        if (kind == keys::MonitorKind::local) {
            return std::make_shared<LocalKeyMonitor>(std::move(handler));
        }
        return GlobalKeyMonitor::create(std::move(handler));
    };
    host.keyboardIsTaken = keyboardIsTaken;
}

} // namespace quelmo
