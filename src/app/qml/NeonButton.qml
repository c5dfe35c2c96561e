import QtQuick
import QtQuick.Controls.Basic

// Icon and title side by side in a colour, on a rounded tinted background.
AbstractButton {
    id: button
    property string symbol
    property string title
    property color tint: "cyan"
    Accessible.role: Accessible.Button
    Accessible.name: title
    implicitWidth: row.implicitWidth + 24
    implicitHeight: 32
    background: Rectangle {
        radius: 8
        color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, button.down ? 0.35 : 0.18)
        border.color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, 0.6)
    }
    contentItem: Item {
        Row {
            id: row
            anchors.centerIn: parent
            spacing: 6
            SymbolIcon { visible: button.symbol !== ""; symbol: button.symbol; tint: button.tint; size: 14; anchors.verticalCenter: parent.verticalCenter }
            Text { text: button.title; color: button.tint; font.bold: true; font.pixelSize: 12 }
        }
    }
}
