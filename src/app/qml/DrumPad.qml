import QtQuick

// A square pad with its label and key letter. Pressed look for 0.1 s after each tap.
Rectangle {
    id: pad
    property string label
    property string key
    property color tint: "red"
    property bool isPressed: false
    signal triggered()
    width: 110
    height: 110
    radius: 14
    color: Qt.rgba(tint.r, tint.g, tint.b, isPressed ? 0.75 : 0.28)
    border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.9)
    border.width: isPressed ? 3 : 1.5
    scale: isPressed ? 0.95 : 1.0
    Behavior on scale { NumberAnimation { duration: 60 } }
    Column {
        anchors.centerIn: parent
        spacing: 6
        Text { text: pad.label.toUpperCase(); color: "white"; font.pixelSize: 15; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
        Text { text: pad.key.toUpperCase(); color: Qt.rgba(1, 1, 1, 0.6); font.pixelSize: 12; anchors.horizontalCenter: parent.horizontalCenter }
    }
    Timer { id: release; interval: 100; onTriggered: pad.isPressed = false }
    MouseArea {
        anchors.fill: parent
        onPressed: {
            pad.isPressed = true
            pad.triggered()
            release.restart()
        }
    }
}
