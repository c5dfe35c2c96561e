import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// The deck screen. It plays through the deck the application started before the views loaded, or
// makes its own (the first run goes through the setup screen first), and starts its audio graph
// if that is not running yet.
Item {
    id: deck
    property QuelmoViewModel model: AppShell.startedDeck ?? ownDeck.createObject(deck)
    property bool eraseCueMode: false
    property bool showResetConfirm: false
    // The panels below the first screen and the cards load in the background; true once every one
    // is there.
    readonly property bool panelsLoaded: [mixerPanel, rackPanel, wavePanel, padsPanel, sequencerPanel, voicePanel,
                                          capturePanel, midiPanel, footerPanel, resetDialog, trainer, installDialog,
                                          captureDialog].every(p => p.status === Loader.Ready)

    // Out of the scroll view's sight (by more than a quarter screen), a panel leaves the scene:
    // every frame the renderer walks the whole scene, and a panel out of sight only slows it; what
    // moves in it (meters, steps, playheads) follows the sound only while it can be seen
    // (InSight.seen), so it makes no frames either. Its place in the column stays, so nothing
    // below it moves.
    component CulledPanel: Loader {
        id: panel
        Layout.fillWidth: true
        Binding {
            target: panel.item
            property: "visible"
            value: panel.y + panel.height >= scroll.contentItem.contentY - scroll.height / 4
                   && panel.y <= scroll.contentItem.contentY + scroll.height * 5 / 4
            when: panel.item !== null
        }
    }
    // Below the first screen: made in the background right after the first frame.
    component DeferredPanel: CulledPanel { asynchronous: true }
    // A card or dialog, made in the background too; shown opens it, as soon as it is there.
    component DeferredPopup: Loader {
        property bool shown: false
        anchors.fill: parent
        asynchronous: true
        onLoaded: if (shown) item.open()
        onShownChanged: {
            if (!item)
                return
            if (shown && !item.opened)
                item.open()
            else if (!shown && item.opened)
                item.close()
        }
    }

    Component.onCompleted: {
        model.prepareAudioEngineIfNeeded()
        model.keyboard.installKeyboardMonitorIfNeeded()
    }
    onShowResetConfirmChanged: resetDialog.shown = showResetConfirm
    Connections {
        target: deck.model.downloads
        function onShowYTDLPInstallAlertChanged() {
            installDialog.shown = deck.model.downloads.showYTDLPInstallAlert
        }
    }
    Connections {
        target: deck.model.capture
        function onShowBlackHoleInstallAlertChanged() {
            captureDialog.shown = deck.model.capture.showBlackHoleInstallAlert
        }
    }
    Connections {
        target: deck.model.keyboard
        function onKeyboardShortcutsEnabledChanged() { deck.model.keyboard.installKeyboardMonitorIfNeeded() }
        // L asks for the lesson; an open lesson stays on its page.
        function onKeyboardTrainerRequestedChanged() {
            if (!deck.model.keyboard.keyboardTrainerRequested)
                return
            deck.model.keyboard.keyboardTrainerRequested = false
            trainer.shown = true
        }
    }

    Component {
        id: ownDeck
        QuelmoViewModel {}
    }

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: Style.hex("0a0a0f") }
            GradientStop { position: 0.5; color: Style.hex("1a1a2e") }
            GradientStop { position: 1.0; color: Style.hex("0f0f1a") }
        }
    }
    GridPattern { anchors.fill: parent; opacity: 0.04 }

    ScrollView {
        id: scroll
        objectName: "deckScroll"
        anchors.fill: parent
        contentWidth: availableWidth
        ColumnLayout {
            width: scroll.availableWidth - 40
            x: 20
            spacing: 16
            Item { height: 4 }
            DeckHeader {
                Layout.fillWidth: true
                model: deck.model
                onResetRequested: deck.showResetConfirm = true
                onKeysRequested: trainer.shown = true
            }
            // While the sound server is away the deck plays on silently and says so here.
            Rectangle {
                objectName: "soundServerBanner"
                Layout.fillWidth: true
                implicitHeight: soundServerText.implicitHeight + 16
                visible: deck.model.soundServerStatus !== ""
                radius: 8
                color: "#3a1020"
                border.color: "#ff6b81"
                Accessible.role: Accessible.AlertMessage
                Accessible.name: deck.model.soundServerStatus
                Text {
                    id: soundServerText
                    anchors.centerIn: parent
                    text: deck.model.soundServerStatus
                    textFormat: Text.PlainText
                    color: "#ff6b81"
                    font.pixelSize: 13
                    font.bold: true
                }
            }
            CulledPanel { sourceComponent: ImportPanel { objectName: "importSection"; model: deck.model } }
            CulledPanel { sourceComponent: DeckControlPanel { model: deck.model } }
            // Below the first screen: made right after the first frame, in the order they stand.
            DeferredPanel { id: mixerPanel; sourceComponent: MixerStripPanel { model: deck.model } }
            DeferredPanel { id: rackPanel; sourceComponent: EffectsRackPanel { model: deck.model } }
            DeferredPanel {
                id: wavePanel
                sourceComponent: WaveformPanel {
                    objectName: "waveformSection"
                    model: deck.model
                    eraseCueMode: deck.eraseCueMode
                    onEraseCueModeToggled: on => deck.eraseCueMode = on
                }
            }
            DeferredPanel { id: padsPanel; sourceComponent: PerformancePadsPanel { model: deck.model } }
            DeferredPanel { id: sequencerPanel; sourceComponent: SequencerPanel { model: deck.model } }
            DeferredPanel {
                id: voicePanel
                sourceComponent: VoiceDropsPanel { objectName: "voiceSection"; voice: deck.model.voice }
            }
            DeferredPanel {
                id: capturePanel
                sourceComponent: SystemAudioPanel { objectName: "systemAudioSection"; capture: deck.model.capture }
            }
            DeferredPanel { id: midiPanel; sourceComponent: MidiPanel { objectName: "midiSection"; model: deck.model } }
            DeferredPanel { id: footerPanel; sourceComponent: DeckFooter { model: deck.model } }
            Item { height: 12 }
        }
    }

    DeferredPopup {
        id: resetDialog
        sourceComponent: DeckDialog {
            objectName: "resetDialog"
            title: "Reset Everything?"
            message: "This will stop all playback and reset all effects to default."
            buttons: ["Cancel", "Reset"]
            actionButton: "Reset"
            onClosed: deck.showResetConfirm = false
            onChosen: button => {
                if (button === "Reset")
                    deck.model.resetAll()
            }
        }
    }

    DeferredPopup {
        id: trainer
        sourceComponent: QuelmoKeyboardTrainerView {
            model: deck.model
            onClosed: trainer.shown = false
        }
    }

    DeferredPopup {
        id: installDialog
        sourceComponent: DeckDialog {
            objectName: "installDialog"
            title: "Install yt-dlp Required"
            message: "To download from YouTube, you need to install yt-dlp first.\n\n"
                     + "Option 1: Click 'Auto-Install' (recommended)\n"
                     + "Option 2: Open a terminal and run: " + deck.model.downloads.installCommand + "\n\n"
                     + "Or click 'Copy Command' to copy the command."
            buttons: ["Auto-Install", "Copy Command", "OK"]
            actionButton: "Auto-Install"
            onClosed: deck.model.downloads.showYTDLPInstallAlert = false
            onChosen: button => {
                if (button === "Auto-Install")
                    deck.model.downloads.autoInstallYTDLP()
                else if (button === "Copy Command")
                    Clipboard.setText(deck.model.downloads.installCommand)
            }
        }
    }

    DeferredPopup {
        id: captureDialog
        sourceComponent: DeckDialog {
            objectName: "captureDialog"
            title: "Quelmo Capture Not Set Up"
            message: "System audio comes from a virtual output named 'Quelmo Capture'. Quelmo can make it now: "
                     + "no download, no restart.\n\n"
                     + "'Create and Route' also makes it the default output, so every application plays into it "
                     + "(Quelmo's own sound stays on your speakers).\n"
                     + "'Create' only adds it: then choose 'Quelmo Capture' as the output of the applications you want."
            buttons: ["Create and Route", "Create", "Cancel"]
            actionButton: "Create and Route"
            onClosed: deck.model.capture.showBlackHoleInstallAlert = false
            onChosen: button => {
                if (button === "Create and Route")
                    deck.model.capture.installBlackHole(true)
                else if (button === "Create")
                    deck.model.capture.installBlackHole(false)
            }
        }
    }
}
