import QtQuick
import QtQuick.Window
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

    // The dim and the violet glow, painted once and kept: the wave's frames redraw only their own
    // small area (a Shape filling the screen made every frame repaint the whole window).
    PerformGlowItem { anchors.fill: parent }
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
            Text { text: card.keyCaption; textFormat: Text.PlainText; color: Qt.rgba(0.85, 0.97, 1.0, 1); font.pixelSize: 40; font.weight: Font.Black; anchors.horizontalCenter: parent.horizontalCenter }
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
