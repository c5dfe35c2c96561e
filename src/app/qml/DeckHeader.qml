import QtQuick
import QtQuick.Layouts
import Quelmo

// Logo, title, subtitle, and the KEYS and RESET buttons.
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
        Text {
            text: "Quelmo"
            font.pixelSize: 28; font.bold: true
            color: "#22d3ee"
        }
        Text { text: "PRO REMIX EDITION"; color: "#e879f9"; font.pixelSize: 10; font.bold: true; font.letterSpacing: 2 }
    }
    Item { Layout.fillWidth: true }
    NeonButton { symbol: "keyboard"; title: "KEYS"; tint: Style.named("purple"); onClicked: header.keysRequested() }
    NeonButton { objectName: "resetButton"; symbol: "arrow.counterclockwise"; title: "RESET"; tint: Style.named("orange"); onClicked: header.resetRequested() }
}
