#pragma once

#include "overlay/QuelmoOverlayPresenter.h"

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

#include <map>
#include <memory>

class QQmlEngine;
class QQmlComponent;

namespace quelmo {

// The perform card's windows: one per screen, frameless, above everything, transparent to the
// mouse, never taking focus, and left alone by the window manager. Without a compositor they draw
// opaque, which still reads as the acknowledgement it is.
class OverlayWindowManager final : public QObject, public OverlayWindowHost {
    Q_OBJECT

public:
    explicit OverlayWindowManager(QQmlEngine* engine, QObject* parent = nullptr);
    ~OverlayWindowManager() override;

    std::vector<WindowId> open(const PerformCard& card, double fadeInSeconds) override;
    void fadeOutAndClose(const std::vector<WindowId>& windows, double fadeOutSeconds) override;
    void closeNow(const std::vector<WindowId>& windows) override;

private:
    void animateOpacity(QQuickWindow* window, double to, double seconds, bool closeAfter);

    std::unique_ptr<QQmlComponent> component_;
    std::map<WindowId, QPointer<QQuickWindow>> windows_;
    WindowId next_ = 1;
};

} // namespace quelmo
