import QtQuick

// White lines every 40 points, half a point wide; drawn once per size change.
Canvas {
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        ctx.strokeStyle = "white"
        ctx.lineWidth = 0.5
        ctx.beginPath()
        for (let x = 0; x <= width; x += 40) { ctx.moveTo(x, 0); ctx.lineTo(x, height) }
        for (let y = 0; y <= height; y += 40) { ctx.moveTo(0, y); ctx.lineTo(width, y) }
        ctx.stroke()
    }
}
