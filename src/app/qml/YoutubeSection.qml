import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// The YouTube block of the import panel: its header with the yt-dlp badge, then the download form
// when yt-dlp is found, else the install instructions. yt-dlp is looked for again whenever the
// window becomes active, so installing it in a terminal switches the block on return.
ColumnLayout {
    id: section
    property QuelmoViewModel model
    readonly property DownloadsController downloads: model ? model.downloads : null
    readonly property alias urlField: urlField
    spacing: 8

    Component.onCompleted: section.downloads.refreshYtdlpCheck()
    Connections {
        target: section.model ? section.model.keyboard : null
        // Ctrl+Y: the address field takes the keyboard.
        function onYoutubeFocusTickChanged() {
            if (urlField.visible)
                urlField.forceActiveFocus()
        }
    }
    Connections {
        target: section.Window.window
        function onActiveChanged() {
            if (section.Window.window.active)
                section.downloads.refreshYtdlpCheck()
        }
    }

    RowLayout {
        spacing: 8
        SymbolIcon { symbol: "play.rectangle.fill"; tint: "red"; size: 16 }
        Text { text: "YOUTUBE DOWNLOADER"; color: "white"; font.pixelSize: 12; font.bold: true; font.letterSpacing: 1 }
        Item { Layout.fillWidth: true }
        Rectangle {
            objectName: "ytdlpBadge"
            radius: 6
            implicitWidth: badgeText.implicitWidth + 14
            implicitHeight: badgeText.implicitHeight + 6
            readonly property color tone: section.downloads.ytdlpInstalled ? Style.named("green") : Style.named("orange")
            color: Qt.rgba(tone.r, tone.g, tone.b, 0.15)
            Text {
                id: badgeText
                anchors.centerIn: parent
                text: section.downloads.ytdlpInstalled ? "yt-dlp installed" : "yt-dlp not installed"
                color: parent.tone
                font.pixelSize: 10
                font.bold: true
                Accessible.name: text
            }
        }
    }

    ColumnLayout {
        objectName: "youtubeDownloadUI"
        visible: section.downloads.ytdlpInstalled
        Layout.fillWidth: true
        spacing: 8
        RowLayout {
            spacing: 8
            DeckTextField {
                id: urlField
                objectName: "youtubeURLField"
                Layout.fillWidth: true
                placeholderText: "Paste YouTube URL here..."
                Accessible.name: "YouTube URL"
                text: section.downloads.youtubeURL
                enabled: !section.downloads.isDownloading
                onTextEdited: section.downloads.youtubeURL = text
            }
            NeonButton {
                objectName: "downloadButton"
                tint: "red"
                symbol: section.downloads.isDownloading ? "" : "arrow.down.circle.fill"
                title: section.downloads.isDownloading ? "DOWNLOADING" : "DOWNLOAD"
                enabled: !section.downloads.isDownloading && section.downloads.youtubeURL !== ""
                opacity: enabled || section.downloads.isDownloading ? 1 : 0.45
                onClicked: section.downloads.downloadYouTubeAudio()
                Spinner {
                    visible: section.downloads.isDownloading
                    tint: Style.named("red")
                    width: 14; height: 14
                    anchors.left: parent.left
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                }
                leftPadding: section.downloads.isDownloading ? 18 : 0
            }
            NeonButton {
                objectName: "cancelDownloadButton"
                visible: section.downloads.isDownloading
                tint: "orange"
                title: "CANCEL"
                onClicked: section.downloads.cancelDownload()
            }
        }
        ProgressBar {
            objectName: "downloadProgress"
            Layout.fillWidth: true
            visible: section.downloads.isDownloading
            from: 0; to: 1
            value: section.downloads.downloadProgress
            Accessible.name: "Download progress"
            background: Rectangle { implicitHeight: 4; radius: 2; color: Qt.rgba(1, 1, 1, 0.15) }
            contentItem: Item {
                implicitHeight: 4
                Rectangle {
                    width: parent.width * section.downloads.downloadProgress
                    height: parent.height
                    radius: 2
                    color: Style.named("red")
                }
            }
        }
        Text {
            objectName: "downloadStatus"
            visible: section.downloads.downloadStatus !== ""
            text: section.downloads.downloadStatus
            textFormat: Text.PlainText
            Accessible.name: text
            color: Qt.rgba(1, 1, 1, 0.75)
            font.pixelSize: 11
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    YoutubeInstallInstructions {
        installCommand: section.downloads.installCommand
        visible: !section.downloads.ytdlpInstalled
        Layout.fillWidth: true
    }
}
