import QtQuick
import Quelmo

// The chips that say what shapes the import bus: always IMPORT→RACK, the import level when it is
// below full, then the controller's mix tags in their order.
Flow {
    id: strip
    property QuelmoViewModel model
    spacing: 6
    readonly property var chips: {
        const list = [{ text: "IMPORT→RACK", tint: Qt.rgba(0.2, 0.78, 0.35, 0.35) }]
        if (model.mix.importVolume < 0.995)
            list.push({ text: "IMP " + Readout.format("%d%%", model.mix.importVolume * 100), tint: Qt.rgba(0, 1, 1, 0.25) })
        for (const tag of model.mix.mixTags)
            list.push({ text: tag, tint: Qt.rgba(0.69, 0.32, 0.87, 0.3) })
        return list
    }
    Repeater {
        model: strip.chips
        Rectangle {
            objectName: "mixChip"
            property string text: modelData.text
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            width: label.implicitWidth + 16; height: label.implicitHeight + 8
            radius: height / 2
            color: modelData.tint
            border.color: Qt.rgba(1, 1, 1, 0.2)
            Text {
                id: label
                anchors.centerIn: parent
                text: modelData.text
                color: Qt.rgba(1, 1, 1, 0.95)
                font.pixelSize: 8; font.weight: Font.Black; font.family: "monospace"
            }
        }
    }
}
