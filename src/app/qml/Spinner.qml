import QtQuick

// A ring that turns while it is visible: drawn once, turned by the render thread.
Canvas {
    id: spinner
    property color tint: "#9d9ab0"
    implicitWidth: 28
    implicitHeight: 28
    onTintChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        ctx.lineWidth = Math.max(2, width / 9)
        ctx.lineCap = "round"
        ctx.strokeStyle = Qt.rgba(tint.r, tint.g, tint.b, 0.2)
        ctx.beginPath()
        ctx.arc(width / 2, height / 2, width / 2 - 2, 0, 2 * Math.PI)
        ctx.stroke()
        ctx.strokeStyle = tint
        ctx.beginPath()
        ctx.arc(width / 2, height / 2, width / 2 - 2, 0, Math.PI * 0.6)
        ctx.stroke()
    }
    RotationAnimator on rotation {
        running: spinner.visible
        from: 0; to: 360; duration: 900; loops: Animation.Infinite
    }
}
