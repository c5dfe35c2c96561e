import QtQuick
import QtQuick.Shapes
import Quelmo

// The key bubbles over the window: rings behind them once three or more are up, one bubble per
// key of the last second, and in disco mode eight coloured rays from the top. It never takes the
// mouse.
Item {
    id: overlay
    // One delegate per bubble, made when its key is pressed and dropped when it expires.
    readonly property int count: bubbles.count
    function wrap(h) { return h - Math.floor(h) }
    // The bubbles move on this clock, 20 times a second, not on every display frame: with the
    // software renderer each frame repaints everything under every bubble.
    property real now: Date.now()
    Timer {
        interval: 50; repeat: true; running: overlay.count > 0
        onTriggered: overlay.now = Date.now()
    }
    // The rays turn through the colours in steps, every two seconds: they span the whole window, and
    // each change of theirs repaints all of it.
    property real rayHue: 0
    Timer {
        interval: 2000; repeat: true; triggeredOnStart: true; running: KeyboardVisualizer.isDiscoMode
        onTriggered: overlay.rayHue = KeyboardVisualizer.currentHue
    }

    // The rings behind a burst of keys.
    Item {
        anchors.fill: parent
        visible: overlay.count >= 3
        opacity: 0.6
        Repeater {
            model: Math.min(overlay.count, 3)
            Rectangle {
                anchors.centerIn: parent
                width: 2 * (150 + 80 * index); height: width; radius: width / 2
                color: "transparent"; border.width: 2
                border.color: Qt.rgba(0.39, 0.82, 1, 0.3 - 0.08 * index)
            }
        }
    }
    Repeater {
        id: bubbles
        objectName: "keyBubbles"
        model: KeyboardVisualizer.bubbles
        KeyPressBubble { event: model; now: overlay.now }
    }
    // Eight rays from the middle of the top edge, turning through the colours with the show.
    component Ray: ShapePath {
        property int index
        readonly property real angle: index * 2 * Math.PI / 8
        strokeWidth: 6
        strokeColor: Qt.hsva(overlay.wrap(overlay.rayHue + index / 8), 1, 1, 0.2)
        fillColor: "transparent"
        startX: overlay.width / 2; startY: 0
        PathLine {
            x: overlay.width / 2 + Math.cos(angle) * overlay.height * 0.7
            y: Math.sin(angle) * overlay.height * 0.7
        }
    }
    Shape {
        anchors.fill: parent
        visible: KeyboardVisualizer.isDiscoMode
        Ray { index: 0 }
        Ray { index: 1 }
        Ray { index: 2 }
        Ray { index: 3 }
        Ray { index: 4 }
        Ray { index: 5 }
        Ray { index: 6 }
        Ray { index: 7 }
    }
}
