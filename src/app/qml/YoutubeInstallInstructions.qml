import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// The deck's manual install instructions for yt-dlp: a warning header, four steps for a Debian-
// family desktop, troubleshooting and a tip. Each copy button puts its command on the clipboard.
// Takes the width it is given and is as tall as its content; place it where the YouTube section
// asks for yt-dlp.
Item {
    id: instructions
    implicitWidth: 420
    implicitHeight: steps.implicitHeight

    // The terminal command that installs yt-dlp and FFmpeg.
    required property string installCommand

    component Line: Text {
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        color: "#c9c6d8"
        font.pixelSize: 12
    }

    component Heading: Line {
        Layout.topMargin: 6
        color: "white"
        font.pixelSize: 13
        font.bold: true
    }

    // A command shown in a monospaced box, with the button that copies it.
    component CommandBox: Rectangle {
        id: box
        property string command
        property string copyTitle: "Copy"
        Layout.fillWidth: true
        implicitHeight: boxRow.implicitHeight + 16
        radius: 8
        color: "#07060b"
        border.color: "#252230"
        RowLayout {
            id: boxRow
            anchors.fill: parent
            anchors.margins: 8
            spacing: 10
            Text {
                Layout.fillWidth: true
                text: box.command
                color: "#19d59e"
                font.family: "monospace"
                font.pixelSize: 12
                wrapMode: Text.WrapAnywhere
            }
            AbstractButton {
                id: copy
                text: box.copyTitle
                Accessible.role: Accessible.Button
                Accessible.name: text
                implicitWidth: copyRow.implicitWidth + 18
                implicitHeight: 26
                background: Rectangle {
                    radius: 6
                    color: copy.down ? "#302c3e" : "#222030"
                    border.color: "#302c3e"
                }
                contentItem: Item {
                    Row {
                        id: copyRow
                        anchors.centerIn: parent
                        spacing: 5
                        SymbolIcon {
                            anchors.verticalCenter: parent.verticalCenter
                            symbol: "doc.on.doc"
                            size: 12
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: copy.text
                            color: "white"
                            font.pixelSize: 11
                            font.bold: true
                        }
                    }
                }
                onClicked: Clipboard.setText(box.command)
                HoverHandler { cursorShape: Qt.PointingHandCursor }
            }
        }
    }

    ColumnLayout {
        id: steps
        width: parent.width
        spacing: 12

        RowLayout {
            spacing: 8
            SymbolIcon { symbol: "exclamationmark.triangle.fill"; size: 18; tint: "#fbbf24" }
            Text { text: "Installation Required"; color: "#fbbf24"; font.pixelSize: 15; font.bold: true }
        }
        Line { text: "To download YouTube videos, you need yt-dlp. Follow these steps:" }

        Heading { text: "📋 STEP 1: Open a Terminal" }
        Line { text: "Press Ctrl+Alt+T, or open Terminal from your applications menu" }

        Heading { text: "📋 STEP 2: Check for the Package Manager" }
        Line { text: "Type this in Terminal and press Enter:" }
        CommandBox { command: "apt --version" }
        Line { text: "If you see a version number (like 'apt 2.x'), continue to Step 3." }
        Line { text: "If you see 'command not found', see Troubleshooting below." }

        Heading { text: "📋 STEP 3: Install yt-dlp" }
        Line { text: "Copy this command, paste it into Terminal and press Enter (you'll need your password; typing won't show on screen):" }
        CommandBox { command: instructions.installCommand; copyTitle: "Copy Install Command" }
        Line { text: "Wait for installation to complete (about 30 seconds)" }

        Heading { text: "📋 STEP 4: Restart Quelmo" }
        Line { text: "Close Quelmo completely and reopen it" }
        Line { text: "The YouTube download feature will be ready!" }

        Heading { text: "🔧 TROUBLESHOOTING" }
        Line { text: "❌ 'apt: command not found'"; color: "#f87171" }
        Line { text: "→ Use your distribution's package manager, or Homebrew on Linux:" }
        CommandBox { command: "brew install yt-dlp"; copyTitle: "Copy Homebrew Command" }
        Line { text: "❌ 'Permission denied'"; color: "#f87171" }
        Line { text: "→ Add 'sudo' before the command (you'll need your password):" }
        CommandBox { command: instructions.installCommand; copyTitle: "Copy with sudo" }
        Line { text: "❌ Still not working?"; color: "#f87171" }
        Line { text: "→ Download yt-dlp from the yt-dlp project's website (github.com/yt-dlp/yt-dlp)" }
        Line { text: "→ Or use an online YouTube to MP3 converter instead" }

        Line {
            Layout.topMargin: 6
            text: "💡 Tip: You only need to do this installation once!"
            color: "#a78bfa"
            font.bold: true
        }
    }
}
