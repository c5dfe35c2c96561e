import QtQuick

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
        height: Math.max(0, Math.min(1, bar.level)) * (parent.height - 2)
        gradient: Gradient {
            GradientStop { position: 0.0; color: Qt.rgba(1, 0, 0, Math.min(1, bar.level * 1.2)) }
            GradientStop { position: 0.5; color: bar.tint }
            GradientStop { position: 1.0; color: Qt.rgba(bar.tint.r, bar.tint.g, bar.tint.b, 0.45) }
        }
    }
}
