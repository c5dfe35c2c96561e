#include "shared/input/EventTapManager.h"

#include "shared/Log.h"
#include "shared/input/RawInputListener.h"
#include "shared/input/XTestTyper.h"
#include "shared/permissions/PermissionsManager.h"

#include <QObject>

#include <X11/keysym.h>

namespace quelmo::shared {

// One installed listener and the object, living on the starting thread, that its events are
// queued to. The listener goes first: once it has stopped nothing new is queued, and deleting the
// context drops whatever is still waiting.
struct EventTapManager::Tap {
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<RawInputListener> listener;

    ~Tap() { listener.reset(); }
};

EventTapManager::EventTapManager() = default;

EventTapManager::~EventTapManager() {
    stopAll();
}

bool EventTapManager::startMouseTracking(MouseCallback callback) {
    if (!checkAccessibility()) {
        return false;
    }
    mouseTap_.reset();
    auto tap = std::make_unique<Tap>();
    QObject* context = tap->context.get();
    tap->listener = RawInputListener::create(
        {.keys = {}, .pointer = [context, callback = std::move(callback)](double x, double y) {
             QMetaObject::invokeMethod(
                 context, [callback, point = QPointF(x, y)] { callback(point); }, Qt::QueuedConnection);
         }});
    if (!tap->listener) {
        logLine(QStringLiteral("❌ EventTap: Failed to create mouse tap. Check Accessibility permissions."));
        return false;
    }
    mouseTap_ = std::move(tap);
    logLine(QStringLiteral("✅ Mouse tracking started"));
    return true;
}

bool EventTapManager::startKeyTracking(KeyCallback callback) {
    if (!checkAccessibility()) {
        return false;
    }
    keyTap_.reset();
    auto tap = std::make_unique<Tap>();
    QObject* context = tap->context.get();
    tap->listener = RawInputListener::create(
        {.keys =
             [context, callback = std::move(callback)](const RawKeyPress& press) {
                 const QString characters = press.text.left(4);
                 const auto keyCode = static_cast<std::uint16_t>(press.keycode);
                 const bool isDelete = press.baseKeysym == XK_BackSpace;
                 QMetaObject::invokeMethod(
                     context,
                     [callback, characters, keyCode, isDelete] { callback(characters, keyCode, isDelete); },
                     Qt::QueuedConnection);
             },
         .pointer = {}});
    if (!tap->listener) {
        logLine(QStringLiteral("❌ EventTap: Failed to create key tap. Check Input Monitoring permissions."));
        return false;
    }
    keyTap_ = std::move(tap);
    logLine(QStringLiteral("✅ Key tracking started"));
    return true;
}

void EventTapManager::stopAll() {
    mouseTap_.reset();
    keyTap_.reset();
}

bool EventTapManager::isMouseTracking() const {
    return mouseTap_ != nullptr;
}
bool EventTapManager::isKeyTracking() const {
    return keyTap_ != nullptr;
}

bool EventTapManager::checkAccessibility() const {
    return PermissionsManager::isAccessibilityGranted();
}

void EventTapManager::requestAccessibility() {
    PermissionsManager::requestAccessibility();
}
void EventTapManager::openAccessibilitySettings() {
    PermissionsManager::openAccessibilitySettings();
}
void EventTapManager::openInputMonitoringSettings() {
    PermissionsManager::openInputMonitoringSettings();
}

void EventTapManager::typeText(const QString& text) {
    if (!XTestTyper::type(text)) {
        logLine(QStringLiteral("❌ EventTap: Cannot type: no X display with the XTest extension"));
    }
}

} // namespace quelmo::shared
