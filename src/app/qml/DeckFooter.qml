import QtQuick
import QtQuick.Layouts
import Quelmo

RowLayout {
    id: footer
    property QuelmoViewModel model
    spacing: 16
    Text { text: "Quelmo PRO - Multi-track | YouTube | System Audio FX"; color: "#565370"; font.pixelSize: 11 }
    Text {
        objectName: "keysOutsideStatus"
        // Named while it applies, wherever the deck is scrolled.
        readonly property bool applies: footer.model.keyboard.keyboardShortcutsEnabled
                                        && !footer.model.keyboard.keysHeardFromOtherApplications
        visible: applies
        text: "Keys are heard in this window only: other applications' keys cannot be heard here"
        color: Style.named("orange"); font.pixelSize: 11
        Accessible.name: applies ? text : ""
    }
    Item { Layout.fillWidth: true }
    Row {
        spacing: 6
        Rectangle {
            width: 8; height: 8; radius: 4
            anchors.verticalCenter: parent.verticalCenter
            color: footer.model.tracks.importPlaying ? Style.named("green") : Style.named("gray")
        }
        Text { text: footer.model.tracks.importPlaying ? "PLAYING" : "READY"; color: "#9d9ab0"; font.pixelSize: 11; font.bold: true }
    }
    Row {
        spacing: 6
        SymbolIcon { symbol: "cpu"; tint: "#9d9ab0"; size: 12; anchors.verticalCenter: parent.verticalCenter }
        Text { text: "FX ENGINE ACTIVE"; color: "#9d9ab0"; font.pixelSize: 11; font.bold: true }
    }
}
