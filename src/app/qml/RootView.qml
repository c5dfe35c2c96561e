import QtQuick
import Quelmo

// Decides between the first-run setup screen and the deck. The answer is taken once, when the view
// is created; the setup screen's launch action is the only way from setup to deck, and nothing
// leads back.
Item {
    id: root

    property bool setupDone: AppShell.initialSetupDone

    Loader {
        id: content
        anchors.fill: parent
        focus: true
        sourceComponent: root.setupDone ? deckScreen : setupScreen
        // The deck counts as shown once the panels it makes in the background are there too.
        onLoaded: if (!root.setupDone) AppShell.reportScreen("setup")
    }
    Connections {
        target: root.setupDone ? content.item : null
        ignoreUnknownSignals: true
        function onPanelsLoadedChanged() {
            if (content.item.panelsLoaded)
                AppShell.reportScreen("deck")
        }
    }

    // The light bar and the key bubbles stack above the content, aligned to the top edge; the
    // light show watches keys while this view exists.
    Component.onCompleted: KeyboardVisualizer.startMonitoring()
    Component.onDestruction: KeyboardVisualizer.stopMonitoring()
    LightBarView {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        z: 10
    }
    KeyPressOverlayView {
        anchors.fill: parent
        z: 11
    }

    Component {
        id: setupScreen
        QuelmoSetupView {
            onLaunched: root.setupDone = true
        }
    }

    Component {
        id: deckScreen
        QuelmoDeckView {}
    }
}
