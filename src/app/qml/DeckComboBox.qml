import QtQuick
import QtQuick.Controls.Basic
import Quelmo

// A drop-down list in the deck's style.
ComboBox {
    id: box
    implicitHeight: 30
    font.pixelSize: 12
    Accessible.role: Accessible.ComboBox
    contentItem: Text {
        leftPadding: 10
        rightPadding: box.indicator.width + 4
        text: box.displayText
        textFormat: Text.PlainText
        color: "white"
        font: box.font
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 8
        color: Qt.rgba(1, 1, 1, 0.05)
        border.color: box.activeFocus || box.popup.visible ? Style.named("cyan") : Qt.rgba(1, 1, 1, 0.25)
    }
    delegate: ItemDelegate {
        required property int index
        required property var modelData
        width: box.popup.width
        text: modelData
        highlighted: box.highlightedIndex === index
        Accessible.name: modelData
        contentItem: Text {
            text: parent.text
            textFormat: Text.PlainText
            color: parent.highlighted ? "cyan" : "white"
            font.pixelSize: 12
            elide: Text.ElideRight
        }
        background: Rectangle { color: parent.highlighted ? Qt.rgba(0, 1, 1, 0.12) : Style.hex("1a1a2e") }
    }
    popup.width: Math.max(box.width, 320)
}
