#include "DiscoWindowManager.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>

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
    QScreen* screen = QGuiApplication::primaryScreen();
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
