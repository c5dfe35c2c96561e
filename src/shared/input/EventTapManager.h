#pragma once

#include <QPointF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

namespace quelmo::shared {

class RawInputListener;

// System-wide mouse and key observation (listen-only: every application still gets its events)
// and synthetic typing, on X11. Each tracking start installs an XInput2 raw-event listener with a
// display connection and a thread of its own; callbacks run on the thread that started the
// tracking, which needs a running Qt event loop. Use from one thread.
class EventTapManager {
public:
    // The pointer's position on the screen, in pixels.
    using MouseCallback = std::function<void(QPointF)>;
    // What the key types (at most 4 UTF-16 units), its X11 key code, and whether it is the key that
    // deletes backwards (BackSpace).
    using KeyCallback = std::function<void(const QString& characters, std::uint16_t keyCode, bool isDelete)>;

    EventTapManager();
    ~EventTapManager();
    EventTapManager(const EventTapManager&) = delete;
    EventTapManager& operator=(const EventTapManager&) = delete;

    // Pointer moves and drags. False at once without accessibility; false with "❌ EventTap: Failed
    // to create mouse tap. Check Accessibility permissions." when the listener cannot start.
    // Replaces an earlier mouse tracking: one delivery per event, however often it is started.
    bool startMouseTracking(MouseCallback callback);
    // Key presses, the same way ("❌ EventTap: Failed to create key tap. Check Input Monitoring
    // permissions.").
    bool startKeyTracking(KeyCallback callback);
    // Removes both listeners and their callbacks; no callback runs after this returns.
    void stopAll();

    bool isMouseTracking() const;
    bool isKeyTracking() const;

    bool checkAccessibility() const;
    static void requestAccessibility();
    static void openAccessibilitySettings();
    static void openInputMonitoringSettings();
    // Types text into the window with the keyboard focus: key down and up per character, 10 ms
    // apart. Logs when there is no X display with XTest to type into. Blocks while it types.
    static void typeText(const QString& text);

private:
    struct Tap;
    std::unique_ptr<Tap> mouseTap_;
    std::unique_ptr<Tap> keyTap_;
};

} // namespace quelmo::shared
