import QtQuick
import QtQuick.Controls.Basic

// A label, then a 36 x 20 capsule whose knob slides right and glows in its tint (cyan unless
// given) when on.
AbstractButton {
    id: toggle
    property string label
    property color tint: "cyan"
    checkable: true
    Accessible.role: Accessible.CheckBox
    Accessible.name: label
    Accessible.checkable: true
    Accessible.checked: checked
    implicitWidth: row.implicitWidth
    implicitHeight: 22
    contentItem: Row {
        id: row
        spacing: 8
        Text { text: toggle.label; color: "white"; font.pixelSize: 11; font.bold: true; anchors.verticalCenter: parent.verticalCenter }
        Rectangle {
            width: 36; height: 20; radius: 10
            color: toggle.checked ? Qt.rgba(toggle.tint.r, toggle.tint.g, toggle.tint.b, 0.3) : Qt.rgba(0.6, 0.6, 0.6, 0.2)
            Rectangle {
                width: 16; height: 16; radius: 8
                anchors.verticalCenter: parent.verticalCenter
                x: toggle.checked ? parent.width / 2 + 8 - width / 2 : parent.width / 2 - 8 - width / 2
                color: toggle.checked ? toggle.tint : "gray"
                border.color: toggle.checked ? Qt.rgba(toggle.tint.r, toggle.tint.g, toggle.tint.b, 0.8) : "transparent"
                border.width: 2
                Behavior on x { NumberAnimation { duration: 150 } }
            }
        }
    }
    background: null
}
