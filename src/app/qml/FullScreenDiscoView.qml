import QtQuick
import QtQuick.Window
import Quelmo

// The full-screen light show: colours wheeling out from the centre at the show's speed, the
// complementary hue in soft circles above, and how to leave. It never takes the mouse.
Window {
    id: disco
    title: "Quelmo Disco"
    color: "transparent"
    property real hue: 0
    readonly property real intensity: KeyboardVisualizer.discoIntensity
    function wrap(h) { return h - Math.floor(h) }

    // Twenty times a second, like the light bar; the rings below repaint as cheap rectangles.
    Timer {
        interval: 50; repeat: true; running: disco.visible
        onTriggered: { disco.hue += disco.intensity * 0.01; if (disco.hue > 1) disco.hue = 0 }
    }
    Rectangle { anchors.fill: parent; color: Qt.hsva(disco.wrap(disco.hue + 0.8), 1, 0.2, 1) }
    Repeater {
        model: 4
        Rectangle {
            readonly property real extent: Math.max(disco.width, disco.height) * (1 - index * 0.22)
            anchors.centerIn: parent
            width: extent; height: extent; radius: extent / 2
            color: Qt.hsva(disco.wrap(disco.hue + 0.2 * (3 - index)), 1, 0.4 + 0.2 * index, 1)
        }
    }
    Repeater {
        model: 3
        Rectangle {
            readonly property real extent: disco.height * (0.25 + 0.1 * index)
            x: disco.width * (0.15 + 0.3 * index); y: disco.height * (0.2 + 0.2 * (index % 2))
            width: extent; height: extent; radius: extent / 2
            color: Qt.hsva(disco.wrap(disco.hue + 0.5), 1, 1, 0.3)
        }
    }
    Column {
        anchors.centerIn: parent
        spacing: 12
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "🪩 FULL SCREEN DISCO MODE 🪩"; color: "white"; font.pixelSize: 32; font.bold: true
            style: Text.Raised; styleColor: "black"
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Press 'D' to toggle disco | 'F' for full screen | ↑/↓ for intensity"
            color: Qt.rgba(1, 1, 1, 0.8); font.pixelSize: 16; style: Text.Raised; styleColor: "black"
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Press 'ESC' to exit full screen"; color: Qt.rgba(1, 1, 1, 0.6); font.pixelSize: 14
        }
    }
}
