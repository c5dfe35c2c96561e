import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Quelmo

// The deck's modal alert: a dark glass card centred over a dimmed deck, the title in white, the
// message in light grey, and one button per entry of buttons, right-aligned. Pressing a button
// closes the card and reports the button's text through chosen(); Escape closes it like "Cancel".
// A caller with more than a message sets its own contentItem.
Dialog {
    id: dialog
    property string message
    property var buttons: ["OK"]
    // The button that changes things, drawn in the accent colour; the others stay neutral.
    property string actionButton
    property color accent: Style.named("orange")
    signal chosen(string button)

    anchors.centerIn: T.Overlay.overlay
    modal: true
    width: 440
    padding: 22
    topPadding: 6
    bottomPadding: 4
    closePolicy: Popup.CloseOnEscape

    T.Overlay.modal: Rectangle { color: Qt.rgba(0.02, 0.02, 0.05, 0.72) }

    background: Rectangle {
        // The card stands for the whole alert.
        Accessible.role: Accessible.Dialog
        Accessible.name: dialog.title
        radius: 16
        color: Style.hex("1a1a2e")
        border.color: Qt.rgba(dialog.accent.r, dialog.accent.g, dialog.accent.b, 0.55)
        border.width: 1.5
        Rectangle {
            // A faint glass sheen over the top half.
            anchors.fill: parent
            anchors.margins: 1.5
            radius: parent.radius - 1.5
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(1, 1, 1, 0.06) }
                GradientStop { position: 0.5; color: Qt.rgba(1, 1, 1, 0.0) }
            }
        }
    }

    header: Text {
        text: dialog.title
        color: "white"
        font.pixelSize: 17
        font.bold: true
        font.letterSpacing: 0.5
        leftPadding: 22
        rightPadding: 22
        topPadding: 20
        bottomPadding: 4
        elide: Text.ElideRight
    }

    contentItem: Text {
        objectName: "dialogMessage"
        text: dialog.message
        color: "#d4d2e0"
        font.pixelSize: 13
        lineHeight: 1.15
        wrapMode: Text.WordWrap
    }

    footer: Item {
        implicitHeight: buttonRow.implicitHeight + 36
        Row {
            id: buttonRow
            anchors.right: parent.right
            anchors.rightMargin: 22
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            Repeater {
                model: dialog.buttons
                AbstractButton {
                    id: button
                    required property string modelData
                    readonly property bool isAction: modelData === dialog.actionButton
                    readonly property color tint: isAction ? dialog.accent : Qt.rgba(0.85, 0.84, 0.92, 1)
                    Accessible.role: Accessible.Button
                    Accessible.name: modelData
                    implicitWidth: Math.max(84, label.implicitWidth + 28)
                    implicitHeight: 32
                    background: Rectangle {
                        radius: 8
                        color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, button.down ? 0.4 : (button.isAction ? 0.22 : 0.1))
                        border.color: Qt.rgba(button.tint.r, button.tint.g, button.tint.b, button.isAction ? 0.75 : 0.35)
                    }
                    contentItem: Text {
                        id: label
                        text: button.modelData
                        color: button.tint
                        font.pixelSize: 13
                        font.bold: true
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    onClicked: {
                        dialog.close()
                        dialog.chosen(modelData)
                    }
                }
            }
        }
    }
}
