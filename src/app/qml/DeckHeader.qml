import QtQuick
import QtQuick.Layouts
import Quelmo

// Logo, title, subtitle, the KEYS and RESET buttons, REC with its format and status, the lid-tap
// switch with its status, and the transport.
RowLayout {
    id: header
    property QuelmoViewModel model
    signal keysRequested()
    signal resetRequested()
    spacing: 12
    Rectangle {
        width: 44; height: 44; radius: 22
        color: Qt.rgba(0, 1, 1, 0.18)
        border.color: "cyan"
        SymbolIcon { anchors.centerIn: parent; symbol: "waveform.circle.fill"; tint: "cyan"; size: 24 }
    }
    Column {
        Canvas {
            // "Quelmo" filled with a cyan-to-pink gradient.
            width: 130; height: 34
            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                const gradient = ctx.createLinearGradient(0, 0, width, 0)
                gradient.addColorStop(0, "#22d3ee")
                gradient.addColorStop(1, "#ff375f")
                ctx.fillStyle = gradient
                ctx.font = "bold 28px sans-serif"
                ctx.textBaseline = "top"
                ctx.fillText("Quelmo", 0, 0)
            }
        }
        Text { text: "PRO REMIX EDITION"; color: "#e879f9"; font.pixelSize: 10; font.bold: true; font.letterSpacing: 2 }
    }
    Item { Layout.fillWidth: true }
    NeonButton { symbol: "keyboard"; title: "KEYS"; tint: Style.named("purple"); onClicked: header.keysRequested() }
    NeonButton { objectName: "resetButton"; symbol: "arrow.counterclockwise"; title: "RESET"; tint: Style.named("orange"); onClicked: header.resetRequested() }
    Column {
        spacing: 2
        Row {
            spacing: 8
            NeonButton {
                objectName: "recButton"
                Accessible.name: header.model.recording.isRecordingSet ? "STOP REC" : "REC"
                symbol: header.model.recording.isRecordingSet ? "stop.fill" : ""
                title: header.model.recording.isRecordingSet ? "STOP" : "● REC"
                tint: Style.named("red")
                onClicked: header.model.recording.toggleRecording()
            }
            NeonToggle {
                objectName: "wavToggle"
                anchors.verticalCenter: parent.verticalCenter
                label: "WAV"
                tint: Style.named("red")
                enabled: !header.model.recording.isRecordingSet
                checked: header.model.recording.recordAsWav
                onToggled: header.model.recording.recordAsWav = checked
            }
        }
        Text {
            objectName: "recStatus"
            width: 170
            visible: text !== ""
            text: header.model.recording.recordingStatus
            textFormat: Text.PlainText
            color: header.model.recording.isRecordingSet ? "#ff6b81" : "#9d9ab0"
            font.pixelSize: 9
            elide: Text.ElideMiddle
            maximumLineCount: 1
            Accessible.name: text
        }
    }
    Column {
        spacing: 2
        NeonToggle {
            objectName: "slapToggle"
            label: "LID TAP → KICK"
            tint: Style.named("orange")
            checked: header.model.lidTap.chassisSlapEnabled
            onToggled: header.model.lidTap.chassisSlapEnabled = checked
        }
        Text {
            objectName: "slapStatus"
            width: 140
            visible: text !== ""
            text: header.model.lidTap.chassisSlapStatus
            textFormat: Text.PlainText
            color: "#9d9ab0"
            font.pixelSize: 9
            elide: Text.ElideRight
            maximumLineCount: 1
            Accessible.name: text
        }
    }
    NeonButton {
        objectName: "transportButton"
        symbol: header.model.timing.isPlaying ? "pause.fill" : "play.fill"
        title: header.model.timing.isPlaying ? "PAUSE" : "PLAY"
        tint: header.model.timing.isPlaying ? Style.named("pink") : Style.named("green")
        onClicked: header.model.timing.togglePlay()
    }
}
