import QtQuick
import QtQuick.Layouts
import Quelmo

// One bus of the mixer strip: its meter, an optional level (0..1.2) and a balance (0..1, 0.5 centre).
ColumnLayout {
    id: block
    property string title
    property string subtitle
    property real meter: 0
    property color meterTint: "cyan"
    property bool showsLevel: true
    property real level: 1
    property real pan: 0.5
    signal levelMoved(real value)
    signal panMoved(real value)
    spacing: 6
    Text { text: block.title; color: "white"; font.pixelSize: 12; font.bold: true }
    Text { text: block.subtitle; color: "#9d9ab0"; font.pixelSize: 10 }
    RowLayout {
        spacing: 10
        Column {
            spacing: 3
            MixerPeakBar { level: block.meter; tint: block.meterTint }
            Text { text: "LVL"; color: "#9d9ab0"; font.pixelSize: 9; anchors.horizontalCenter: parent.horizontalCenter }
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4
            RowLayout {
                visible: block.showsLevel
                Text { text: "GAIN"; color: "#9d9ab0"; font.pixelSize: 10 }
                Text { objectName: "gainReadout"; text: Readout.format("%d%%", block.level * 100); color: "white"; font.pixelSize: 10; font.bold: true }
            }
            SliderControl {
                visible: block.showsLevel
                Accessible.name: block.title + " GAIN"
                Layout.fillWidth: true
                from: 0; to: 1.2; stepSize: 0.01
                value: block.level
                tint: block.meterTint
                onMoved: block.levelMoved(value)
            }
            RowLayout {
                Text { text: "L"; color: "#9d9ab0"; font.pixelSize: 10 }
                SliderControl {
                    Accessible.name: block.title + " pan"
                    Layout.fillWidth: true
                    from: 0; to: 1; stepSize: 0.01
                    value: block.pan
                    tint: "white"
                    onMoved: block.panMoved(value)
                }
                Text { text: "R"; color: "#9d9ab0"; font.pixelSize: 10 }
            }
        }
    }
}
