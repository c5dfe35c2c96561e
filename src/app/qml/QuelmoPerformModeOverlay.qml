import QtQuick
import QtQuick.Window
import QtQuick.Shapes
import Quelmo

// The perform card: a dimmed, glowing full-screen layer with the key pressed, a title, a subtitle
// and a wave that follows the meter. One window per screen; see OverlayWindowManager.
Window {
    id: card
    property string title
    property string subtitle
    property real meter: 0
    property string keyCaption
    color: "transparent"

    Item {
        // The dim and the glow never change while the card is up: drawn once into a layer and
        // copied from there, so the wave's frames do not fill a screen-sized gradient again.
        anchors.fill: parent
        layer.enabled: true
        Rectangle { anchors.fill: parent; color: Qt.rgba(0, 0, 0, 0.78) }
        Shape {
            // The glow: violet at 38 % fading to clear between radii 40 and 520, a little above centre.
            anchors.fill: parent
            ShapePath {
                strokeColor: "transparent"
                fillGradient: RadialGradient {
                    centerX: card.width * 0.5; centerY: card.height * 0.42; centerRadius: 520
                    focalX: centerX; focalY: centerY; focalRadius: 40
                    GradientStop { position: 0.0; color: Qt.rgba(0.45, 0.15, 0.55, 0.38) }
                    GradientStop { position: 1.0; color: "transparent" }
                }
                startX: 0; startY: 0
                PathLine { x: card.width; y: 0 }
                PathLine { x: card.width; y: card.height }
                PathLine { x: 0; y: card.height }
                PathLine { x: 0; y: 0 }
            }
        }
    }
    Column {
        anchors.centerIn: parent
        width: Math.min(520, card.width - 40)
        spacing: 16
        Text {
            text: "Quelmo"; color: Qt.rgba(1, 1, 1, 0.6); font.pixelSize: 13; font.bold: true; font.letterSpacing: 3
            anchors.horizontalCenter: parent.horizontalCenter
        }
        Column {
            visible: card.keyCaption.length > 0
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 4
            Text { text: "You pressed"; color: Qt.rgba(1, 1, 1, 0.5); font.pixelSize: 15; font.weight: Font.DemiBold; anchors.horizontalCenter: parent.horizontalCenter }
            Text { text: card.keyCaption; color: Qt.rgba(0.85, 0.97, 1.0, 1); font.pixelSize: 40; font.weight: Font.Black; anchors.horizontalCenter: parent.horizontalCenter }
        }
        Text {
            width: parent.width
            text: card.title; color: "white"; font.pixelSize: 40; font.weight: Font.ExtraBold
            horizontalAlignment: Text.AlignHCenter; wrapMode: Text.WordWrap
        }
        Text {
            width: parent.width
            text: card.subtitle; color: Qt.rgba(1, 1, 1, 0.85); font.pixelSize: 18; font.weight: Font.DemiBold
            horizontalAlignment: Text.AlignHCenter; wrapMode: Text.WordWrap
        }
        PerformWaveStack { width: parent.width; height: 120; intensity: Style.waveIntensity(card.meter) }
        Text {
            text: "Keyboard perform mode"; color: Qt.rgba(1, 1, 1, 0.5); font.pixelSize: 11; font.weight: Font.Medium
            anchors.horizontalCenter: parent.horizontalCenter
        }
    }
}
