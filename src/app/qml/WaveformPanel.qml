import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// The waveform panel: erase switch, CLEAR CUES, the track area where a click adds or jumps to a
// cue (or with Erase Mode on removes the cues near it), the position, the cue count, the chips.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    property bool eraseCueMode: false
    signal eraseCueModeToggled(bool on)

    ColumnLayout {
        width: parent.width
        spacing: 10
        RowLayout {
            spacing: 12
            Text { text: "WAVEFORM VISUALIZER"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonToggle {
                objectName: "eraseModeToggle"
                label: "Erase Mode"
                checked: panel.eraseCueMode
                onToggled: panel.eraseCueModeToggled(checked)
            }
            NeonButton {
                objectName: "clearCuesButton"
                title: "CLEAR CUES"; tint: Style.named("orange")
                onClicked: panel.model.timing.clearCues()
            }
        }
        Text {
            Layout.fillWidth: true
            text: "Imports & YouTube tracks use the same FX rack + master tone as the pads. Tags below show what is shaping the bus. Keyboard tuning (↑/↓, `[` `]`, `-`, `=`, ⌥/⇧ arrows) shows a live wave overlay here while levels change."
            color: "#9d9ab0"; font.pixelSize: 10; wrapMode: Text.WordWrap
        }
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 120
            radius: 10
            // Opaque (the panel's glass over the background, darkened), so the renderer repaints
            // nothing beneath the moving wave each frame.
            color: "#11111c"
            border.color: Qt.rgba(0, 1, 1, 0.2)
            FuturisticWaveformView {
                id: waveformView
                objectName: "waveformView"
                anchors.fill: parent
                anchors.margins: 6
                model: panel.model
                eraseMode: panel.eraseCueMode
            }
            // Above the cue area, which still takes every click: the caption has no mouse area.
            WaveformKeyboardFXOverlay {
                anchors.fill: waveformView
                model: panel.model
                z: 1
            }
            MouseArea {
                objectName: "waveformCueArea"
                Accessible.role: Accessible.Button
                Accessible.name: panel.eraseCueMode ? "Remove cue" : "Add or jump to cue"
                anchors.fill: waveformView
                cursorShape: Qt.PointingHandCursor
                onClicked: mouse => {
                    const fraction = Math.min(1, Math.max(0, mouse.x / width))
                    if (panel.eraseCueMode)
                        panel.model.timing.removeCue(fraction)
                    else
                        panel.model.timing.addOrJumpCue(fraction)
                }
            }
        }
        RowLayout {
            spacing: 12
            Text {
                objectName: "trackPositionReadout"
                text: Readout.format("%.2fs", panel.model.tracks.currentTrackPosition) + " / " + Readout.format("%.2fs", panel.model.tracks.currentTrackDuration)
                color: "cyan"; font.pixelSize: 11; font.family: "monospace"
            }
            Item { Layout.fillWidth: true }
            SymbolIcon { symbol: "mappin.circle"; tint: Style.named("orange"); size: 12 }
            Text {
                objectName: "cueCountReadout"
                text: Readout.format("%d", panel.model.timing.hotCues.length) + " CUES"
                color: Style.named("orange"); font.pixelSize: 11; font.bold: true
            }
        }
        WaveformActiveMixStrip { objectName: "mixStrip"; Layout.fillWidth: true; model: panel.model }
    }
}
