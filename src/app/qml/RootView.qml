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
        onLoaded: AppShell.reportScreen(root.setupDone ? "deck" : "setup")
    }

    // The light bar and the key-bubble overlay of the keyboard visualizer stack above the content,
    // aligned to the top edge, in this order.

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
