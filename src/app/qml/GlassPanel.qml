import QtQuick

// A padded, translucent, rounded panel around its content.
Rectangle {
    default property alias content: holder.data
    property int padding: 16
    implicitHeight: holder.childrenRect.height + 2 * padding
    radius: 16
    color: Qt.rgba(1, 1, 1, 0.05)
    border.color: Qt.rgba(1, 1, 1, 0.1)
    Item {
        id: holder
        anchors.fill: parent
        anchors.margins: parent.padding
    }
}
