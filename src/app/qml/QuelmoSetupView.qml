import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quelmo

// First-run setup screen. Its launch action stores that setup was seen and leaves for the deck.
Rectangle {
    id: setup
    color: "#09080c"

    signal launched()

    function launch() {
        AppShell.markSetupSeen()
        leave.start()
    }

    NumberAnimation on opacity { from: 0; to: 1; duration: 400; easing.type: Easing.InOutQuad }
    NumberAnimation {
        id: leave
        target: setup; property: "opacity"; to: 0; duration: 400; easing.type: Easing.InOutQuad
        onFinished: setup.launched()
    }

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 14

        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            width: 72; height: 72; radius: 36
            gradient: Gradient {
                GradientStop { position: 0; color: "#a78bfa" }
                GradientStop { position: 1; color: "#e879f9" }
            }
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "Quick Setup"
            color: "white"
            font.pixelSize: 26
            font.bold: true
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "Quelmo PRO"
            color: "#9d9ab0"
            font.pixelSize: 13
        }
        Button {
            id: launchButton
            objectName: "launchButton"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 20
            text: "Launch Quelmo"
            Accessible.name: text
            focus: true
            onClicked: setup.launch()
            Keys.onReturnPressed: setup.launch()
            Keys.onEnterPressed: setup.launch()
        }
        Text {
            Layout.alignment: Qt.AlignHCenter
            text: "Skip for now — launch without YouTube downloads"
            color: "#9d9ab0"
            font.pixelSize: 12
            font.underline: true
            Accessible.role: Accessible.Link
            Accessible.name: text
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: setup.launch()
            }
        }
    }
}
