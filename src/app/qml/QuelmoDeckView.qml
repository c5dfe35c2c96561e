import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// The deck screen. It owns the one deck controller for its whole life and starts the audio graph
// when it appears.
Item {
    id: deck
    property QuelmoViewModel model: QuelmoViewModel {}
    property bool eraseCueMode: false
    property bool showResetConfirm: false

    Component.onCompleted: {
        model.prepareAudioEngineIfNeeded()
        model.keyboard.installKeyboardMonitorIfNeeded()
    }
    onShowResetConfirmChanged: showResetConfirm ? resetDialog.open() : resetDialog.close()
    Connections {
        target: deck.model.downloads
        function onShowYTDLPInstallAlertChanged() {
            deck.model.downloads.showYTDLPInstallAlert ? installDialog.open() : installDialog.close()
        }
    }
    Connections {
        target: deck.model.capture
        function onShowBlackHoleInstallAlertChanged() {
            deck.model.capture.showBlackHoleInstallAlert ? captureDialog.open() : captureDialog.close()
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
            if (!trainer.opened)
                trainer.open()
        }
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
                onKeysRequested: if (!trainer.opened) trainer.open()
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
            ImportPanel { objectName: "importSection"; Layout.fillWidth: true; model: deck.model }
            DeckControlPanel { Layout.fillWidth: true; model: deck.model }
            MixerStripPanel { Layout.fillWidth: true; model: deck.model }
            EffectsRackPanel { Layout.fillWidth: true; model: deck.model }
            WaveformPanel {
                objectName: "waveformSection"
                Layout.fillWidth: true
                model: deck.model
                eraseCueMode: deck.eraseCueMode
                onEraseCueModeToggled: on => deck.eraseCueMode = on
            }
            PerformancePadsPanel { Layout.fillWidth: true; model: deck.model }
            SequencerPanel { Layout.fillWidth: true; model: deck.model }
            VoiceDropsPanel { objectName: "voiceSection"; Layout.fillWidth: true; voice: deck.model.voice }
            SystemAudioPanel { objectName: "systemAudioSection"; Layout.fillWidth: true; capture: deck.model.capture }
            MidiPanel { objectName: "midiSection"; Layout.fillWidth: true; model: deck.model }
            DeckFooter { Layout.fillWidth: true; model: deck.model }
            Item { height: 12 }
        }
    }

    DeckDialog {
        id: resetDialog
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

    QuelmoKeyboardTrainerView {
        id: trainer
        model: deck.model
    }

    DeckDialog {
        id: installDialog
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

    DeckDialog {
        id: captureDialog
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
