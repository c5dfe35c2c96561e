import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Dialogs
import QtQuick.Layouts
import Quelmo

// Import: "ADD AUDIO" opens a file dialog for any number of audio files; AUTO GAIN; one row per
// imported track; the import level.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    readonly property alias fileDialog: fileDialog

    Connections {
        target: panel.model ? panel.model.tracks : null
        function onImportFilesRequested() {
            fileDialog.currentFolder = Style.importStartFolder()
            fileDialog.open()
        }
    }
    FileDialog {
        id: fileDialog
        objectName: "importFileDialog"
        title: "Add Audio"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Audio files (*.mp3 *.m4a *.aac *.wav *.aiff *.aif *.flac *.ogg *.opus *.webm)", "All files (*)"]
        onAccepted: panel.model.tracks.addImportFiles(selectedFiles)
        // The desktop's chooser is a window of its own: what is typed into it is not for the deck.
        onVisibleChanged: panel.model.keyboard.setOutsideWindowOpen("file chooser", visible)
    }

    ColumnLayout {
        width: parent.width
        spacing: 10
        RowLayout {
            spacing: 10
            SymbolIcon { symbol: "music.note.list"; tint: "cyan"; size: 16 }
            Text { text: "IMPORT & REMIX"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            // Every track at one loudness (-14 LUFS), never more than 12 dB up, its peaks kept clear.
            NeonToggle {
                objectName: "autoGainToggle"
                label: "AUTO GAIN"
                checked: panel.model.tracks.analysis.autoGain
                onToggled: panel.model.tracks.analysis.autoGain = checked
            }
            NeonButton {
                objectName: "addAudioButton"
                symbol: "plus.circle.fill"; title: "ADD AUDIO"; tint: "cyan"
                onClicked: panel.model.tracks.pickImportFiles()
            }
        }
        YoutubeSection {
            Layout.fillWidth: true
            model: panel.model
        }
        // Up to six rows show at once; a longer list scrolls in place, and only the rows in view
        // exist, so a library of a thousand tracks costs what six do.
        ListView {
            id: trackList
            objectName: "trackRows"
            readonly property int shownRows: Math.min(count, 6)
            Layout.fillWidth: true
            Layout.preferredHeight: shownRows * 48 + Math.max(0, shownRows - 1) * spacing
            visible: count > 0
            clip: true
            spacing: 10
            interactive: count > shownRows
            boundsBehavior: Flickable.StopAtBounds
            model: panel.model.tracks.importedTrackModel
            ScrollBar.vertical: ScrollBar { policy: trackList.interactive ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff }
            delegate: TrackRowView {
                width: trackList.width - (trackList.interactive ? 10 : 0)
                model: panel.model
            }
        }
        Item {
          Layout.fillWidth: true
          implicitHeight: importVolumeRow.implicitHeight
          TuningPulseHighlight { model: panel.model; match: 2 }
          RowLayout {
            id: importVolumeRow
            anchors.fill: parent
            spacing: 10
            SymbolIcon { symbol: "speaker.wave.2"; tint: "cyan"; size: 16 }
            Text { text: "IMPORT VOLUME"; color: "white"; font.pixelSize: 12; font.bold: true }
            Text { objectName: "importVolumeReadout"; text: Readout.format("%d%%", panel.model.mix.importVolume * 100); color: "cyan"; font.pixelSize: 12; font.bold: true; Layout.minimumWidth: 36 }
            SliderControl {
                objectName: "importVolumeSlider"
                Accessible.name: "Import volume"
                Layout.fillWidth: true
                from: 0; to: 1; stepSize: 0.01
                value: panel.model.mix.importVolume
                tint: "cyan"
                onMoved: panel.model.mix.importVolume = value
            }
          }
        }
    }
}
