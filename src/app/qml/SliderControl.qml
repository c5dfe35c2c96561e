import QtQuick
import QtQuick.Controls.Basic

// A thin slider in the deck's style, tinted. Given a step, a drag moves in whole steps; without
// one it moves continuously. Each use names what it sets in Accessible.name.
Slider {
    id: slider
    property color tint: "cyan"
    snapMode: stepSize > 0 ? Slider.SnapAlways : Slider.NoSnap
    Accessible.role: Accessible.Slider
    implicitHeight: 20
    background: Rectangle {
        x: slider.leftPadding
        y: slider.topPadding + slider.availableHeight / 2 - height / 2
        width: slider.availableWidth
        height: 4
        radius: 2
        color: Qt.rgba(1, 1, 1, 0.15)
        Rectangle { width: slider.visualPosition * parent.width; height: parent.height; radius: 2; color: slider.tint }
    }
    handle: Rectangle {
        x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
        y: slider.topPadding + slider.availableHeight / 2 - height / 2
        width: 14; height: 14; radius: 7
        color: slider.pressed ? Qt.lighter(slider.tint, 1.3) : "white"
        border.color: slider.tint
    }
}
