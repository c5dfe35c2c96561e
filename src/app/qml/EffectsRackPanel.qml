import QtQuick
import QtQuick.Layouts
import Quelmo

// FX rack: thirteen controls and RESET FX.
GlassPanel {
    id: panel
    property QuelmoViewModel model
    TuningPulseHighlight { model: panel.model; match: 3 }
    ColumnLayout {
        width: parent.width
        spacing: 12
        RowLayout {
            Text { text: "FX RACK"; color: "white"; font.pixelSize: 14; font.bold: true; font.letterSpacing: 2 }
            Item { Layout.fillWidth: true }
            NeonButton { symbol: "arrow.uturn.backward"; title: "RESET FX"; tint: "cyan"; onClicked: panel.model.resetEffects() }
        }
        Flow {
            Layout.fillWidth: true
            spacing: 10
            FXControl { title: "REVERB"; icon: "waveform"; tint: Style.named("blue"); value: panel.model.reverbMix; onMoved: v => panel.model.reverbMix = v }
            FXControl { title: "DELAY"; icon: "clock.arrow.2.circlepath"; tint: Style.named("green"); value: panel.model.delayMix; onMoved: v => panel.model.delayMix = v }
            FXControl { title: "FILTER"; icon: "slider.vertical.3"; tint: Style.named("purple"); value: panel.model.filterCutoff; onMoved: v => panel.model.filterCutoff = v }
            FXControl { title: "DISTORT"; icon: "flame"; tint: Style.named("red"); value: panel.model.distortionMix; onMoved: v => panel.model.distortionMix = v }
            FXControlWithDisplay {
                title: "PITCH"; icon: "music.note"; tint: Style.named("yellow"); from: -1; to: 1
                value: panel.model.pitchShift; displayValue: Readout.format("%dst", panel.model.pitchShift * 24)
                onMoved: v => panel.model.pitchShift = v
            }
            FXControlWithDisplay {
                title: "SPEED"; icon: "gauge.with.dots.needle.67percent"; tint: Style.named("cyan"); from: 0.5; to: 2.0
                value: panel.model.importRate; displayValue: Readout.format("%.2fx", panel.model.importRate)
                onMoved: v => panel.model.importRate = v
            }
            FXControlWithDisplay {
                title: "DLY TIME"; icon: "timer"; tint: Style.named("mint"); from: 0.05; to: 1.25
                value: panel.model.delayTime; displayValue: Readout.format("%.2fs", panel.model.delayTime)
                onMoved: v => panel.model.delayTime = v
            }
            FXControl { title: "DLY FB"; icon: "arrow.triangle.2.circlepath"; tint: Style.named("teal"); value: panel.model.delayFeedback; onMoved: v => panel.model.delayFeedback = v }
            FXControlWithDisplay {
                title: "AIR / LIFT"; icon: "wind"; tint: Style.named("orange"); from: -6; to: 6
                value: panel.model.masterToneLiftDB; displayValue: Readout.format("%.1f dB", panel.model.masterToneLiftDB)
                onMoved: v => panel.model.masterToneLiftDB = v
            }
            FXControlWithDisplay {
                title: "BASS"; icon: "speaker.wave.1"; tint: Style.named("brown"); from: -12; to: 12
                value: panel.model.lowShelfGain; displayValue: Readout.format("%.0f dB", panel.model.lowShelfGain)
                onMoved: v => panel.model.lowShelfGain = v
            }
            FXControlWithDisplay {
                title: "MID / CUT"; icon: "dot.scope"; tint: Style.named("mint"); from: -12; to: 12
                value: panel.model.midPresenceDB; displayValue: Readout.format("%.0f dB", panel.model.midPresenceDB)
                onMoved: v => panel.model.midPresenceDB = v
            }
            FXControlWithDisplay {
                title: "TREBLE"; icon: "speaker.wave.3"; tint: Style.named("indigo"); from: -12; to: 12
                value: panel.model.highShelfGain; displayValue: Readout.format("%.0f dB", panel.model.highShelfGain)
                onMoved: v => panel.model.highShelfGain = v
            }
            FXControl { title: "METRO"; icon: "dot.radiowaves.forward"; tint: Style.named("gray"); value: panel.model.deckBBlend; onMoved: v => panel.model.deckBBlend = v }
        }
    }
}
