import QtQuick
import Quelmo

// One key's bubble: soft glowing circles in the key's colour with the key on top, popping in,
// rippling, rising and fading. Made of plain circles (no blur) so a quick typist costs little.
Item {
    id: bubble
    property var event
    readonly property color tint: event ? event.color : "cyan"
    width: 100; height: 100
    x: (event ? event.x : 0) - width / 2
    y: (event ? event.y : 0) - height / 2 + rise
    property real rise: 0
    scale: 0

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
            id: ring
            anchors.centerIn: parent
            width: 80; height: 80; radius: 40
            color: "transparent"; border.color: bubble.tint; border.width: 2
            opacity: 0.6 - index * 0.15
            // Two ripples: the bubble is gone after a second.
            NumberAnimation on scale { from: 1; to: 2 + index * 0.2; duration: 600; loops: 2; easing.type: Easing.OutQuad }
        }
    }
    Text {
        anchors.centerIn: parent
        text: bubble.event ? bubble.event.key : ""
        color: "white"; font.pixelSize: 28; font.bold: true
        style: Text.Raised; styleColor: "black"
    }

    NumberAnimation on scale { from: 0; to: 1; duration: 400; easing.type: Easing.OutBack; easing.overshoot: 2.2 }
    NumberAnimation on rise { from: 0; to: -100; duration: 1200; easing.type: Easing.OutQuad }
    NumberAnimation on opacity { from: 1; to: 0; duration: 1200; easing.type: Easing.OutQuad }
}
