import QtQuick
import QtQuick.Shapes

// The rack's 70 x 70 ring: a faint full ring, an arc of the colour from the top clockwise over
// fraction of the circle, and the icon and a text in the middle.
Item {
    id: knob
    property real fraction: 0
    property color tint: "cyan"
    property string icon
    property string text
    width: 70
    height: 70
    Shape {
        anchors.fill: parent
        // Multisampled on a GPU, for smooth rings. The software renderer antialiases the rings
        // itself, and there a layer holding a shape is repainted on every frame the window draws,
        // whatever moved: thirteen rings redrawn for each frame of a pad's flash or a meter.
        layer.enabled: GraphicsInfo.api !== GraphicsInfo.Software
        layer.samples: 4
        ShapePath {
            strokeColor: Qt.rgba(1, 1, 1, 0.1)
            strokeWidth: 8
            fillColor: "transparent"
            PathAngleArc { centerX: 35; centerY: 35; radiusX: 30; radiusY: 30; startAngle: 0; sweepAngle: 360 }
        }
        ShapePath {
            strokeColor: knob.tint
            strokeWidth: 8
            capStyle: ShapePath.RoundCap
            fillColor: "transparent"
            PathAngleArc {
                centerX: 35; centerY: 35; radiusX: 30; radiusY: 30
                startAngle: -90
                sweepAngle: Math.max(0, Math.min(1, knob.fraction)) * 360
            }
        }
    }
    Column {
        anchors.centerIn: parent
        spacing: 1
        SymbolIcon { symbol: knob.icon; tint: knob.tint; size: 14; anchors.horizontalCenter: parent.horizontalCenter }
        Text { text: knob.text; color: "white"; font.pixelSize: 11; font.bold: true; anchors.horizontalCenter: parent.horizontalCenter }
    }
}
