import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// One imported track: play/pause, its name, tempo (halved or doubled with the buttons beside it),
// SYNC, AUTO GAIN gain and time, a seek bar, its own level and remove.
// The row's controls carry the track's name, so a user (or a test) tells rows apart by it.
Rectangle {
    id: row
    // The entry, from the list model's "track" role.
    required property var track
    property QuelmoViewModel model
    property bool isHovering: hover.hovered
    readonly property string trackId: track ? track.id : ""
    readonly property string trackName: track ? track.name : ""
    readonly property bool playing: model.tracks.playingTrackIds.indexOf(trackId) >= 0
    readonly property bool paused: model.tracks.pausedTrackIds.indexOf(trackId) >= 0
    // The playhead follows the track only while the row can be seen: scrolled out of sight (or the
    // window hidden), it changes nothing and asks for no frame.
    readonly property real position: InSight.seen ? (model.tracks.trackPositions[trackId] ?? 0) : 0
    readonly property real duration: model.tracks.trackDurations[trackId] ?? 0
    readonly property real volume: model.tracks.trackVolumes[trackId] ?? 0.8
    // Why the row could not play ("Cannot play: ..."); empty while it can.
    readonly property string error: model.tracks.trackErrors[trackId] ?? ""
    readonly property var overview: track && track.waveform ? track.waveform : []
    // "128.0 BPM", "—" without a steady beat, empty until analysed; the AUTO GAIN gain, "+3.2 dB".
    readonly property string tempo: model.tracks.analysis.tempos[trackId] ?? ""
    readonly property string gain: model.tracks.analysis.gains[trackId] ?? ""
    // SYNC: the row plays at the deck's tempo, its bars on the transport's bars.
    readonly property bool synced: model.tracks.sync.syncedIds.indexOf(trackId) >= 0

    // "%d:%02d": whole minutes and the remaining whole seconds of the integer part.
    function clock(seconds) {
        const whole = Math.trunc(Math.max(0, seconds))
        return Readout.format("%d:", whole / 60) + Readout.format("%02d", whole % 60)
    }

    implicitHeight: 48
    radius: 10
    color: playing ? Qt.rgba(0, 1, 1, 0.08) : Qt.rgba(1, 1, 1, isHovering ? 0.06 : 0.03)
    border.color: playing ? Qt.rgba(0, 1, 1, 0.3) : "transparent"
    HoverHandler { id: hover }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 10
        AbstractButton {
            objectName: "trackPlayButton"
            Accessible.role: Accessible.Button
            Accessible.name: (row.playing ? "Pause " : "Play ") + row.trackName
            implicitWidth: 30; implicitHeight: 30
            background: Rectangle { radius: 15; color: Qt.rgba(0, 1, 1, parent.down ? 0.35 : 0.18); border.color: Qt.rgba(0, 1, 1, 0.6) }
            contentItem: Item {
                SymbolIcon {
                    objectName: "trackPlaySymbol"
                    anchors.centerIn: parent
                    symbol: row.playing ? "pause.fill" : "play.fill"
                    tint: "cyan"; size: 14
                }
            }
            onClicked: row.model.tracks.toggleTrackPlayback(row.trackId)
        }
        SymbolIcon {
            symbol: "waveform"; size: 16
            tint: row.playing ? Style.named("green") : Qt.rgba(0.6, 0.6, 0.6, 0.5)
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            RowLayout {
                Text {
                    objectName: "trackName"
                    Layout.fillWidth: true
                    text: row.trackName
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    color: row.playing ? "cyan" : "white"
                    font.pixelSize: 14
                }
                Text {
                    objectName: "trackTempo"
                    visible: row.tempo !== ""
                    Accessible.role: Accessible.StaticText
                    Accessible.name: "Tempo of " + row.trackName + ": " + text
                    text: row.tempo
                    color: row.tempo === "—" ? "#9d9ab0" : Style.named("green")
                    font.pixelSize: 11; font.family: "monospace"
                }
                Repeater {
                    model: [{ label: "½", name: "Halve tempo of ", act: "halveTempo" },
                            { label: "×2", name: "Double tempo of ", act: "doubleTempo" }]
                    delegate: AbstractButton {
                        required property var modelData
                        objectName: modelData.act + "Button"
                        visible: row.tempo !== "" && row.tempo !== "—"
                        Accessible.role: Accessible.Button
                        Accessible.name: modelData.name + row.trackName
                        implicitWidth: 22; implicitHeight: 16
                        background: Rectangle { radius: 4; color: Qt.rgba(1, 1, 1, parent.down ? 0.25 : 0.08) }
                        contentItem: Text {
                            text: modelData.label; color: "#c8c5d8"; font.pixelSize: 10
                            horizontalAlignment: Text.AlignHCenter; verticalAlignment: Text.AlignVCenter
                        }
                        onClicked: row.model.tracks.analysis[modelData.act](row.trackId)
                    }
                }
                AbstractButton {
                    objectName: "trackSyncButton"
                    visible: row.tempo !== "" && row.tempo !== "—"
                    checkable: true
                    checked: row.synced
                    Accessible.role: Accessible.CheckBox
                    Accessible.name: "SYNC of " + row.trackName
                    Accessible.checkable: true
                    Accessible.checked: row.synced
                    implicitWidth: 40; implicitHeight: 16
                    background: Rectangle {
                        radius: 4
                        color: row.synced ? Qt.rgba(0, 1, 0.5, 0.35) : Qt.rgba(1, 1, 1, parent.down ? 0.25 : 0.08)
                        border.color: row.synced ? Style.named("green") : "transparent"
                    }
                    contentItem: Text {
                        text: "SYNC"; color: row.synced ? "white" : "#c8c5d8"; font.pixelSize: 10; font.bold: row.synced
                        horizontalAlignment: Text.AlignHCenter; verticalAlignment: Text.AlignVCenter
                    }
                    onToggled: row.model.tracks.sync.toggle(row.trackId)
                }
                Text {
                    objectName: "trackGain"
                    visible: row.gain !== ""
                    Accessible.role: Accessible.StaticText
                    Accessible.name: "AUTO GAIN of " + row.trackName + ": " + text
                    text: row.gain
                    color: "#9d9ab0"; font.pixelSize: 11; font.family: "monospace"
                }
                Text {
                    objectName: "trackTime"
                    visible: row.error === ""
                    text: row.clock(row.position) + "/" + row.clock(row.duration)
                    color: "#9d9ab0"; font.pixelSize: 11; font.family: "monospace"
                }
                Text {
                    objectName: "trackError"
                    visible: row.error !== ""
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: row.error
                    text: row.error
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    Layout.maximumWidth: 320
                    color: "#ff6b81"; font.pixelSize: 11
                }
            }
            // The seek bar: a tap or drag at fraction f of its width seeks the track there.
            Item {
                objectName: "trackSeekBar"
                Accessible.role: Accessible.Slider
                Accessible.name: "Seek " + row.trackName
                Layout.fillWidth: true
                implicitHeight: 22
                readonly property real fraction: row.duration > 0 ? Math.min(1, Math.max(0, row.position / row.duration)) : 0
                // The track's loudness overview under the bar, drawn once per size and data; a file
                // that could not be analysed shows none.
                Canvas {
                    id: overviewCanvas
                    objectName: "trackOverview"
                    anchors.fill: parent
                    visible: row.overview.length > 0
                    renderStrategy: Canvas.Immediate
                    onWidthChanged: requestPaint()
                    onHeightChanged: requestPaint()
                    // Rows restored from the library get their overview after they appear.
                    Connections { target: row; function onOverviewChanged() { overviewCanvas.requestPaint() } }
                    onPaint: {
                        const ctx = getContext("2d")
                        ctx.reset()
                        const data = row.overview
                        const n = data.length
                        if (n === 0)
                            return
                        ctx.fillStyle = Qt.rgba(1, 1, 1, 0.22)
                        const slot = width / n
                        for (let i = 0; i < n; ++i) {
                            const h = Math.max(1, Math.min(1, data[i]) * height)
                            ctx.fillRect(i * slot, (height - h) / 2, Math.max(1, slot - 0.5), h)
                        }
                    }
                }
                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width; height: 4; radius: 2
                    color: Qt.rgba(0.6, 0.6, 0.6, 0.2)
                    Rectangle {
                        width: parent.parent.fraction * parent.width; height: 4; radius: 2
                        gradient: Gradient {
                            orientation: Gradient.Horizontal
                            GradientStop { position: 0; color: "cyan" }
                            GradientStop { position: 1; color: Style.named("pink") }
                        }
                    }
                }
                Rectangle {
                    width: 10; height: 10; radius: 5; color: "white"
                    anchors.verticalCenter: parent.verticalCenter
                    x: parent.fraction * parent.width - width / 2
                }
                MouseArea {
                    anchors.fill: parent
                    function seekAt(x) { row.model.tracks.seekTrack(row.trackId, Math.min(1, Math.max(0, x / width))) }
                    onPressed: mouse => seekAt(mouse.x)
                    onPositionChanged: mouse => { if (pressed) seekAt(mouse.x) }
                }
            }
        }
        SymbolIcon { symbol: "speaker.fill"; tint: "#9d9ab0"; size: 12 }
        SliderControl {
            objectName: "trackVolumeSlider"
            Accessible.name: "Volume " + row.trackName
            Layout.preferredWidth: 60
            from: 0; to: 1
            value: row.volume
            tint: "cyan"
            onMoved: row.model.tracks.setTrackVolume(row.trackId, value)
        }
        AbstractButton {
            objectName: "trackRemoveButton"
            Accessible.role: Accessible.Button
            Accessible.name: "Remove " + row.trackName
            implicitWidth: 26; implicitHeight: 26
            background: null
            contentItem: Item {
                SymbolIcon { anchors.centerIn: parent; symbol: "trash"; tint: Qt.rgba(1, 0.23, 0.19, 0.7); size: 14 }
            }
            onClicked: row.model.tracks.removeImport(row.trackId)
        }
    }
}
