import QtQuick
import QtQuick.Controls

// The one window of the desk. Closing it quits the application.
ApplicationWindow {
    id: window
    title: "Quelmo"
    width: 1100
    height: 860
    visible: true
    color: "#0a0a0f"

    RootView {
        anchors.fill: parent
    }

    onClosing: Qt.quit()
}
