#include "DiscoWindowManager.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>
#include <QWindow>

namespace quelmo {

DiscoWindowManager::DiscoWindowManager(QQmlEngine* engine)
    : component_(std::make_unique<QQmlComponent>(engine, QUrl(QStringLiteral("qrc:/Quelmo/FullScreenDiscoView.qml")))) {}

DiscoWindowManager::~DiscoWindowManager() { hideDiscoWindow(); }

void DiscoWindowManager::showDiscoWindow() {
    if (window_) {
        return;
    }
    QObject* object = component_->create();
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window) {
        delete object;
        return;
    }
    window->setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                     Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::Tool);
    // The screen the deck's window is on; the primary one when that is not known.
    QScreen* screen = QGuiApplication::primaryScreen();
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (w->isVisible() && w->title() == QLatin1String("Quelmo") && w->screen()) {
            screen = w->screen();
            break;
        }
    }
    if (screen) {
        window->setScreen(screen);
        window->setGeometry(screen->geometry());
    } else {
        window->setGeometry(0, 0, 1920, 1080);
    }
    window->setColor(Qt::transparent);
    window->show();
    window_ = window;
}

void DiscoWindowManager::hideDiscoWindow() {
    if (window_) {
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
    }
}

} // namespace quelmo
