#include "keys/LocalKeyMonitor.h"

#include "keys/GlobalKeyMonitor.h"
#include "keys/KeyDecoding.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQuickItem>

#include <algorithm>
#include <vector>

namespace quelmo {

class LocalKeyHub final : public QObject {
public:
    static LocalKeyHub& instance() {
        static auto* hub = new LocalKeyHub; // never destroyed
        return *hub;
    }
    void add(LocalKeyMonitor* monitor) {
        if (monitors_.empty()) {
            QCoreApplication::instance()->installEventFilter(this);
        }
        monitors_.push_back(monitor);
    }
    void remove(LocalKeyMonitor* monitor) {
        std::erase(monitors_, monitor);
        if (monitors_.empty()) {
            if (auto* app = QCoreApplication::instance()) {
                app->removeEventFilter(this);
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A press reaches the window first and its items after; it is judged once, at the window.
        if (event->type() != QEvent::KeyPress || !watched->isWindowType()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const keys::KeyEvent decoded = keys::keyEventFromQt(key->key(), key->modifiers(), key->text(),
                                                            key->nativeScanCode(), key->isAutoRepeat(), x11CapsLockOn());
        bool consumed = false;
        // A handler may drop a monitor (the switch turned off): walk a copy.
        const std::vector<LocalKeyMonitor*> monitors = monitors_;
        for (LocalKeyMonitor* monitor : monitors) {
            if (std::find(monitors_.begin(), monitors_.end(), monitor) != monitors_.end()) {
                consumed = monitor->handler_(decoded) || consumed;
            }
        }
        return consumed;
    }

private:
    std::vector<LocalKeyMonitor*> monitors_;
};

LocalKeyMonitor::LocalKeyMonitor(keys::KeyHandler handler) : handler_(std::move(handler)) {
    LocalKeyHub::instance().add(this);
}

LocalKeyMonitor::~LocalKeyMonitor() { LocalKeyHub::instance().remove(this); }

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
