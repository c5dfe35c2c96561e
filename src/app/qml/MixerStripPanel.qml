import QtQuick
import QtQuick.Layouts
import Quelmo

// Mixer strip: BOLD PA, TEST TONE, the pads and import buses, and the post-FX level.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    ColumnLayout {
        width: parent.width
        spacing: 12
        RowLayout {
            spacing: 10
            SymbolIcon { symbol: "dot.radiowaves.left.and.right"; tint: "cyan"; size: 16 }
            Text { text: "MIXER / SOUND CHECK"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton { objectName: "boldButton"; symbol: "megaphone.fill"; title: "BOLD PA"; tint: Style.named("red"); onClicked: panel.model.mix.applyBoldCommandMixPreset() }
            NeonButton { objectName: "testToneButton"; symbol: "waveform.path"; title: "TEST TONE"; tint: Style.named("orange"); onClicked: panel.model.mix.playSoundCheckTone() }
        }
        Text {
            text: "Pads + import sum through the FX rack — use meters before you push loud."
            color: "#9d9ab0"; font.pixelSize: 11
        }
        RowLayout {
            spacing: 24
            Item {
              Layout.preferredWidth: 260
              implicitHeight: padsBus.implicitHeight
              TuningPulseHighlight { model: panel.model; match: 2 }
              MixerChannelBlock {
                id: padsBus
                anchors.fill: parent
                title: "PADS BUS"; subtitle: "Drums / keys → FX"
                meter: panel.model.mix.meterPads; meterTint: Style.named("yellow")
                level: panel.model.mix.padsBusLevel; pan: panel.model.mix.stereoPads
                onLevelMoved: value => panel.model.mix.padsBusLevel = value
                onPanMoved: value => panel.model.mix.stereoPads = value
              }
            }
            Item {
              Layout.preferredWidth: 260
              implicitHeight: importBus.implicitHeight
              TuningPulseHighlight { model: panel.model; match: 2 }
              MixerChannelBlock {
                id: importBus
                anchors.fill: parent
                title: "IMPORT BUS"; subtitle: "Vol in Import section"
                meter: panel.model.mix.meterImport; meterTint: Style.named("cyan")
                showsLevel: false; pan: panel.model.mix.stereoImport
                onPanMoved: value => panel.model.mix.stereoImport = value
              }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6
                Text { text: "BUILD / BUS"; color: "white"; font.pixelSize: 12; font.bold: true }
                RowLayout {
                    Text { text: "Post-FX level"; color: "#9d9ab0"; font.pixelSize: 10 }
                    Text { objectName: "postFXReadout"; text: Readout.format("%d%%", panel.model.mix.postFXGain * 100); color: Style.named("purple"); font.pixelSize: 10; font.bold: true }
                }
                SliderControl {
                    Accessible.name: "Post-FX level"
                    Layout.fillWidth: true
                    from: 0; to: 2.5; stepSize: 0.01
                    value: panel.model.mix.postFXGain
                    tint: Style.named("purple")
                    onMoved: panel.model.mix.postFXGain = value
                }
                Text {
                    Layout.fillWidth: true
                    text: "Lift hits harder into the master — watch the pink meter above."
                    color: "#9d9ab0"; font.pixelSize: 10; wrapMode: Text.WordWrap
                }
            }
        }
    }
}
