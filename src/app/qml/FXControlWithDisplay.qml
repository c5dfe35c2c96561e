import QtQuick

// A rack control over a range, with a caller-formatted readout in the ring.
Column {
    id: control
    property string title
    property real value: 0
    property real from: 0
    property real to: 1
    property color tint: "cyan"
    property string icon
    property string displayValue
    readonly property real fraction: to > from ? (value - from) / (to - from) : 0
    signal moved(real value)
    spacing: 4
    width: 80
    FXKnob {
        anchors.horizontalCenter: parent.horizontalCenter
        fraction: control.fraction
        tint: control.tint
        icon: control.icon
        text: control.displayValue
    }
    Text { text: control.title; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
    SliderControl {
        Accessible.name: control.title
        width: 80
        from: control.from; to: control.to; stepSize: 0.01
        value: control.value
        tint: control.tint
        onMoved: control.moved(value)
    }
}
