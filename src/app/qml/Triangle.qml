import QtQuick
import QtQuick.Shapes

// From the middle of the top edge to the bottom-right corner, the bottom-left corner and back.
Shape {
    property color fill: "white"
    ShapePath {
        fillColor: parent.fill
        strokeColor: "transparent"
        startX: parent.width / 2; startY: 0
        PathLine { x: parent.width; y: parent.height }
        PathLine { x: 0; y: parent.height }
        PathLine { x: parent.width / 2; y: 0 }
    }
}
