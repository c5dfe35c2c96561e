import QtQuick
import Quelmo

// A 14 x 72 vertical level bar: the fill follows level (clamped to the bar), tinted, reddening
// toward the top as the level rises. The level already moves smoothly (the deck's meter ballistics,
// 24 steps a second), so the bar is not animated between steps: an animation would redraw the
// window at the display's full rate whenever anything plays. The fill has square corners: the
// software renderer fills a plain gradient rectangle directly, where a rounded one is painted into
// an image first, again at every step.
Rectangle {
    id: bar
    property real level: 0
    property color tint: "cyan"
    // The level as drawn: only while the bar can be seen does it follow the meter, so a bar
    // scrolled out of sight or in a hidden window changes nothing and asks for no frame.
    readonly property real shown: InSight.seen ? Math.max(0, Math.min(1, level)) : 0
    width: 14
    height: 72
    radius: 3
    color: Qt.rgba(0, 0, 0, 0.5)
    border.color: Qt.rgba(1, 1, 1, 0.15)
    clip: true
    Rectangle {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 2
        height: bar.shown * (parent.height - 2)
        gradient: Gradient {
            GradientStop { position: 0.0; color: Qt.rgba(1, 0, 0, Math.min(1, bar.shown * 1.2)) }
            GradientStop { position: 0.5; color: bar.tint }
            GradientStop { position: 1.0; color: Qt.rgba(bar.tint.r, bar.tint.g, bar.tint.b, 0.45) }
        }
    }
}
