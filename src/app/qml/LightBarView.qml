import QtQuick
import Quelmo

// The light bar over the top edge of the window: a quiet cyan-to-pink line, or in disco mode a
// taller band in the cycling colours with a glow and the show's speed.
Item {
    id: bar
    readonly property bool disco: KeyboardVisualizer.isDiscoMode
    readonly property real hue: KeyboardVisualizer.currentHue
    readonly property color glow: KeyboardVisualizer.lightBarColor
    function wrap(h) { return h - Math.floor(h) }
    height: disco ? 12 : 6

    Rectangle {
        anchors.fill: parent
        opacity: bar.disco ? 1 : 0.5
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: bar.disco ? Qt.hsva(bar.hue, 1, 1, 1) : Style.named("cyan") }
            GradientStop { position: 1; color: bar.disco ? Qt.hsva(bar.wrap(bar.hue + 0.3), 1, 1, 1) : Style.named("pink") }
        }
    }
    // The glow: the bar's colour fading downward.
    Rectangle {
        visible: bar.disco
        anchors.top: parent.bottom
        width: parent.width
        height: 10
        gradient: Gradient {
            GradientStop { position: 0; color: Qt.rgba(bar.glow.r, bar.glow.g, bar.glow.b, 0.5) }
            GradientStop { position: 1; color: "transparent" }
        }
    }
    Rectangle {
        objectName: "discoIndicator"
        visible: bar.disco
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.top: parent.bottom
        anchors.topMargin: 4
        radius: 8
        color: Qt.rgba(1, 1, 1, 0.2)
        width: indicator.implicitWidth + 16
        height: indicator.implicitHeight + 6
        Row {
            id: indicator
            anchors.centerIn: parent
            spacing: 6
            Text { text: "🪩"; font.pixelSize: 12 }
            Text { text: "DISCO MODE"; color: "white"; font.pixelSize: 12; font.bold: true; Accessible.name: text }
            Text {
                text: Readout.format("%d%%", KeyboardVisualizer.discoIntensity * 100)
                color: "white"; font.pixelSize: 10; anchors.verticalCenter: parent.verticalCenter
            }
        }
    }
}
