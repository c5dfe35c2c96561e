import QtQuick
import QtQuick.Layouts
import Quelmo

// The eight pads and the switch for their keys.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    readonly property var padColors: ["red", "orange", "yellow", "green", "cyan", "blue", "purple", "pink"]
    ColumnLayout {
        width: parent.width
        spacing: 12
        RowLayout {
            Text { text: "PERFORMANCE PADS"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonToggle {
                objectName: "keyboardToggle"
                label: "KEYBOARD 1-8"
                checked: panel.model.keyboard.keyboardShortcutsEnabled
                onToggled: panel.model.keyboard.keyboardShortcutsEnabled = checked
            }
        }
        Grid {
            columns: 4
            spacing: 12
            Layout.alignment: Qt.AlignHCenter
            Repeater {
                model: panel.model.padLabels
                DrumPad {
                    required property string modelData
                    required property int index
                    objectName: "pad" + index
                    label: modelData
                    key: Readout.padKeyLetters[index % 8]
                    tint: Style.named(panel.padColors[index % 8])
                    onTriggered: panel.model.triggerPad(index)
                }
            }
        }
    }
}
