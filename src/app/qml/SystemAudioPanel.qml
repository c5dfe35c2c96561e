import QtQuick
import QtQuick.Layouts
import Quelmo

// System audio: other applications' sound (a browser, a music player) live through the import
// chain and the rack. START/STOP, the one-click route of every application into "Quelmo Capture",
// the capture level and the status line.
GlassPanel {
    id: panel
    property CaptureController capture

    ColumnLayout {
        width: parent.width
        spacing: 10
        RowLayout {
            spacing: 10
            SymbolIcon { symbol: "speaker.wave.2"; tint: Style.named("teal"); size: 16 }
            Text { text: "SYSTEM AUDIO"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton {
                objectName: "routeAllButton"
                Accessible.name: "ROUTE ALL APPS"
                symbol: "arrow.triangle.2.circlepath"
                title: "ROUTE ALL APPS"
                tint: Style.named("purple")
                onClicked: panel.capture.installBlackHole(true)
            }
            NeonButton {
                objectName: "systemAudioToggle"
                Accessible.name: "System audio " + title
                symbol: panel.capture.isCapturingSystemAudio ? "stop.fill" : "play.fill"
                title: panel.capture.isCapturingSystemAudio ? "STOP" : "START"
                tint: panel.capture.isCapturingSystemAudio ? Style.named("red") : Style.named("green")
                onClicked: panel.capture.toggleSystemAudioCapture()
            }
        }
        RowLayout {
            spacing: 12
            Text { text: "LEVEL"; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true }
            SliderControl {
                Accessible.name: "System audio level"
                Layout.preferredWidth: 220
                from: 0; to: 1; stepSize: 0.01
                value: panel.capture.systemAudioVolume
                tint: Style.named("teal")
                onMoved: panel.capture.systemAudioVolume = value
            }
            Text {
                objectName: "systemAudioVolumeReadout"; text: Readout.format("%d%%", panel.capture.systemAudioVolume * 100)
                color: Style.named("teal"); font.pixelSize: 11; font.bold: true
            }
            Item { Layout.fillWidth: true }
        }
        Text {
            Layout.fillWidth: true
            text: "Send any application's sound to the output 'Quelmo Capture' (your desktop's sound settings or pavucontrol), "
                  + "or let ROUTE ALL APPS make it the default output. Quelmo's own sound stays on your speakers."
            color: "#9d9ab0"
            font.pixelSize: 10
            wrapMode: Text.WordWrap
        }
        Text {
            objectName: "systemAudioStatus"
            Layout.fillWidth: true
            visible: text !== ""
            text: panel.capture.blackHoleInstallStatus
            textFormat: Text.PlainText
            color: "#c4c1d4"
            font.pixelSize: 11
            elide: Text.ElideRight
            Accessible.name: text
        }
    }
}
