import QtQuick
import Quelmo

// A rack control over 0..1: the ring shows the value, the centre its percentage (integer part),
// the slider below sets it in steps of 0.01.
Column {
    id: control
    property string title
    property real value: 0
    property color tint: "cyan"
    property string icon
    readonly property string displayText: Readout.format("%d%%", value * 100)
    signal moved(real value)
    spacing: 4
    width: 80
    FXKnob {
        anchors.horizontalCenter: parent.horizontalCenter
        fraction: control.value
        tint: control.tint
        icon: control.icon
        text: control.displayText
    }
    Text { text: control.title; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
    SliderControl {
        Accessible.name: control.title
        width: 80
        from: 0; to: 1; stepSize: 0.01
        value: control.value
        tint: control.tint
        onMoved: control.moved(value)
    }
}
