import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quelmo

// Voice drops: the phrase (typed, or one of the presets), the profile and voice, the tone and
// character presets, the voice chain's controls, SPEAK, and what the last render did.
GlassPanel {
    id: panel
    property VoiceController voice

    ColumnLayout {
        width: parent.width
        spacing: 10
        RowLayout {
            spacing: 10
            SymbolIcon { symbol: "megaphone.fill"; tint: Style.named("pink"); size: 16 }
            Text { text: "VOICE DROPS"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton {
                objectName: "speakButton"
                symbol: panel.voice.voiceDropRendering ? "" : "megaphone.fill"
                title: "SPEAK"
                tint: Style.named("pink")
                enabled: panel.voice.voicePhrase.trim() !== ""
                opacity: enabled ? 1 : 0.45
                onClicked: panel.voice.speakCustomDrop()
                leftPadding: panel.voice.voiceDropRendering ? 18 : 0
                Spinner {
                    visible: panel.voice.voiceDropRendering
                    tint: Style.named("pink")
                    width: 14; height: 14
                    anchors.left: parent.left
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }
        RowLayout {
            spacing: 8
            DeckTextField {
                objectName: "voicePhraseField"
                Layout.fillWidth: true
                placeholderText: "Type a drop…"
                Accessible.name: "Drop phrase"
                text: panel.voice.voicePhrase
                onTextEdited: panel.voice.voicePhrase = text
                onAccepted: panel.voice.speakCustomDrop()
            }
            DeckComboBox {
                objectName: "voicePresetBox"
                Layout.preferredWidth: 230
                Accessible.name: "Preset phrase"
                model: panel.voice.voicePresets
                displayText: "Presets…"
                onActivated: index => panel.voice.speakPreset(index)
            }
        }
        RowLayout {
            spacing: 8
            Text { text: "PROFILE"; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true }
            DeckComboBox {
                objectName: "voiceProfileBox"
                Layout.preferredWidth: 200
                Accessible.name: "Voice profile"
                model: panel.voice.voiceProfileTitles
                currentIndex: panel.voice.voiceProfile
                onActivated: index => panel.voice.voiceProfile = index
            }
            Text { text: "VOICE"; color: "#9d9ab0"; font.pixelSize: 9; font.bold: true }
            DeckTextField {
                objectName: "voiceTagField"
                Layout.preferredWidth: 110
                Accessible.name: "Voice"
                text: panel.voice.voiceSayVoiceTag
                onTextEdited: panel.voice.voiceSayVoiceTag = text
            }
            Item { Layout.fillWidth: true }
            NeonButton { title: "SAHARA TONE"; tint: Style.named("orange"); onClicked: panel.voice.applySaharaVoiceTonePreset() }
            NeonButton { title: "MILITARY"; tint: Style.named("green"); onClicked: panel.voice.applyMilitaryVoiceCharacterPreset() }
            NeonButton { title: "SMURF"; tint: Style.named("blue"); onClicked: panel.voice.applyMorphSmurfVoiceCharacterPreset() }
            NeonButton { title: "RESET VOICE"; symbol: "arrow.uturn.backward"; tint: "cyan"; onClicked: panel.voice.resetVoiceCharacterMorph() }
        }
        Flow {
            Layout.fillWidth: true
            spacing: 10
            FXControlWithDisplay {
                title: "WARMTH"; icon: "speaker.wave.1"; tint: Style.named("orange"); from: -10; to: 10
                value: panel.voice.voiceWarmDB; displayValue: Readout.format("%.1f dB", panel.voice.voiceWarmDB)
                onMoved: v => panel.voice.voiceWarmDB = v
            }
            FXControlWithDisplay {
                title: "HORN"; icon: "megaphone.fill"; tint: Style.named("yellow"); from: -10; to: 12
                value: panel.voice.voiceHornDB; displayValue: Readout.format("%.1f dB", panel.voice.voiceHornDB)
                onMoved: v => panel.voice.voiceHornDB = v
            }
            FXControlWithDisplay {
                title: "AIR"; icon: "wind"; tint: Style.named("mint"); from: -12; to: 10
                value: panel.voice.voiceDryAirDB; displayValue: Readout.format("%.1f dB", panel.voice.voiceDryAirDB)
                onMoved: v => panel.voice.voiceDryAirDB = v
            }
            FXControl {
                title: "DRIVE"; icon: "flame"; tint: Style.named("red")
                value: panel.voice.voiceBoldDrive
                onMoved: v => panel.voice.voiceBoldDrive = v
            }
            FXControlWithDisplay {
                title: "VOICE PITCH"; icon: "music.note"; tint: Style.named("purple"); from: -2400; to: 2400
                value: panel.voice.voiceMorphPitchCents; displayValue: Readout.format("%d ct", panel.voice.voiceMorphPitchCents)
                onMoved: v => panel.voice.voiceMorphPitchCents = v
            }
            FXControlWithDisplay {
                title: "VOICE RATE"; icon: "gauge.with.dots.needle.67percent"; tint: Style.named("cyan"); from: 0.5; to: 1.35
                value: panel.voice.voiceMorphRate; displayValue: Readout.format("%.2fx", panel.voice.voiceMorphRate)
                onMoved: v => panel.voice.voiceMorphRate = v
            }
            FXControlWithDisplay {
                title: "VOICE BUS"; icon: "speaker.wave.3"; tint: Style.named("pink"); from: 0; to: 1.35
                value: panel.voice.voiceBusLevel; displayValue: Readout.format("%d%%", panel.voice.voiceBusLevel * 100)
                onMoved: v => panel.voice.voiceBusLevel = v
            }
        }
        Text {
            objectName: "voiceDropStatus"
            Layout.fillWidth: true
            visible: text !== ""
            text: panel.voice.voiceDropStatus
            textFormat: Text.PlainText
            color: "#c4c1d4"
            font.pixelSize: 11
            elide: Text.ElideRight
            Accessible.name: text
        }
    }
}
