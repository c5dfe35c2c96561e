import QtQuick

// A square pad with its label and key letter, both as given. A tap fires the pad on the press,
// as an instrument must (waiting for the release would make every hit late), and shows the
// pressed look from that tap until 0.1 s after it; further taps inside that time fire again but
// do not lengthen the look. The look steps in and out without an animation: easing the pad's size
// over its own frames drew eight frames a hit where two show the press, and with the software
// renderer every frame walks the whole scene.
Rectangle {
    id: pad
    property string label
    property string key
    property color tint: "red"
    property bool isPressed: false
    signal triggered()
    Accessible.role: Accessible.Button
    Accessible.name: label + " pad"
    Accessible.onPressAction: tap()
    width: 110
    height: 110
    radius: 14
    color: Qt.rgba(tint.r, tint.g, tint.b, isPressed ? 0.75 : 0.28)
    border.color: Qt.rgba(tint.r, tint.g, tint.b, 0.9)
    border.width: isPressed ? 3 : 1.5
    scale: isPressed ? 0.95 : 1.0

    function tap() {
        if (!release.running) {
            pad.isPressed = true
            release.start()
        }
        pad.triggered()
    }

    Column {
        anchors.centerIn: parent
        spacing: 6
        Text { objectName: "padLabel"; text: pad.label; color: "white"; font.pixelSize: 15; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
        Text { objectName: "padKey"; text: pad.key; color: Qt.rgba(1, 1, 1, 0.6); font.pixelSize: 12; anchors.horizontalCenter: parent.horizontalCenter }
    }
    Timer { id: release; interval: 100; onTriggered: pad.isPressed = false }
    MouseArea {
        anchors.fill: parent
        onPressed: pad.tap()
    }
}
