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
            NeonButton { symbol: "arrow.uturn.backward"; title: "RESET FX"; tint: "cyan"; onClicked: panel.model.mix.resetEffects() }
        }
        Flow {
            Layout.fillWidth: true
            spacing: 10
            FXControl { title: "REVERB"; icon: "waveform"; tint: Style.named("blue"); value: panel.model.mix.reverbMix; onMoved: v => panel.model.mix.reverbMix = v }
            FXControl { title: "DELAY"; icon: "clock.arrow.2.circlepath"; tint: Style.named("green"); value: panel.model.mix.delayMix; onMoved: v => panel.model.mix.delayMix = v }
            FXControl { title: "FILTER"; icon: "slider.vertical.3"; tint: Style.named("purple"); value: panel.model.mix.filterCutoff; onMoved: v => panel.model.mix.filterCutoff = v }
            FXControl { title: "DISTORT"; icon: "flame"; tint: Style.named("red"); value: panel.model.mix.distortionMix; onMoved: v => panel.model.mix.distortionMix = v }
            FXControlWithDisplay {
                title: "PITCH"; icon: "music.note"; tint: Style.named("yellow"); from: -1; to: 1
                value: panel.model.mix.pitchShift; displayValue: Readout.format("%dst", panel.model.mix.pitchShift * 24)
                onMoved: v => panel.model.mix.pitchShift = v
            }
            FXControlWithDisplay {
                title: "SPEED"; icon: "gauge.with.dots.needle.67percent"; tint: Style.named("cyan"); from: 0.5; to: 2.0
                value: panel.model.mix.importRate; displayValue: Readout.format("%.2fx", panel.model.mix.importRate)
                onMoved: v => panel.model.mix.importRate = v
            }
            FXControlWithDisplay {
                title: "DLY TIME"; icon: "timer"; tint: Style.named("mint"); from: 0.05; to: 1.25
                value: panel.model.mix.delayTime; displayValue: Readout.format("%.2fs", panel.model.mix.delayTime)
                onMoved: v => panel.model.mix.delayTime = v
            }
            FXControl { title: "DLY FB"; icon: "arrow.triangle.2.circlepath"; tint: Style.named("teal"); value: panel.model.mix.delayFeedback; onMoved: v => panel.model.mix.delayFeedback = v }
            FXControlWithDisplay {
                title: "AIR / LIFT"; icon: "wind"; tint: Style.named("orange"); from: -6; to: 6
                value: panel.model.mix.masterToneLiftDB; displayValue: Readout.format("%.1f dB", panel.model.mix.masterToneLiftDB)
                onMoved: v => panel.model.mix.masterToneLiftDB = v
            }
            FXControlWithDisplay {
                title: "BASS"; icon: "speaker.wave.1"; tint: Style.named("brown"); from: -12; to: 12
                value: panel.model.mix.lowShelfGain; displayValue: Readout.format("%.0f dB", panel.model.mix.lowShelfGain)
                onMoved: v => panel.model.mix.lowShelfGain = v
            }
            FXControlWithDisplay {
                title: "MID / CUT"; icon: "dot.scope"; tint: Style.named("mint"); from: -12; to: 12
                value: panel.model.mix.midPresenceDB; displayValue: Readout.format("%.0f dB", panel.model.mix.midPresenceDB)
                onMoved: v => panel.model.mix.midPresenceDB = v
            }
            FXControlWithDisplay {
                title: "TREBLE"; icon: "speaker.wave.3"; tint: Style.named("indigo"); from: -12; to: 12
                value: panel.model.mix.highShelfGain; displayValue: Readout.format("%.0f dB", panel.model.mix.highShelfGain)
                onMoved: v => panel.model.mix.highShelfGain = v
            }
            FXControl { title: "METRO"; icon: "dot.radiowaves.forward"; tint: Style.named("gray"); value: panel.model.timing.deckBBlend; onMoved: v => panel.model.timing.deckBBlend = v }
        }
    }
}
