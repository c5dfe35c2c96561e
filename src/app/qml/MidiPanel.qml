import QtQuick
import QtQuick.Layouts
import Quelmo

// MIDI: pad controllers and keyboards play the eight pads. The connected devices, the last note
// received, each pad's note with its LEARN (the next note played goes to that pad), and RESET to
// the usual bank (notes 36 to 43).
GlassPanel {
    id: panel
    property QuelmoViewModel model

    Component.onCompleted: panel.model.midi.startMidiInput()

    ColumnLayout {
        width: parent.width
        spacing: 10
        RowLayout {
            spacing: 10
            SymbolIcon { symbol: "music.note"; tint: Style.named("orange"); size: 16 }
            Text { text: "MIDI"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton {
                objectName: "midiResetButton"
                Accessible.name: "MIDI RESET"
                symbol: "arrow.counterclockwise"
                title: "RESET"
                tint: Style.named("purple")
                onClicked: panel.model.midi.resetMidiMapping()
            }
        }
        Text {
            objectName: "midiDevicesText"
            Layout.fillWidth: true
            text: panel.model.midi.midiDevices.length > 0
                  ? "DEVICES  " + panel.model.midi.midiDevices.join("  ·  ")
                  : "No MIDI devices connected"
            textFormat: Text.PlainText
            color: "#c4c1d4"
            font.pixelSize: 11
            wrapMode: Text.WordWrap
            Accessible.name: text
        }
        Text {
            objectName: "midiLastNoteText"
            Layout.fillWidth: true
            text: panel.model.midi.midiLastNote !== "" ? "LAST NOTE  " + panel.model.midi.midiLastNote : "LAST NOTE  —"
            textFormat: Text.PlainText
            color: Style.named("orange")
            font.pixelSize: 11
            font.bold: true
            Accessible.name: text
        }
        GridLayout {
            Layout.fillWidth: true
            columns: 4
            columnSpacing: 8
            rowSpacing: 8
            Repeater {
                model: panel.model.padLabels
                RowLayout {
                    id: cell
                    required property int index
                    required property string modelData
                    readonly property bool learning: panel.model.midi.midiLearnPad === index
                    Layout.fillWidth: true
                    spacing: 6
                    Text {
                        Layout.preferredWidth: 96
                        text: (cell.index + 1) + " " + cell.modelData + "  " + (panel.model.midi.midiPadNotes[cell.index] ?? "")
                        color: "white"
                        font.pixelSize: 11
                        elide: Text.ElideRight
                        Accessible.name: text
                    }
                    NeonButton {
                        Accessible.name: cell.learning ? "Pad " + (cell.index + 1) + " WAITING" : "Pad " + (cell.index + 1) + " LEARN"
                        title: cell.learning ? "WAITING…" : "LEARN"
                        tint: cell.learning ? Style.named("orange") : Style.named("teal")
                        onClicked: cell.learning ? panel.model.midi.cancelMidiLearn() : panel.model.midi.startMidiLearn(cell.index)
                    }
                }
            }
        }
        Text {
            objectName: "midiStatusText"
            Layout.fillWidth: true
            visible: text !== ""
            text: panel.model.midi.midiLearnPad >= 0
                  ? "Play a note on your controller for pad " + (panel.model.midi.midiLearnPad + 1) + "."
                  : panel.model.midi.midiStatus
            textFormat: Text.PlainText
            color: "#9d9ab0"
            font.pixelSize: 10
            wrapMode: Text.WordWrap
            Accessible.name: text
        }
    }
}
