#include "OverlayWindowManager.h"

#include "util/Log.h"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>

namespace quelmo {

OverlayWindowManager::OverlayWindowManager(QQmlEngine* engine, QObject* parent)
    : QObject(parent),
      component_(std::make_unique<QQmlComponent>(engine, QUrl(QStringLiteral("qrc:/Quelmo/QuelmoPerformModeOverlay.qml")))) {
    if (component_->isError()) {
        logLine("Quelmo: perform overlay unavailable: " + component_->errorString().toStdString());
    }
}

OverlayWindowManager::~OverlayWindowManager() {
    for (auto& [id, window] : windows_) {
        delete window.data();
    }
}

std::vector<OverlayWindowHost::WindowId> OverlayWindowManager::open(const PerformCard& card, double fadeInSeconds) {
    std::vector<WindowId> opened;
    if (!component_->isReady()) {
        return opened;
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        QObject* object = component_->createWithInitialProperties({{"title", card.title},
                                                                    {"subtitle", card.subtitle},
                                                                    {"meter", card.meter},
                                                                    {"keyCaption", card.keyCaption}});
        auto* window = qobject_cast<QQuickWindow*>(object);
        if (!window) {
            delete object;
            continue;
        }
        window->setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                         Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::Tool);
        window->setScreen(screen);
        window->setGeometry(screen->geometry());
        window->setColor(Qt::transparent);
        window->setOpacity(0.0);
        window->show();
        animateOpacity(window, 1.0, fadeInSeconds, false);
        const WindowId id = next_++;
        windows_[id] = window;
        opened.push_back(id);
    }
    return opened;
}

void OverlayWindowManager::fadeOutAndClose(const std::vector<WindowId>& windows, double fadeOutSeconds) {
    for (const WindowId id : windows) {
        if (auto it = windows_.find(id); it != windows_.end()) {
            if (it->second) {
                animateOpacity(it->second, 0.0, fadeOutSeconds, true);
            }
            windows_.erase(it);
        }
    }
}

void OverlayWindowManager::closeNow(const std::vector<WindowId>& windows) {
    for (const WindowId id : windows) {
        if (auto it = windows_.find(id); it != windows_.end()) {
            if (QQuickWindow* window = it->second) {
                window->close();
                window->deleteLater();
            }
            windows_.erase(it);
        }
    }
}

void OverlayWindowManager::animateOpacity(QQuickWindow* window, double to, double seconds, bool closeAfter) {
    auto* animation = new QPropertyAnimation(window, "opacity", window);
    animation->setDuration(static_cast<int>(seconds * 1000.0));
    animation->setStartValue(window->opacity());
    animation->setEndValue(to);
    if (closeAfter) {
        connect(animation, &QPropertyAnimation::finished, window, [window] {
            window->close();
            window->deleteLater();
        });
    }
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace quelmo
