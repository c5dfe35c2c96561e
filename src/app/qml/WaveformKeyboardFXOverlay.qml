import QtQuick
import Quelmo

// The keyboard-tuning caption over the waveform: the nudged control's name, its value and a
// rippling level strip, fading in with each nudge and out 1.25 s after the last. It takes no
// mouse input: clicks go to the waveform beneath.
Item {
    id: overlay
    property QuelmoViewModel model
    opacity: model.keyboard.waveformKeyboardFXOn ? 1 : 0
    visible: opacity > 0
    Behavior on opacity { NumberAnimation { duration: 180; easing.type: Easing.InOutQuad } }

    Rectangle {
        anchors.centerIn: parent
        width: Math.min(parent.width - 24, 360)
        height: content.implicitHeight + 20
        radius: 12
        color: Qt.rgba(0, 0, 0, 0.62)
        Column {
            id: content
            anchors.centerIn: parent
            width: parent.width - 24
            spacing: 4
            Text {
                objectName: "keyboardFXTitle"
                text: overlay.model.keyboard.waveformKeyboardFXTitle
                Accessible.name: text
                color: "white"; font.pixelSize: 22; font.bold: true
                anchors.horizontalCenter: parent.horizontalCenter
            }
            Text {
                objectName: "keyboardFXSubtitle"
                text: overlay.model.keyboard.waveformKeyboardFXSubtitle
                Accessible.name: text
                color: "#7dd3fc"; font.pixelSize: 15
                anchors.horizontalCenter: parent.horizontalCenter
            }
            WaveformFXAnimatedBars {
                width: parent.width
                height: 64
                intensity: overlay.model.keyboard.waveformKeyboardFXMeter
            }
        }
    }
}
