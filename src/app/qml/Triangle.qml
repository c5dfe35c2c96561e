import QtQuick
import QtQuick.Shapes

// From the middle of the top edge to the bottom-right corner, the bottom-left corner and back,
// in the shape's own size.
Shape {
    id: triangle
    property color fill: "white"
    ShapePath {
        fillColor: triangle.fill
        strokeColor: "transparent"
        startX: triangle.width / 2; startY: 0
        PathLine { x: triangle.width; y: triangle.height }
        PathLine { x: 0; y: triangle.height }
        PathLine { x: triangle.width / 2; y: 0 }
    }
}
