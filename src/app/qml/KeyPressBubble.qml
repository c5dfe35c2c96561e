import QtQuick
import Quelmo

// One key's bubble: soft glowing circles in the key's colour with the key on top, popping in
// (0.4 s, overshooting), rippling (every 0.6 s), rising 100 points and fading (1.2 s). Made of plain
// circles (no blur), and moved by the overlay's clock (now, in ms) rather than by animations that
// would run at the display's frame rate. The key fades through its colours' alpha rather than
// an opacity: Qt's raster engine draws text under an opacity a pixel run at a time and hands the
// runs to Qt's thread pool, and the key's glyphs started most of the pool work bubbles made.
Item {
    id: bubble
    property var event
    property real now: born
    readonly property real born: Date.now()
    readonly property real t: Math.max(0, (now - born) / 1000)
    readonly property real settle: Math.min(1, t / 1.2)
    readonly property real easeOut: 1 - (1 - settle) * (1 - settle)
    readonly property color tint: event ? event.color : "cyan"
    width: 100; height: 100
    x: (event ? event.x : 0) - width / 2
    y: (event ? event.y : 0) - height / 2 - 100 * easeOut
    readonly property real fade: 1 - easeOut
    // Out-back over 0.4 s: a pop past full size and back.
    scale: {
        const p = Math.min(1, t / 0.4) - 1
        const s = 2.2
        return 1 + (s + 1) * p * p * p + s * p * p
    }

    Item {
        anchors.fill: parent
        opacity: bubble.fade
        Rectangle { anchors.centerIn: parent; width: 100; height: 100; radius: 50; color: Qt.rgba(bubble.tint.r, bubble.tint.g, bubble.tint.b, 0.15) }
        Rectangle { anchors.centerIn: parent; width: 86; height: 86; radius: 43; color: Qt.rgba(bubble.tint.r, bubble.tint.g, bubble.tint.b, 0.25) }
        Rectangle {
            anchors.centerIn: parent; width: 80; height: 80; radius: 40
            color: Qt.rgba(bubble.tint.r, bubble.tint.g, bubble.tint.b, 0.7); border.color: Qt.rgba(1, 1, 1, 0.6); border.width: 1
        }
        Rectangle { x: 25; y: 25; width: 30; height: 30; radius: 15; color: Qt.rgba(1, 1, 1, 0.3) }
        Repeater {
            model: 3
            Rectangle {
                anchors.centerIn: parent
                width: 80; height: 80; radius: 40
                color: "transparent"; border.color: bubble.tint; border.width: 2
                opacity: 0.6 - index * 0.15
                readonly property real phase: (bubble.t % 0.6) / 0.6
                scale: 1 + (1 + index * 0.2) * (1 - (1 - phase) * (1 - phase))
            }
        }
    }
    Text {
        anchors.centerIn: parent
        text: bubble.event ? bubble.event.key : ""
        textFormat: Text.PlainText
        color: Qt.rgba(1, 1, 1, bubble.fade); font.pixelSize: 28; font.bold: true
        style: Text.Raised; styleColor: Qt.rgba(0, 0, 0, bubble.fade)
    }
}
