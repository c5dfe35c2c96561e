import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// Deck control: the tempo, the master level and the main meter.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    ColumnLayout {
        width: parent.width
        spacing: 10
        Text { text: "DECK CONTROL"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
        Item {
          Layout.fillWidth: true
          implicitHeight: tempoRow.implicitHeight
          TuningPulseHighlight { model: panel.model; match: 1 }
          RowLayout {
            id: tempoRow
            anchors.fill: parent
            spacing: 16
            SymbolIcon { symbol: "metronome"; tint: "cyan"; size: 16 }
            Text { text: "BPM"; color: "white"; font.pixelSize: 12; font.bold: true }
            Text { objectName: "bpmReadout"; text: Readout.format("%d", panel.model.timing.bpm); Accessible.name: text + " BPM"; color: "cyan"; font.pixelSize: 20; font.bold: true; Layout.minimumWidth: 44 }
            SliderControl {
                objectName: "tempoSlider"
                Accessible.name: "Tempo"
                Layout.fillWidth: true
                from: 60; to: 190; stepSize: 1
                value: panel.model.timing.bpm
                tint: "cyan"
                onMoved: panel.model.timing.setBpm(value)
            }
          }
        }
        Item {
          Layout.fillWidth: true
          implicitHeight: masterRow.implicitHeight
          TuningPulseHighlight { model: panel.model; match: 0 }
          RowLayout {
            id: masterRow
            anchors.fill: parent
            spacing: 16
            SymbolIcon { symbol: "speaker.wave.3"; tint: Style.named("pink"); size: 16 }
            Text { text: "MASTER OUT"; color: "white"; font.pixelSize: 12; font.bold: true }
            Text { objectName: "masterReadout"; text: Readout.format("%d%%", panel.model.mix.masterVolume * 100); color: Style.named("pink"); font.pixelSize: 12; font.bold: true }
            SliderControl {
                objectName: "masterSlider"
                Accessible.name: "Master level"
                Layout.fillWidth: true
                from: 0; to: 1 // continuous: the master level has no step
                value: panel.model.mix.masterVolume
                tint: Style.named("pink")
                onMoved: panel.model.mix.masterVolume = value
            }
            Column {
                spacing: 4
                MixerPeakBar { level: panel.model.mix.meterMaster; tint: Style.named("pink"); anchors.horizontalCenter: parent.horizontalCenter }
                Text { text: "MAIN"; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
            }
          }
        }
    }
}
