#pragma once

#include "visualizer/KeyboardVisualizerManager.h"

#include <QPointer>
#include <QQuickWindow>

#include <memory>

class QQmlEngine;
class QQmlComponent;

namespace quelmo {

// The full-screen disco window: frameless, above everything, on the screen of the deck's window
// (1920 x 1080 at the origin without a screen), transparent to the mouse so clicks reach the windows below, never
// taking the focus. Created when shown, destroyed when hidden.
class DiscoWindowManager final : public DiscoWindowHost {
public:
    explicit DiscoWindowManager(QQmlEngine* engine);
    ~DiscoWindowManager() override;

    void showDiscoWindow() override;
    void hideDiscoWindow() override;
    QQuickWindow* window() const { return window_; }

private:
    std::unique_ptr<QQmlComponent> component_;
    QPointer<QQuickWindow> window_;
};

} // namespace quelmo
