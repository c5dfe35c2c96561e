import QtQuick
import Quelmo

// Three wave layers whose height follows intensity, animated at up to 45 frames a second while
// shown.
Canvas {
    id: wave
    property real intensity: 0.2
    property real phase: 0
    readonly property var colors: ["#bf5af2", "#64d2ff", "#63e6e2"]
    readonly property var opacities: [0.35, 0.5, 0.7]
    Timer {
        interval: 22
        repeat: true
        running: wave.visible
        onTriggered: { wave.phase = Date.now() / 1000; wave.requestPaint() }
    }
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        ctx.lineWidth = 3.2
        ctx.lineCap = "round"
        ctx.lineJoin = "round"
        for (let layer = 0; layer < 3; ++layer) {
            const p = Style.wavePoints(layer, phase, intensity, width, height)
            const gradient = ctx.createLinearGradient(0, 0, width, 0)
            const c = Qt.color(colors[layer])
            gradient.addColorStop(0, Qt.rgba(c.r, c.g, c.b, 0.2))
            gradient.addColorStop(0.5, Qt.rgba(c.r, c.g, c.b, opacities[layer]))
            gradient.addColorStop(1, Qt.rgba(c.r, c.g, c.b, 0.15))
            ctx.strokeStyle = gradient
            ctx.beginPath()
            ctx.moveTo(p[0], p[1])
            for (let i = 2; i < p.length; i += 2)
                ctx.lineTo(p[i], p[i + 1])
            ctx.stroke()
        }
    }
}
