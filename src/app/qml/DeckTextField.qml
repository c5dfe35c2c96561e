import QtQuick
import QtQuick.Controls.Basic
import Quelmo

// A text field in the deck's style. While it has the focus the keys type into it; Escape hands the
// keyboard back to the deck, so the pad keys play again.
TextField {
    id: field
    color: "white"
    placeholderTextColor: Qt.rgba(1, 1, 1, 0.4)
    selectByMouse: true
    font.pixelSize: 12
    background: Rectangle {
        radius: 8
        color: Qt.rgba(1, 1, 1, 0.05)
        border.color: field.activeFocus ? Style.named("cyan") : Qt.rgba(1, 1, 1, 0.25)
    }
    Keys.onEscapePressed: field.focus = false
}
