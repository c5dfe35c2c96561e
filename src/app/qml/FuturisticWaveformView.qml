import QtQuick
import Quelmo

// The track area: the playing tracks' overviews stacked in their colours, else the selected
// track's, else the idle synthetic wave; the selected track's beat grid and an orange marker per
// hot cue over it. It takes no input: the waveform panel puts the cue gestures over it.
Item {
    id: view
    property QuelmoViewModel model
    property bool eraseMode: false
    readonly property var trackColors: [Style.named("cyan"), Style.named("pink"), Style.named("green"),
                                        Style.named("orange"), Style.named("purple"), Style.named("yellow")]
    readonly property real trackProgress: model.tracks.currentTrackPosition / Math.max(model.tracks.currentTrackDuration, 0.1)
    // Only the tracks drawn, never the whole list: a library of a thousand entries would be read
    // whole on every change of any one of them.
    readonly property var playingTracks: model.tracks.playingOverviewTracks
    readonly property var selectedTrack: model.tracks.selectedOverviewTrack ?? null
    // "playing", "selected" or "idle": which of the three the area shows.
    readonly property string mode: model.tracks.playingTrackIds.length > 0 ? "playing" : selectedTrack ? "selected" : "idle"

    clip: true

    Repeater {
        objectName: "playingCanvases"
        model: view.mode === "playing" ? view.playingTracks : []
        AnimatedWaveformCanvas {
            objectName: "trackCanvas"
            anchors.fill: parent
            waveform: modelData.waveform
            color: view.trackColors[index % 6]
            trackIndex: index
            progress: view.trackProgress
        }
    }
    AnimatedWaveformCanvas {
        objectName: "selectedCanvas"
        anchors.fill: parent
        visible: view.mode === "selected"
        waveform: view.selectedTrack ? view.selectedTrack.waveform : []
        color: view.trackColors[0]
        resting: !view.model.tracks.importPlaying
        progress: view.model.tracks.importPlaying ? view.trackProgress : view.model.timing.playhead
    }
    AnimatedSyntheticWaveform {
        objectName: "idleWave"
        anchors.fill: parent
        visible: view.mode === "idle"
        playhead: view.model.timing.playhead
    }
    // The selected track's beat grid over its overview: a line per bar (four beats from the first),
    // fainter ones per beat where they stand at least 4 px apart. Painted once per change.
    Canvas {
        id: beatGridCanvas
        objectName: "beatGrid"
        anchors.fill: parent
        // Read again when a tempo changes (the octave buttons).
        readonly property var grid: view.selectedTrack && view.model.tracks.analysis.tempos[view.selectedTrack.id] !== undefined
                                    ? view.model.tracks.analysis.beatGrid(view.selectedTrack.id) ?? null : null
        readonly property real duration: grid ? grid.duration : 0
        visible: view.mode !== "idle" && grid !== null && duration > 0
        renderStrategy: Canvas.Immediate
        onGridChanged: requestPaint()
        onDurationChanged: requestPaint()
        onWidthChanged: requestPaint()
        onVisibleChanged: if (visible) requestPaint()
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            if (!grid || duration <= 0)
                return
            const pxPerBeat = grid.beatLength / duration * width
            for (let k = 0, t = grid.firstBeat; t < duration; ++k, t = grid.firstBeat + k * grid.beatLength) {
                const bar = k % 4 === 0
                if (!bar && pxPerBeat < 4)
                    continue
                ctx.fillStyle = bar ? Qt.rgba(1, 1, 1, 0.28) : Qt.rgba(1, 1, 1, 0.1)
                ctx.fillRect(Math.round(t / duration * width), 0, 1, height)
            }
        }
    }
    Repeater {
        model: view.model.timing.hotCues
        Triangle {
            objectName: "cueMarker"
            width: 14; height: 10
            x: modelData * view.width - width / 2
            y: view.height - height
            fill: Style.named("orange")
        }
    }
}
