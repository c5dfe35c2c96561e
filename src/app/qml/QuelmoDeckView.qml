import QtQuick
import QtQuick.Layouts
import Quelmo

// The deck screen. It owns the one deck controller for its whole life and starts the audio graph
// when it appears.
Rectangle {
    id: deck
    color: "#0a0a0f"

    property QuelmoViewModel model: QuelmoViewModel {}

    NumberAnimation on opacity { from: 0; to: 1; duration: 400; easing.type: Easing.InOutQuad }

    Component.onCompleted: model.prepareAudioEngineIfNeeded()

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 24

        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "QUELMO"
            color: "white"
            font.pixelSize: 34
            font.bold: true
            font.letterSpacing: 6
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: Math.round(deck.model.bpm) + " BPM"
            color: "#9d9ab0"
            font.pixelSize: 14
        }
        GridLayout {
            Layout.alignment: Qt.AlignHCenter
            columns: 4
            columnSpacing: 12
            rowSpacing: 12
            Repeater {
                model: deck.model.padLabels
                Rectangle {
                    required property string modelData
                    required property int index
                    width: 120; height: 80; radius: 12
                    color: "#17141f"
                    border.color: "#302c3e"
                    Text {
                        anchors.centerIn: parent
                        text: (parent.index + 1) + "  " + parent.modelData.toUpperCase()
                        color: "white"
                        font.pixelSize: 14
                        font.bold: true
                    }
                }
            }
        }
    }
}
