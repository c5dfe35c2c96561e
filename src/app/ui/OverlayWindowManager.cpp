#include "OverlayWindowManager.h"

#include "shared/Log.h"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>

#include <algorithm>

namespace quelmo {

OverlayWindowManager::OverlayWindowManager(QQmlEngine* engine, QObject* parent)
    : QObject(parent),
      component_(std::make_unique<QQmlComponent>(engine, QUrl(QStringLiteral("qrc:/Quelmo/QuelmoPerformModeOverlay.qml")))) {
    if (component_->isError()) {
        logLine("Quelmo: perform overlay unavailable: " + component_->errorString().toStdString());
    }
    // For benchmarks: the deck without its card, to tell the card's cost from the rest of a hit's.
    enabled_ = qgetenv("QUELMO_PERFORM_CARD") != "off";
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(keepHiddenMs);
    connect(&releaseTimer_, &QTimer::timeout, this, &OverlayWindowManager::releaseHidden);
}

OverlayWindowManager::~OverlayWindowManager() {
    for (auto& window : all_) {
        delete window.data();
    }
}

std::vector<OverlayWindowHost::WindowId> OverlayWindowManager::open(const PerformCard& card, double fadeInSeconds) {
    std::vector<WindowId> opened;
    if (!component_->isReady() || !enabled_) {
        return opened;
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        QQuickWindow* window = takeSpare(screen);
        if (!window) {
            window = create(screen);
        }
        if (!window) {
            continue;
        }
        window->setProperty("title", card.title);
        window->setProperty("subtitle", card.subtitle);
        window->setProperty("meter", card.meter);
        window->setProperty("keyCaption", card.keyCaption);
        window->setOpacity(0.0);
        window->show();
        animateOpacity(window, 1.0, fadeInSeconds, false);
        const WindowId id = next_++;
        windows_[id] = window;
        opened.push_back(id);
    }
    return opened;
}

QQuickWindow* OverlayWindowManager::takeSpare(QScreen* screen) {
    std::erase_if(spares_, [](const QPointer<QQuickWindow>& w) { return w.isNull(); });
    // One still on screen first (a card replaced at once), then a hidden one.
    for (const bool wantVisible : {true, false}) {
        for (auto it = spares_.begin(); it != spares_.end(); ++it) {
            QQuickWindow* window = *it;
            if (window->screen() == screen && window->isVisible() == wantVisible) {
                spares_.erase(it);
                window->setGeometry(screen->geometry());
                return window;
            }
        }
    }
    return nullptr;
}

QQuickWindow* OverlayWindowManager::create(QScreen* screen) {
    QObject* object = component_->create();
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window) {
        delete object;
        return nullptr;
    }
    window->setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                     Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::Tool);
    window->setScreen(screen);
    window->setGeometry(screen->geometry());
    window->setColor(Qt::transparent);
    all_.push_back(window);
    ++created_;
    return window;
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
    bool released = false;
    for (const WindowId id : windows) {
        if (auto it = windows_.find(id); it != windows_.end()) {
            if (QQuickWindow* window = it->second) {
                stopFades(window);
                release(window);
                released = true;
            }
            windows_.erase(it);
        }
    }
    if (released) {
        // A flash opens its card right after this; whatever it does not take goes off screen.
        QMetaObject::invokeMethod(this, &OverlayWindowManager::hideSpares, Qt::QueuedConnection);
    }
}

void OverlayWindowManager::release(QQuickWindow* window) {
    spares_.push_back(window);
    releaseTimer_.start();
}

void OverlayWindowManager::hideSpares() {
    for (auto& window : spares_) {
        if (window && window->isVisible()) {
            window->hide();
        }
    }
}

void OverlayWindowManager::releaseHidden() {
    std::erase_if(spares_, [this](const QPointer<QQuickWindow>& window) {
        if (window && window->isVisible()) {
            return false;
        }
        if (window) {
            std::erase(all_, window);
            window->deleteLater();
        }
        return true;
    });
    std::erase_if(all_, [](const QPointer<QQuickWindow>& w) { return w.isNull(); });
}

void OverlayWindowManager::stopFades(QQuickWindow* window) {
    for (auto* animation : window->findChildren<QPropertyAnimation*>(Qt::FindDirectChildrenOnly)) {
        animation->stop(); // deletes it; a stopped fade-out does not hide the window
    }
}

void OverlayWindowManager::animateOpacity(QQuickWindow* window, double to, double seconds, bool hideAfter) {
    stopFades(window);
    auto* animation = new QPropertyAnimation(window, "opacity", window);
    animation->setDuration(static_cast<int>(seconds * 1000.0));
    animation->setStartValue(window->opacity());
    animation->setEndValue(to);
    if (hideAfter) {
        connect(animation, &QPropertyAnimation::finished, this, [this, window = QPointer<QQuickWindow>(window)] {
            if (window) {
                window->hide();
                release(window);
            }
        });
    }
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace quelmo
