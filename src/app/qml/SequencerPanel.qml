import QtQuick
import QtQuick.Layouts
import Quelmo

// The 16-step sequencer: start/stop, clear, the step lamps and one row of 16 cells per pad.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    readonly property var padColors: ["red", "orange", "yellow", "green", "cyan", "blue", "purple", "pink"]
    // Cells read the grid through sequencerCell(); this ties their bindings to its changes.
    readonly property var grid: model.timing.sequencerGrid
    readonly property int labelWidth: 64
    readonly property real cellWidth: (width - 40 - labelWidth - 15 * 4) / 16
    // The step the lamps and cells show: the transport's while the panel can be seen, none while
    // it cannot, so a grid out of sight changes nothing and asks for no frame.
    readonly property int stepShown: InSight.seen ? model.timing.sequencerStep : -1

    ColumnLayout {
        width: parent.width
        spacing: 8
        RowLayout {
            spacing: 10
            Text { text: "16-STEP SEQUENCER"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton {
                objectName: "sequencerToggle"
                Accessible.name: "Sequencer " + title
                symbol: panel.model.timing.sequencerRunning ? "stop.fill" : "play.fill"
                title: panel.model.timing.sequencerRunning ? "STOP" : "PLAY"
                tint: panel.model.timing.sequencerRunning ? Style.named("red") : Style.named("green")
                onClicked: panel.model.timing.toggleSequencer()
            }
            NeonButton {
                objectName: "sequencerClear"
                title: "CLEAR"
                tint: Style.named("gray")
                onClicked: panel.model.timing.clearSequencer()
            }
        }
        Row {
            spacing: 4
            Item { width: panel.labelWidth; height: 1 }
            Repeater {
                model: 16
                Rectangle {
                    required property int index
                    readonly property bool current: panel.stepShown === index
                    width: panel.cellWidth; height: 16; radius: 4
                    color: current ? Qt.rgba(0, 1, 1, 0.3) : Qt.rgba(1, 1, 1, 0.05)
                    Text {
                        anchors.centerIn: parent
                        text: Readout.format("%d", index + 1)
                        color: parent.current ? "cyan" : Qt.rgba(0.62, 0.6, 0.69, 0.6)
                        font.pixelSize: 10; font.bold: parent.current
                    }
                }
            }
        }
        Repeater {
            model: panel.model.padLabels
            Row {
                id: sequencerRow
                required property string modelData
                required property int index
                readonly property color tint: Style.named(panel.padColors[index % 8])
                spacing: 4
                Text {
                    width: panel.labelWidth
                    anchors.verticalCenter: parent.verticalCenter
                    text: sequencerRow.modelData
                    color: Qt.rgba(1, 1, 1, 0.75); font.pixelSize: 10; font.bold: true
                }
                Repeater {
                    model: 16
                    Rectangle {
                        required property int index
                        readonly property bool lit: panel.grid.length > 0 && panel.model.timing.sequencerCell(sequencerRow.index, index)
                        // A step changes two cells of a row, not sixteen: the border binds to this,
                        // which changes only where the step arrives or leaves.
                        readonly property bool current: panel.stepShown === index
                        objectName: "cell_" + sequencerRow.index + "_" + index
                        Accessible.role: Accessible.CheckBox
                        Accessible.name: sequencerRow.modelData + " step " + (index + 1)
                        Accessible.checkable: true
                        Accessible.checked: lit
                        width: panel.cellWidth; height: 24; radius: 5
                        // Beats (every fourth step) sit on a slightly lighter ground.
                        color: lit ? sequencerRow.tint : Qt.rgba(1, 1, 1, index % 4 === 0 ? 0.1 : 0.05)
                        border.color: current ? "cyan"
                                      : Qt.rgba(sequencerRow.tint.r, sequencerRow.tint.g, sequencerRow.tint.b, 0.35)
                        MouseArea {
                            anchors.fill: parent
                            onClicked: panel.model.timing.toggleSequencerCell(sequencerRow.index, parent.index)
                        }
                    }
                }
            }
        }
    }
}
