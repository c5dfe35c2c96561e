import QtQuick
import Quelmo

// Marks the control it is placed in when a keyboard nudge changes it: for 0.32 s after each
// matching pulse the control grows a little, gets an outline and shows an arrow for the
// direction. match is the pulse target: 0 master, 1 tempo, 2 import level, 3 rack make-up.
Item {
    id: pulse
    property QuelmoViewModel model
    property int match: 0
    property bool glowing: false
    property real grown: glowing ? 1.045 : 1.0
    anchors.fill: parent
    z: 100
    Behavior on grown { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    Binding { target: pulse.parent; property: "scale"; value: pulse.grown }

    Connections {
        target: pulse.model ? pulse.model.keyboard : null
        function onTuningPulseGenerationChanged() {
            if (Number(pulse.model.keyboard.tuningPulseTarget) === pulse.match) {
                pulse.glowing = true
                settle.restart()
            }
        }
    }
    Timer { id: settle; interval: 320; onTriggered: pulse.glowing = false }

    Rectangle {
        anchors.fill: parent
        anchors.margins: -4
        radius: 10
        color: "transparent"
        border.color: Style.named("cyan")
        border.width: 1.5
        opacity: pulse.glowing ? 0.5 : 0
        Behavior on opacity { NumberAnimation { duration: 120 } }
    }
    SymbolIcon {
        objectName: "tuningPulseBadge"
        visible: pulse.glowing
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: -6
        size: 14
        symbol: pulse.model.keyboard.tuningPulseDirection >= 0 ? "arrow.up.circle.fill" : "arrow.down.circle.fill"
        tint: pulse.model.keyboard.tuningPulseDirection >= 0 ? "cyan" : Style.named("orange")
    }
}
